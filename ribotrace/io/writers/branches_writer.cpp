// out_file.branches: each branch's sums over its stem pairs and loop
// columns.
#include "inference/likelihood_blocks.h"
#include "io/change_tables.h"
#include "io/writers/writers.h"

namespace {

class BranchesWriter : public OutputWriter {
 public:
  BranchesWriter(SafeOutputFile& file, const AnalysedData& data) : file_(file), data_(data) {}

  void End(const RunResults& results) override {
    WriteBranchSums(*results.branches, BlockLayout(data_.alignment.structure), file_);
  }

 private:
  SafeOutputFile& file_;
  AnalysedData data_;
};

}  // namespace

std::unique_ptr<OutputWriter> MakeBranchesWriter(SafeOutputFile& file, const AnalysedData& data) {
  return std::make_unique<BranchesWriter>(file, data);
}
