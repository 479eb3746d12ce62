#include "test_support.h"

#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

ScratchDir::ScratchDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "ribotrace-test-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
}

ScratchDir::~ScratchDir() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

std::string ScratchDir::Path(const std::string& name) const { return path_ + "/" + name; }

std::string ScratchDir::Write(const std::string& name, const std::string& content) const {
  const std::string path = Path(name);
  std::ofstream out(path, std::ios::binary);
  out << content;
  return path;
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

ProgramResult RunProgram(const std::string& program, const std::vector<std::string>& args,
                         const std::string& input, const std::string& working_dir) {
  // A program that exits before reading its input must not kill the runner.
  std::signal(SIGPIPE, SIG_IGN);
  int to_child[2];
  int from_child[2];
  if (pipe(to_child) != 0 || pipe(from_child) != 0) throw std::runtime_error("pipe failed");
  // Standard error goes to a file, so that neither stream can fill its pipe
  // while the other is being read.
  std::FILE* errors = std::tmpfile();
  if (errors == nullptr) throw std::runtime_error("tmpfile failed");
  std::fflush(nullptr);
  const pid_t pid = fork();
  if (pid < 0) throw std::runtime_error("fork failed");
  if (pid == 0) {
    dup2(to_child[0], STDIN_FILENO);
    dup2(from_child[1], STDOUT_FILENO);
    dup2(fileno(errors), STDERR_FILENO);
    close(to_child[0]);
    close(to_child[1]);
    close(from_child[0]);
    close(from_child[1]);
    if (!working_dir.empty() && chdir(working_dir.c_str()) != 0) _exit(127);
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    execv(program.c_str(), argv.data());
    _exit(127);
  }
  close(to_child[0]);
  close(from_child[1]);
  // The programs read their answers before printing much, so writing the
  // whole input first cannot dead-lock on the small inputs of the tests.
  std::size_t written = 0;
  while (written < input.size()) {
    const ssize_t n = write(to_child[1], input.data() + written, input.size() - written);
    if (n <= 0) break;
    written += static_cast<std::size_t>(n);
  }
  close(to_child[1]);
  ProgramResult result;
  char buffer[4096];
  ssize_t n;
  while ((n = read(from_child[0], buffer, sizeof buffer)) > 0) result.output.append(buffer, n);
  close(from_child[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  std::rewind(errors);
  while ((n = static_cast<ssize_t>(std::fread(buffer, 1, sizeof buffer, errors))) > 0) {
    result.errors.append(buffer, static_cast<std::size_t>(n));
  }
  std::fclose(errors);
  return result;
}

std::string FatalOutput(const std::function<void()>& action) {
  try {
    action();
  } catch (const FatalError& error) {
    return error.Printed();
  }
  ADD_FAILURE() << "expected a fatal error";
  return "";
}

std::string CapturedOutput(const std::function<void()>& action) {
  testing::internal::CaptureStdout();
  action();
  std::fflush(stdout);
  return testing::internal::GetCapturedStdout();
}

std::string FindOnPath(const std::string& program) {
  const char* path = std::getenv("PATH");
  std::istringstream folders(path != nullptr ? path : "");
  std::string folder;
  while (std::getline(folders, folder, ':')) {
    const std::filesystem::path candidate = std::filesystem::path(folder) / program;
    if (!folder.empty() && access(candidate.c_str(), X_OK) == 0) return candidate.string();
  }
  return "";
}

Alignment ReadAlignment(const std::string& path) { return ReadDataFile(path); }
