// out_file.clades: the clades of a run over a posterior sample.
#include "io/clade_output.h"
#include "io/writers/writers.h"

namespace {

class CladesWriter : public OutputWriter {
 public:
  CladesWriter(SafeOutputFile& file, const AnalysedData& data) : file_(file), data_(data) {}
  void End(const RunResults& results) override {
    file_.Write(CladeListText(results.clades, data_.alignment.Names));
  }

 private:
  SafeOutputFile& file_;
  AnalysedData data_;
};

}  // namespace

std::unique_ptr<OutputWriter> MakeCladesWriter(SafeOutputFile& file, const AnalysedData& data) {
  return std::make_unique<CladesWriter>(file, data);
}
