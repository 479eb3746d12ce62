#include "output/output_path.h"

#include <sys/stat.h>
#include <unistd.h>

#include <charconv>
#include <filesystem>
#include <system_error>

namespace fs = std::filesystem;

namespace {

// Links nest at most this deep before the system itself gives up (ELOOP).
constexpr int kMaxLinkHops = 40;

bool IsNumber(const std::string& text, long& value) {
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  return !text.empty() && error == std::errc() && end == text.data() + text.size();
}

// "/proc/<pid>/fd" or "/proc/<pid>/task/<tid>/fd", as canonical() spells
// /proc/self/fd and /proc/thread-self/fd; gives the pid.
std::optional<long> DescriptorFolderProcess(const fs::path& folder) {
  auto part = folder.begin();
  if (part == folder.end() || *part != "/" || ++part == folder.end() || *part != "proc") {
    return std::nullopt;
  }
  if (folder.filename() != "fd" || ++part == folder.end()) return std::nullopt;
  long pid = 0;
  if (!IsNumber(part->string(), pid)) return std::nullopt;
  return pid;
}

}  // namespace

std::optional<DescriptorLink> FindDescriptorLink(const std::string& path) {
  std::error_code error;
  fs::path current = fs::absolute(path, error);
  if (error) return std::nullopt;
  for (int hop = 0; hop < kMaxLinkHops; ++hop) {
    // Resolving the folder turns /dev/fd into /proc/<pid>/fd; the entry
    // itself must not be resolved, or the descriptor is lost.
    const fs::path folder = fs::canonical(current.parent_path(), error);
    if (error) return std::nullopt;
    const fs::path entry = folder / current.filename();
    if (const std::optional<long> pid = DescriptorFolderProcess(folder)) {
      long descriptor = -1;
      if (!IsNumber(entry.filename().string(), descriptor)) return std::nullopt;
      return DescriptorLink{entry.string(), static_cast<int>(descriptor), *pid == getpid()};
    }
    if (!fs::is_symlink(fs::symlink_status(entry, error))) return std::nullopt;
    const fs::path target = fs::read_symlink(entry, error);
    if (error) return std::nullopt;
    current = target.is_absolute() ? target : folder / target;
  }
  return std::nullopt;
}

bool IsInSystemFolder(const std::string& path) {
  std::error_code error;
  const fs::path folder = fs::weakly_canonical(fs::absolute(path, error).parent_path(), error);
  if (error) return false;
  const auto under = [&](const char* root) {
    const fs::path relative = folder.lexically_relative(root);
    return !relative.empty() && *relative.begin() != "..";
  };
  return folder == "/dev" || under("/proc") || under("/sys");
}

std::optional<FileIdentity> IdentityOf(const std::string& path) {
  struct stat status {};
  if (stat(path.c_str(), &status) != 0) return std::nullopt;
  return FileIdentity{status.st_dev, status.st_ino, S_ISREG(status.st_mode)};
}

std::optional<std::string> NonRegularEntry(const std::string& path) {
  struct stat status {};
  if (lstat(path.c_str(), &status) != 0 || S_ISREG(status.st_mode)) return std::nullopt;
  if (S_ISLNK(status.st_mode)) return "a symbolic link";
  if (S_ISFIFO(status.st_mode)) return "a FIFO";
  if (S_ISDIR(status.st_mode)) return "a folder";
  if (S_ISSOCK(status.st_mode)) return "a socket";
  return "a device";
}

bool IsPlantedByAnother(const std::string& path) {
  struct stat entry {};
  if (lstat(path.c_str(), &entry) != 0) return false;
  fs::path folder = fs::path(path).parent_path();
  if (folder.empty()) folder = ".";
  struct stat holder {};
  if (stat(folder.c_str(), &holder) != 0) return false;
  const bool shared = (holder.st_mode & S_ISVTX) != 0 && (holder.st_mode & S_IWOTH) != 0;
  return shared && entry.st_uid != geteuid() && entry.st_uid != holder.st_uid;
}
