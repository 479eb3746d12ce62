// The summary (out_file.par): "h_mean" (the hidden branch length before
// lambda) and "lambda" when is_harmonic is 1, else "prd_brlen"; "size"
// with the samples per unit; then the run's further figures, "%lf" alike.
#include "io/writers/writers.h"

namespace {

class SummaryWriter : public OutputWriter {
 public:
  explicit SummaryWriter(SafeOutputFile& file) : file_(file) {}

  void End(const RunResults& results) override {
    const RunSummary& summary = results.summary;
    if (summary.is_harmonic == 1) {
      file_.Printf("h_mean\t%lf\n", summary.scaled_length);
      file_.Printf("lambda\t%lf\n", summary.lambda);
    } else {
      file_.Printf("prd_brlen\t%lf\n", summary.scaled_length);
    }
    file_.Printf("size\t%d\n", summary.n_samples);
    for (const auto& [name, value] : summary.values) file_.Printf("%s\t%lf\n", name.c_str(), value);
  }

 private:
  SafeOutputFile& file_;
};

}  // namespace

std::unique_ptr<OutputWriter> MakeSummaryWriter(SafeOutputFile& file, const AnalysedData&) {
  return std::make_unique<SummaryWriter>(file);
}
