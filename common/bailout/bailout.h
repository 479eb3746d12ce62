// Fatal errors of both programs.
//
// Every failure of a run is fatal: one message on standard output, exit
// status 1. Readers and stages never end the process themselves; they throw a
// FatalError that carries the message and the form in which it is printed,
// and the programs' entry points turn it into output and status. That keeps
// every reader usable from tests and fuzz harnesses.
#pragma once

#include <stdexcept>
#include <string>

enum class ErrorForm {
  kBailout,    // "\n\nErr: <message>\n", as PrintErrorAndExitSafely prints it
  kPlainLine,  // "<message>\n"
  kVerbatim,   // "<message>" exactly as given, newline or not
};

class FatalError : public std::runtime_error {
 public:
  FatalError(std::string message, ErrorForm form)
      : std::runtime_error(std::move(message)), form_(form) {}
  ErrorForm form() const { return form_; }
  // The exact bytes the user sees on standard output.
  std::string Printed() const;

 private:
  ErrorForm form_;
};

// Throws a FatalError printed as "\n\nErr: <message>\n".
[[noreturn]] void Fail(std::string message);
// Throws a FatalError printed as the message and a newline, no prefix.
[[noreturn]] void FailWithLine(std::string message);
// Throws a FatalError printed exactly as given.
[[noreturn]] void FailVerbatim(std::string message);

// Prints the error as its form prescribes on standard output (after flushing
// whatever diagnostics came before) and returns the exit status 1.
int ReportFatalError(const FatalError& error);

// Prints "\n\nErr: <message>\n" on standard output and ends the process with
// status 1. Only entry points call it; everything below them throws.
[[noreturn]] void PrintErrorAndExitSafely(const std::string& message);
