#include "io/output_writers.h"

namespace {

constexpr std::string_view kWriteContext = "WriteResultsToFile Error";

}  // namespace

OutputWriters::OutputWriters(const std::string& out_file, std::vector<RunInput> inputs,
                             const OutputChoice& choice, const AnalysedData& data)
    : outputs_(std::move(inputs), std::string(kWriteContext)) {
  const std::string context(kWriteContext);
  const SafeOutputFile* results = nullptr;  // the table's first row
  for (const OutputRow& row : OutputTable()) {
    const std::string suffix(row.suffix);
    const std::string open_failure = context + ": " + std::string(row.open_failure);
    SafeOutputFile* file = nullptr;
    if (suffix.empty()) {
      file = &outputs_.Add(out_file, open_failure, context);
      results = file;
    } else if (row.chosen(choice)) {
      file = &outputs_.AddBeside(*results, suffix, open_failure, context);
    } else {
      outputs_.RetireBeside(*results, suffix);
      continue;
    }
    writers_.push_back(row.make(*file, data));
    paths_.push_back(file->path());
  }
}

void OutputWriters::Head() {
  for (const auto& writer : writers_) writer->Head();
}

void OutputWriters::Rows(std::string_view blocks) {
  for (const auto& writer : writers_) writer->Rows(blocks);
}

void OutputWriters::Unit(const UnitResult& unit) {
  for (const auto& writer : writers_) writer->Unit(unit);
}

void OutputWriters::End(const RunResults& results) {
  for (const auto& writer : writers_) writer->End(results);
}

void OutputWriters::CommitAll() { outputs_.CommitAll(); }
