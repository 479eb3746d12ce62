// A results file that appears only when it is complete. The text goes to a
// temporary file in the destination's folder and is renamed over the
// destination once finished, so an interrupted or failed run never leaves a
// truncated file that looks finished, and never loses the previous one.
// Opening happens up front, so that an output path that cannot be written
// (or replaced) stops a run before its long computation; every write, the
// flush, the sync and the close are checked.
//
// A path that the user named and that is not a regular file (a character
// device, a FIFO, /dev/stdout, /dev/fd/N, /proc/self/fd/N) is written
// directly, in order, through the device or descriptor it names; a link the
// user named is followed. A file named after another output (out.fa.par) is
// only ever a regular file of the run's own, renamed into place: whatever
// else stands at its path (a link, a FIFO, a device) is refused before any
// work, and so is a link or FIFO that someone else put at a named path in a
// shared folder such as /tmp, since writing through it would replace or
// hand over a file the run never meant to touch.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>

class SafeOutputFile {
 public:
  // Whether the user named the path, or the run derived it from a named one.
  enum class Origin { kNamed, kBeside };

  // Creates the temporary file next to `path`, or opens `path` itself when
  // it is written in place. When that fails, throws the FatalError of
  // `open_failure` (e.g. "X Error: Unable to open file.") with the path
  // and the reason put before its final period. Later failures name the
  // file and the system's reason after `context` (e.g. "X Error").
  SafeOutputFile(std::string path, const std::string& open_failure, std::string context,
                 Origin origin = Origin::kNamed);
  // Unless published, the temporary file is removed.
  ~SafeOutputFile();
  SafeOutputFile(const SafeOutputFile&) = delete;
  SafeOutputFile& operator=(const SafeOutputFile&) = delete;

  void Write(std::string_view text);
  __attribute__((format(printf, 2, 3))) void Printf(const char* format, ...);
  // Flushes, syncs and closes the file: complete, but not yet in place.
  void Finish();
  // Renames the finished temporary file over the destination (nothing to
  // do for a file written in place).
  void Publish();
  // Finish() and Publish(), for a file that is a run's only output.
  void Commit();

  const std::string& path() const { return path_; }
  // A device, pipe or descriptor: written directly, no temporary file.
  bool written_in_place() const { return in_place_; }

 private:
  [[noreturn]] void FailToOpen(const std::string& reason) const;
  [[noreturn]] void FailToWrite(int error) const;
  bool OpenInPlace();
  void RefuseForeignEntry(Origin origin) const;
  void ResolveNamedLink();
  void OpenFolder();
  void CheckReplaceable(mode_t& mode) const;
  void CreateTemporary(mode_t mode);

  std::string path_;  // what the user named
  std::string open_failure_;
  std::string context_;
  std::string destination_;  // path_ with symbolic links resolved
  std::string folder_path_;  // the folder that holds destination_
  std::string name_;         // destination_'s name in that folder
  int folder_ = -1;          // that folder, opened once: later steps never re-walk the path
  std::string temporary_;    // its full path; empty when writing to path_ directly
  std::string temporary_name_;
  int cleanup_slot_ = -1;  // the temporary's registration for signal cleanup
  bool in_place_ = false;
  std::FILE* file_ = nullptr;
};

// Fails with `open_failure` (as SafeOutputFile takes it) naming `path` and
// `reason`.
[[noreturn]] void FailToOpenOutput(const std::string& open_failure, const std::string& path,
                                   const std::string& reason);

// Why a file named after the output cannot be written at `path`: what
// stands there is not a regular file (a link, FIFO, device, folder).
std::optional<std::string> SideFileRefusal(const std::string& path);

// Fails with `what` + " would write about N MiB, more than the M MiB free
// where '<path>' goes." when `bytes` exceed the space left on the file
// system that will hold `path`. Does nothing when `bytes` is unknown
// (nullopt), the free space cannot be read, or `path` is written in place.
void RequireDiskSpaceFor(std::optional<std::size_t> bytes, const std::string& path,
                         const std::string& what);
