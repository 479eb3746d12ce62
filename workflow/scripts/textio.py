"""Small file helpers shared by the workflow's scripts."""

import os
import tempfile


def current_umask():
    mask = os.umask(0)
    os.umask(mask)
    return mask


def write_atomically(path, text):
    """Writes `text` to `path` through a temporary file in the same folder and
    a rename, so a reader never sees half a file and an interrupted write
    leaves the previous one whole."""
    folder = os.path.dirname(os.path.abspath(path))
    handle, temporary = tempfile.mkstemp(dir=folder, prefix=".tmp-", suffix=os.path.basename(path))
    try:
        with os.fdopen(handle, "w", encoding="utf-8") as out:
            out.write(text)
        os.chmod(temporary, 0o666 & ~current_umask())
        os.replace(temporary, path)
    except BaseException:
        os.unlink(temporary)
        raise
