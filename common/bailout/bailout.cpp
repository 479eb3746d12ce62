#include "bailout/bailout.h"

#include <cstdio>
#include <cstdlib>

std::string FatalError::Printed() const {
  switch (form_) {
    case ErrorForm::kBailout:
      return "\n\nErr: " + std::string(what()) + "\n";
    case ErrorForm::kPlainLine:
      return std::string(what()) + "\n";
    case ErrorForm::kVerbatim:
      break;
  }
  return what();
}

void Fail(std::string message) { throw FatalError(std::move(message), ErrorForm::kBailout); }

void FailWithLine(std::string message) {
  throw FatalError(std::move(message), ErrorForm::kPlainLine);
}

void FailVerbatim(std::string message) {
  throw FatalError(std::move(message), ErrorForm::kVerbatim);
}

int ReportFatalError(const FatalError& error) {
  const std::string text = error.Printed();
  std::fwrite(text.data(), 1, text.size(), stdout);
  std::fflush(stdout);
  return 1;
}

void PrintErrorAndExitSafely(const std::string& message) {
  std::exit(ReportFatalError(FatalError(message, ErrorForm::kBailout)));
}
