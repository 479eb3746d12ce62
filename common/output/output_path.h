// What an output path names, as far as writing it safely is concerned.
#pragma once

#include <sys/types.h>

#include <optional>
#include <string>

// A path that leads, link by link, to an entry of a /proc/<pid>/fd folder:
// /dev/stdout, /dev/stderr, /dev/fd/N, /proc/self/fd/N. Renaming a file
// over it would replace the file behind the descriptor (a shell's
// `>> run.log` would lose the log); it must be written through the
// descriptor instead.
struct DescriptorLink {
  std::string entry;    // the /proc/<pid>/fd/N path reached
  int descriptor = -1;  // N
  bool of_this_process = false;
};
std::optional<DescriptorLink> FindDescriptorLink(const std::string& path);

// True when the folder that would hold `path` is /dev or lies under /proc or
// /sys: a file created there would be a stray entry among the system's
// devices (/dev/stdout.par), or cannot be created at all.
bool IsInSystemFolder(const std::string& path);

// The device and inode of the file `path` leads to, following links.
struct FileIdentity {
  dev_t device = 0;
  ino_t inode = 0;
  bool regular = false;
  bool operator==(const FileIdentity& other) const {
    return device == other.device && inode == other.inode;
  }
};
std::optional<FileIdentity> IdentityOf(const std::string& path);

// What stands at `path` itself, its last link not followed, when it is not
// a regular file: "a symbolic link", "a FIFO", "a device", "a folder" or
// "a socket". Nothing for a regular file or an empty path.
std::optional<std::string> NonRegularEntry(const std::string& path);

// True when the entry at `path` (its last link not followed) lies in a
// folder that everybody may write into but only owners may delete from (the
// sticky bit, as on /tmp), and belongs neither to this user nor to the
// folder's owner: someone else may have planted it there to make this run
// write through it. The rule is the kernel's own for links and FIFOs in
// such folders (protected_symlinks, protected_fifos).
bool IsPlantedByAnother(const std::string& path);
