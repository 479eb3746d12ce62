// A results file that appears only when it is complete. The text goes to a
// temporary file in the destination's folder and is renamed over the
// destination at Commit(), so an interrupted or failed run never leaves a
// truncated file that looks finished. Opening happens up front, so that an
// output path that cannot be written stops a run before its long
// computation; every write, the flush and the close are checked.
#pragma once

#include <cstddef>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>

class SafeOutputFile {
 public:
  // Creates the temporary file next to `path` (or opens `path` itself when
  // it is a device or pipe such as /dev/stdout, which cannot be replaced).
  // When that fails, or `path` is a directory, throws the FatalError of
  // Fail(open_failure). Later failures name the file and the system's
  // reason after `context` (e.g. "WriteResultsToFile Error").
  SafeOutputFile(std::string path, const std::string& open_failure, std::string context);
  // Without a Commit(), the temporary file is removed.
  ~SafeOutputFile();
  SafeOutputFile(const SafeOutputFile&) = delete;
  SafeOutputFile& operator=(const SafeOutputFile&) = delete;

  void Write(std::string_view text);
  __attribute__((format(printf, 2, 3))) void Printf(const char* format, ...);
  // Flushes and closes the file and renames it into place.
  void Commit();

  const std::string& path() const { return path_; }

 private:
  [[noreturn]] void FailToWrite(int error);

  std::string path_;         // what the user named
  std::string destination_;  // path_ with symbolic links resolved
  std::string temporary_;    // empty when writing to path_ directly
  std::string context_;
  std::FILE* file_ = nullptr;
};

// Fails with `what` + " would write about N MiB, more than the M MiB free
// where '<path>' goes." when `bytes` exceed the space left on the file
// system that will hold `path`. Does nothing when `bytes` is unknown
// (nullopt) or the free space cannot be read.
void RequireDiskSpaceFor(std::optional<std::size_t> bytes, const std::string& path,
                         const std::string& what);
