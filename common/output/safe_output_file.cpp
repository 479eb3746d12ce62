#include "output/safe_output_file.h"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstring>
#include <filesystem>
#include <vector>

#include "bailout/bailout.h"

namespace fs = std::filesystem;

SafeOutputFile::SafeOutputFile(std::string path, const std::string& open_failure,
                               std::string context)
    : path_(std::move(path)), destination_(path_), context_(std::move(context)) {
  std::error_code error;
  const fs::file_status target = fs::status(path_, error);
  if (fs::is_directory(target)) Fail(open_failure);
  if (fs::exists(target) && !fs::is_regular_file(target)) {
    // A device or a pipe is written in place; there is nothing to replace.
    file_ = std::fopen(path_.c_str(), "w");
    if (file_ == nullptr) Fail(open_failure);
    return;
  }
  // Renaming over a symbolic link would replace the link, not the file it
  // names.
  if (fs::is_symlink(fs::symlink_status(path_, error))) {
    const fs::path resolved = fs::weakly_canonical(path_, error);
    if (!error) destination_ = resolved.string();
  }
  const fs::path folder = fs::path(destination_).parent_path();
  std::string hidden_name(1, '.');
  hidden_name.append(fs::path(destination_).filename().string()).append(".tmp-XXXXXX");
  const std::string pattern = ((folder.empty() ? fs::path(".") : folder) / hidden_name).string();
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back('\0');
  const int descriptor = mkstemp(name.data());
  if (descriptor < 0) Fail(open_failure);
  temporary_ = name.data();
  // mkstemp makes the file private (0600); a results file gets the usual
  // permissions that the user's umask allows.
  const mode_t mask = umask(0);
  umask(mask);
  // Should this fail, the file stays private: no reason to stop a run.
  static_cast<void>(fchmod(descriptor, 0666 & ~mask));
  file_ = fdopen(descriptor, "w");
  if (file_ == nullptr) {
    close(descriptor);
    std::remove(temporary_.c_str());
    Fail(open_failure);
  }
}

SafeOutputFile::~SafeOutputFile() {
  if (file_ != nullptr) std::fclose(file_);
  if (!temporary_.empty()) std::remove(temporary_.c_str());
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

void SafeOutputFile::Commit() {
  // Buffered data reach the disk only at the flush, so a full disk often
  // shows up there rather than at a write.
  errno = 0;
  const bool flushed = std::fflush(file_) == 0 && std::ferror(file_) == 0;
  const int flush_error = errno;
  std::FILE* file = file_;
  file_ = nullptr;
  errno = 0;
  const bool closed = std::fclose(file) == 0;
  if (!flushed) FailToWrite(flush_error);
  if (!closed) FailToWrite(errno);
  if (temporary_.empty()) return;
  if (std::rename(temporary_.c_str(), destination_.c_str()) != 0) FailToWrite(errno);
  temporary_.clear();
}

void SafeOutputFile::FailToWrite(int error) {
  Fail(context_ + ": Unable to write file '" + path_ + "'" +
       (error != 0 ? std::string(": ") + std::strerror(error) : std::string()) + ".");
}

void RequireDiskSpaceFor(std::optional<std::size_t> bytes, const std::string& path,
                         const std::string& what) {
  if (!bytes) return;
  std::filesystem::path folder = std::filesystem::path(path).parent_path();
  if (folder.empty()) folder = ".";
  std::error_code error;
  const std::filesystem::space_info space = std::filesystem::space(folder, error);
  if (error || *bytes <= space.available) return;
  constexpr std::uintmax_t kMiB = std::uintmax_t{1} << 20;
  Fail(what + " would write about " + std::to_string(*bytes / kMiB + 1) + " MiB, more than the " +
       std::to_string(space.available / kMiB) + " MiB free where '" + path + "' goes.");
}
