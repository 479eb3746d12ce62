// The outputs of one run, written as one: every output is checked against
// every input and against the other outputs before anything is computed,
// every temporary file is written, flushed and synced before the first one
// is renamed into place, and a failure before the renames leaves every old
// file untouched. A run with a new kind of output adds one file with Add()
// or AddBeside() and gets all of this.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "output/safe_output_file.h"

// An input of the run, which no output may replace.
struct RunInput {
  std::string role;  // as messages name it: "data file", "tree file", ...
  std::string path;
};

class OutputSet {
 public:
  // `context` starts the messages of the checks ("ConvertFile Error").
  OutputSet(std::vector<RunInput> inputs, std::string context);

  // Opens `path` as a SafeOutputFile (see there for `open_failure` and
  // `write_context`). Fails first when it is the same file as an input
  // (same device and inode, however the path reaches it: ./, links, hard
  // links) or as another output of the set.
  SafeOutputFile& Add(const std::string& path, const std::string& open_failure,
                      const std::string& write_context,
                      SafeOutputFile::Origin origin = SafeOutputFile::Origin::kNamed);

  // Add() for the side file named `main`'s path + `suffix` (".par"). When
  // `main` is written in place (a device, pipe or descriptor), the side
  // file is refused where it would be created among the system's files
  // (/dev/stdout.par, /proc/self/fd/1.par); it is written where that is
  // safe, as beside a FIFO in the user's folder.
  SafeOutputFile& AddBeside(const SafeOutputFile& main, const std::string& suffix,
                            const std::string& open_failure, const std::string& write_context);

  // A file named `main`'s path + `suffix` that some runs write and this one
  // does not (a table, a report): an earlier run's copy beside the new
  // results would read as theirs, so CommitAll() removes it. Only a regular
  // file or a link is removed (the link, never what it names), and never
  // one of the run's inputs.
  void RetireBeside(const SafeOutputFile& main, const std::string& suffix);

  // The checks of AddBeside(), made before any work, for a side file that
  // the run may or may not add once its work is done.
  void CheckBeside(const SafeOutputFile& main, const std::string& suffix,
                   const std::string& open_failure) const;

  // Finishes every file, renames every temporary file into place, then
  // removes the retired files.
  void CommitAll();

 private:
  void CheckIdentity(const std::string& path) const;
  bool IsInput(const std::string& path) const;

  std::vector<RunInput> inputs_;
  std::string context_;
  std::vector<std::unique_ptr<SafeOutputFile>> files_;
  std::vector<std::string> retired_;
};
