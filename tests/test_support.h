// Helpers shared by the test files: scratch files, running the real
// programs, and checking fatal errors by their printed text.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "bailout/bailout.h"
#include "io/data_file.h"

// A scratch directory removed with its contents at the end of the test.
class ScratchDir {
 public:
  ScratchDir();
  ~ScratchDir();
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;

  // Writes `content` to `name` inside the directory and returns its path.
  std::string Write(const std::string& name, const std::string& content) const;
  std::string Path(const std::string& name) const;

 private:
  std::string path_;
};

std::string ReadFile(const std::string& path);

struct ProgramResult {
  int status = -1;     // exit status, or -1 when killed by a signal
  std::string output;  // standard output
  std::string errors;  // standard error
};

// Runs `program` with `args`, feeding `input` on standard input (closed
// afterwards), and collects its standard output and standard error.
ProgramResult RunProgram(const std::string& program, const std::vector<std::string>& args,
                         const std::string& input = "", const std::string& working_dir = "");

// The printed text of the FatalError thrown by `action`; fails the test
// when nothing is thrown.
std::string FatalOutput(const std::function<void()>& action);

// Both passes of the alignment reader, as the driver runs them.
Alignment ReadAlignment(const std::string& path);

// The full path of an executable found on PATH, or "" when there is none.
std::string FindOnPath(const std::string& program);

// Captures what `action` prints on standard output.
std::string CapturedOutput(const std::function<void()>& action);
