#include "output/safe_output_file.h"

#include <fcntl.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdint>
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

// Six characters from the clock and the process, as mkstemp would add; a
// name already taken is simply tried again.
std::string RandomTag() {
  static constexpr std::string_view kLetters =
      "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  static std::atomic<std::uint64_t> counter{0};
  std::uint64_t bits =
      static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count()) ^
      (static_cast<std::uint64_t>(getpid()) << 32) ^ (counter.fetch_add(1) * 0x9E3779B97F4A7C15ULL);
  std::string tag;
  for (int i = 0; i < 6; ++i, bits /= kLetters.size()) tag += kLetters[bits % kLetters.size()];
  return tag;
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
                               std::string context, Origin origin)
    : path_(std::move(path)),
      open_failure_(open_failure),
      context_(std::move(context)),
      destination_(path_) {
  RefuseForeignEntry(origin);
  if (origin == Origin::kNamed) {
    if (OpenInPlace()) return;
    ResolveNamedLink();
  }
  OpenFolder();
  mode_t mode = DefaultMode();
  CheckReplaceable(mode);
  CreateTemporary(mode);
}

SafeOutputFile::~SafeOutputFile() {
  if (file_ != nullptr) std::fclose(file_);
  if (!temporary_.empty()) {
    unlinkat(folder_, temporary_name_.c_str(), 0);
    ReleaseTemporaryFile(cleanup_slot_);
  }
  if (folder_ >= 0) close(folder_);
}

void SafeOutputFile::RefuseForeignEntry(Origin origin) const {
  if (origin == Origin::kBeside) {
    if (const std::optional<std::string> reason = SideFileRefusal(path_)) FailToOpen(*reason);
    return;
  }
  const std::optional<std::string> entry = NonRegularEntry(path_);
  if (!entry) return;
  if (IsPlantedByAnother(path_)) {
    FailToOpen("it is " + *entry +
               " that another user owns in a shared folder, and nothing is written through it");
  }
}

void SafeOutputFile::ResolveNamedLink() {
  // Renaming over a symbolic link would replace the link, not the file the
  // user meant by naming it.
  std::error_code error;
  if (!fs::is_symlink(fs::symlink_status(path_, error))) return;
  const fs::path resolved = fs::weakly_canonical(path_, error);
  if (!error) destination_ = resolved.string();
}

void SafeOutputFile::OpenFolder() {
  const fs::path destination(destination_);
  folder_path_ =
      destination.parent_path().empty() ? std::string(".") : destination.parent_path().string();
  name_ = destination.filename().string();
  folder_ = open(folder_path_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (folder_ < 0) FailToOpen(std::strerror(errno));
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

void SafeOutputFile::CheckReplaceable(mode_t& mode) const {
  const std::size_t name_max = NameMax(folder_path_);
  if (name_.size() > name_max) {
    FailToOpen("its name is " + std::to_string(name_.size()) + " bytes long, more than the " +
               std::to_string(name_max) + " the file system allows");
  }
  struct stat existing {};
  if (fstatat(folder_, name_.c_str(), &existing, AT_SYMLINK_NOFOLLOW) != 0) return;
  if (S_ISDIR(existing.st_mode)) FailToOpen(std::strerror(EISDIR));
  // The new file keeps the permissions of the one it replaces.
  if (S_ISREG(existing.st_mode)) mode = existing.st_mode & 0777;
  // In a sticky folder (such as /tmp) only the owner of a file, of the
  // folder, or root may replace it: the rename at the end would fail, after
  // all the work.
  struct stat folder_status {};
  const uid_t user = geteuid();
  if (fstat(folder_, &folder_status) == 0 && (folder_status.st_mode & S_ISVTX) != 0 && user != 0 &&
      existing.st_uid != user && folder_status.st_uid != user) {
    FailToOpen(
        "it belongs to another user, and its folder lets only a file's owner replace it "
        "(sticky bit)");
  }
}

void SafeOutputFile::CreateTemporary(mode_t mode) {
  // The hidden temporary name adds a dot and a suffix to the destination's
  // name; cut to fit the file system's limit on names. O_EXCL with
  // O_NOFOLLOW: the file is always a new one of this run's own, never
  // something already standing at that name.
  const std::size_t room = NameMax(folder_path_) - kTemporarySuffix.size() - 1;
  std::string stem(1, '.');
  stem.append(name_, 0, room).append(".tmp-");
  int descriptor = -1;
  {
    const HeldSignals held;
    for (int attempt = 0; descriptor < 0; ++attempt) {
      temporary_name_ = stem + RandomTag();
      descriptor = openat(folder_, temporary_name_.c_str(),
                          O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
      if (descriptor < 0 && (errno != EEXIST || attempt == 100)) {
        FailToOpen(std::strerror(errno));
      }
    }
    temporary_ = (fs::path(folder_path_) / temporary_name_).string();
    try {
      cleanup_slot_ = RegisterTemporaryFile(temporary_);
    } catch (...) {
      close(descriptor);
      unlinkat(folder_, temporary_name_.c_str(), 0);
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
  // An empty view may hold no pointer at all, which fwrite must not get.
  if (text.empty()) return;
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
  if (renameat(folder_, temporary_name_.c_str(), folder_, name_.c_str()) != 0) {
    FailToWrite(errno);
  }
  temporary_.clear();
  ReleaseTemporaryFile(cleanup_slot_);
  cleanup_slot_ = -1;
}

void SafeOutputFile::Commit() {
  Finish();
  Publish();
}

void SafeOutputFile::FailToOpen(const std::string& reason) const {
  FailToOpenOutput(open_failure_, path_, reason);
}

void FailToOpenOutput(const std::string& open_failure, const std::string& path,
                      const std::string& reason) {
  std::string message = open_failure;
  if (message.ends_with('.')) message.pop_back();
  Fail(message + " '" + path + "': " + reason + ".");
}

std::optional<std::string> SideFileRefusal(const std::string& path) {
  const std::optional<std::string> entry = NonRegularEntry(path);
  if (!entry) return std::nullopt;
  if (*entry == "a folder") return std::strerror(EISDIR);
  return "it is " + *entry +
         ", and a file named after the output is only ever written as a new regular file "
         "(remove it, or choose another output name)";
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
