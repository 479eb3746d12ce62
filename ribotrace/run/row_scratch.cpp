#include "run/row_scratch.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

#include "bailout/bailout.h"

namespace {

constexpr const char* kContext = "WriteResultsToFile Error: ";

std::string FolderOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

int OpenUnlinked(const std::string& folder) {
  std::string name = folder + "/.ribotrace-rows-XXXXXX";
  const int fd = ::mkstemp(name.data());
  if (fd >= 0) ::unlink(name.c_str());
  return fd;
}

[[noreturn]] void FailOnScratch(const std::string& what) {
  Fail(std::string(kContext) + what +
       " the scratch file of the sample rows: " + std::strerror(errno) + ".");
}

}  // namespace

RowScratch::RowScratch(std::size_t n_rows, std::size_t row_size, const std::string& beside)
    : n_rows_(n_rows), row_size_(row_size) {
  std::vector<std::string> folders = {FolderOf(beside)};
  if (const char* tmpdir = std::getenv("TMPDIR"); tmpdir != nullptr && *tmpdir != '\0') {
    folders.emplace_back(tmpdir);
  }
  folders.emplace_back("/tmp");
  for (const std::string& folder : folders) {
    fd_ = OpenUnlinked(folder);
    if (fd_ >= 0) return;
  }
  FailOnScratch("Unable to create");
}

RowScratch::~RowScratch() {
  if (fd_ >= 0) ::close(fd_);
}

void RowScratch::Put(std::size_t row, std::string_view characters) {
  auto offset = static_cast<off_t>(row * row_size_);
  const char* data = characters.data();
  std::size_t left = row_size_;
  while (left > 0) {
    const ssize_t written = ::pwrite(fd_, data, left, offset);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) FailOnScratch("Unable to write");
    data += written;
    left -= static_cast<std::size_t>(written);
    offset += written;
  }
}

void RowScratch::ReadInOrder(
    const std::function<void(std::size_t row, std::string_view characters)>& take) {
  // About a megabyte at a time.
  const std::size_t rows_per_read =
      row_size_ == 0 ? n_rows_ + 1 : std::max<std::size_t>(1, (std::size_t{1} << 20) / row_size_);
  std::string buffer(rows_per_read * row_size_, '\0');
  for (std::size_t first = 0; first < n_rows_; first += rows_per_read) {
    const std::size_t count = std::min(rows_per_read, n_rows_ - first);
    std::size_t got = 0;
    while (got < count * row_size_) {
      const ssize_t n = ::pread(fd_, buffer.data() + got, count * row_size_ - got,
                                static_cast<off_t>(first * row_size_ + got));
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) FailOnScratch("Unable to read");
      got += static_cast<std::size_t>(n);
    }
    for (std::size_t r = 0; r < count; ++r) {
      take(first + r, std::string_view(buffer).substr(r * row_size_, row_size_));
    }
  }
}
