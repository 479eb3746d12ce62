#include "output/safe_output_file.h"

#include <fcntl.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstring>
#include <filesystem>
#include <vector>

#include "bailout/bailout.h"
#include "output/output_path.h"
#include "output/signal_cleanup.h"

namespace fs = std::filesystem;

namespace {

constexpr std::string_view kTemporarySuffix = ".tmp-XXXXXX";

// The longest file name the folder's file system takes.
std::size_t NameMax(const std::string& folder) {
  const long name_max = pathconf(folder.c_str(), _PC_NAME_MAX);
  return name_max > 0 ? static_cast<std::size_t>(name_max) : std::size_t{NAME_MAX};
}

mode_t DefaultMode() {
  // mkstemp makes the file private (0600); a results file gets the usual
  // permissions that the user's umask allows.
  const mode_t mask = umask(0);
  umask(mask);
  return 0666 & ~mask;
}

}  // namespace

SafeOutputFile::SafeOutputFile(std::string path, const std::string& open_failure,
                               std::string context)
    : path_(std::move(path)),
      open_failure_(open_failure),
      context_(std::move(context)),
      destination_(path_) {
  if (OpenInPlace()) return;
  // Renaming over a symbolic link would replace the link, not the file it
  // names.
  std::error_code error;
  if (fs::is_symlink(fs::symlink_status(path_, error))) {
    const fs::path resolved = fs::weakly_canonical(path_, error);
    if (!error) destination_ = resolved.string();
  }
  const fs::path parent = fs::path(destination_).parent_path();
  const std::string folder = parent.empty() ? std::string(".") : parent.string();
  mode_t mode = DefaultMode();
  CheckReplaceable(folder, mode);
  CreateTemporary(folder, mode);
}

SafeOutputFile::~SafeOutputFile() {
  if (file_ != nullptr) std::fclose(file_);
  if (!temporary_.empty()) {
    unlink(temporary_.c_str());
    ReleaseTemporaryFile(cleanup_slot_);
  }
}

bool SafeOutputFile::OpenInPlace() {
  int descriptor = -1;
  if (const std::optional<DescriptorLink> link = FindDescriptorLink(path_)) {
    if (link->of_this_process) {
      // Through a copy of the descriptor, so that the text goes where the
      // descriptor points, at its offset (and appended after a shell's >>);
      // opening the /proc entry anew would start a truncated file.
      const int flags = fcntl(link->descriptor, F_GETFL);
      if (flags < 0) FailToOpen(std::strerror(errno));
      if ((flags & O_ACCMODE) == O_RDONLY) {
        FailToOpen("descriptor " + std::to_string(link->descriptor) + " is open for reading only");
      }
      descriptor = fcntl(link->descriptor, F_DUPFD_CLOEXEC, 0);
    } else {
      // Another process's descriptor: appended to, never truncated.
      descriptor = open(link->entry.c_str(), O_WRONLY | O_APPEND | O_NOCTTY | O_CLOEXEC);
    }
  } else {
    struct stat status {};
    if (stat(path_.c_str(), &status) != 0 || S_ISREG(status.st_mode)) return false;
    if (S_ISDIR(status.st_mode)) FailToOpen(std::strerror(EISDIR));
    // A device or a pipe has nothing to replace: it is written as it
    // stands.
    descriptor = open(path_.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC);
  }
  if (descriptor < 0) FailToOpen(std::strerror(errno));
  in_place_ = true;
  file_ = fdopen(descriptor, "w");
  if (file_ == nullptr) {
    const int error = errno;
    close(descriptor);
    FailToOpen(std::strerror(error));
  }
  return true;
}

void SafeOutputFile::CheckReplaceable(const std::string& folder, mode_t& mode) const {
  const std::string name = fs::path(destination_).filename().string();
  const std::size_t name_max = NameMax(folder);
  if (name.size() > name_max) {
    FailToOpen("its name is " + std::to_string(name.size()) + " bytes long, more than the " +
               std::to_string(name_max) + " the file system allows");
  }
  struct stat existing {};
  if (stat(destination_.c_str(), &existing) != 0) return;
  // The new file keeps the permissions of the one it replaces.
  mode = existing.st_mode & 0777;
  // In a sticky folder (such as /tmp) only the owner of a file, of the
  // folder, or root may replace it: the rename at the end would fail, after
  // all the work.
  struct stat folder_status {};
  const uid_t user = geteuid();
  if (stat(folder.c_str(), &folder_status) == 0 && (folder_status.st_mode & S_ISVTX) != 0 &&
      user != 0 && existing.st_uid != user && folder_status.st_uid != user) {
    FailToOpen(
        "it belongs to another user, and its folder lets only a file's owner replace it "
        "(sticky bit)");
  }
}

void SafeOutputFile::CreateTemporary(const std::string& folder, mode_t mode) {
  // The hidden temporary name adds a dot and a suffix to the destination's
  // name; cut to fit the file system's limit on names.
  const std::string name = fs::path(destination_).filename().string();
  const std::size_t room = NameMax(folder) - kTemporarySuffix.size() - 1;
  std::string hidden(1, '.');
  hidden.append(name, 0, room).append(kTemporarySuffix);
  const std::string pattern = (fs::path(folder) / hidden).string();
  std::vector<char> buffer(pattern.begin(), pattern.end());
  buffer.push_back('\0');
  int descriptor = -1;
  {
    const HeldSignals held;
    descriptor = mkstemp(buffer.data());
    if (descriptor < 0) FailToOpen(std::strerror(errno));
    temporary_ = buffer.data();
    try {
      cleanup_slot_ = RegisterTemporaryFile(temporary_);
    } catch (...) {
      close(descriptor);
      unlink(temporary_.c_str());
      temporary_.clear();
      throw;
    }
  }
  // Should this fail, the file stays private: no reason to stop a run.
  static_cast<void>(fchmod(descriptor, mode));
  file_ = fdopen(descriptor, "w");
  if (file_ == nullptr) {
    const int error = errno;
    close(descriptor);
    FailToOpen(std::strerror(error));  // the destructor removes the file
  }
}

void SafeOutputFile::Write(std::string_view text) {
  errno = 0;
  if (std::fwrite(text.data(), 1, text.size(), file_) != text.size()) FailToWrite(errno);
}

void SafeOutputFile::Printf(const char* format, ...) {
  va_list args;
  va_start(args, format);
  errno = 0;
  const int written = std::vfprintf(file_, format, args);
  va_end(args);
  if (written < 0) FailToWrite(errno);
}

void SafeOutputFile::Finish() {
  if (file_ == nullptr) return;
  // Buffered data reach the disk only at the flush, so a full disk often
  // shows up there rather than at a write; the sync makes the renamed file
  // survive a crash with its contents, not empty.
  errno = 0;
  bool finished = std::fflush(file_) == 0 && std::ferror(file_) == 0;
  if (finished && !in_place_) finished = fsync(fileno(file_)) == 0;
  const int error = errno;
  std::FILE* file = file_;
  file_ = nullptr;
  errno = 0;
  const bool closed = std::fclose(file) == 0;
  if (!finished) FailToWrite(error);
  if (!closed) FailToWrite(errno);
}

void SafeOutputFile::Publish() {
  Finish();
  if (temporary_.empty()) return;
  if (std::rename(temporary_.c_str(), destination_.c_str()) != 0) FailToWrite(errno);
  temporary_.clear();
  ReleaseTemporaryFile(cleanup_slot_);
  cleanup_slot_ = -1;
}

void SafeOutputFile::Commit() {
  Finish();
  Publish();
}

void SafeOutputFile::FailToOpen(const std::string& reason) const {
  std::string message = open_failure_;
  if (message.ends_with('.')) message.pop_back();
  Fail(message + " '" + path_ + "': " + reason + ".");
}

void SafeOutputFile::FailToWrite(int error) const {
  Fail(context_ + ": Unable to write file '" + path_ + "'" +
       (error != 0 ? std::string(": ") + std::strerror(error) : std::string()) + ".");
}

void RequireDiskSpaceFor(std::optional<std::size_t> bytes, const std::string& path,
                         const std::string& what) {
  if (!bytes) return;
  // A device, pipe or descriptor takes the text as it comes.
  const std::optional<FileIdentity> existing = IdentityOf(path);
  if ((existing && !existing->regular) || FindDescriptorLink(path)) return;
  std::filesystem::path folder = std::filesystem::path(path).parent_path();
  if (folder.empty()) folder = ".";
  std::error_code error;
  const std::filesystem::space_info space = std::filesystem::space(folder, error);
  if (error || *bytes <= space.available) return;
  constexpr std::uintmax_t kMiB = std::uintmax_t{1} << 20;
  Fail(what + " would write about " + std::to_string(*bytes / kMiB + 1) + " MiB, more than the " +
       std::to_string(space.available / kMiB) + " MiB free where '" + path + "' goes.");
}
