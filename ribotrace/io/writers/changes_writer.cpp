// out_file.changes: what happened on each branch at each stem pair.
#include <vector>

#include "inference/likelihood_blocks.h"
#include "inference/node_posteriors.h"
#include "io/change_tables.h"
#include "io/writers/writers.h"

namespace {

class ChangesWriter : public OutputWriter {
 public:
  ChangesWriter(SafeOutputFile& file, const AnalysedData& data) : file_(file), data_(data) {}

  void End(const RunResults& results) override {
    const std::vector<int>& structure = data_.alignment.structure;
    const PosteriorLayout columns(structure, data_.SS);
    std::vector<int> partners(columns.n_sites());
    for (std::size_t c = 0; c < partners.size(); ++c) partners[c] = columns.Partner(c);
    WritePairChanges(*results.branches, BlockLayout(structure), partners, file_);
  }

 private:
  SafeOutputFile& file_;
  AnalysedData data_;
};

}  // namespace

std::unique_ptr<OutputWriter> MakeChangesWriter(SafeOutputFile& file, const AnalysedData& data) {
  return std::make_unique<ChangesWriter>(file, data);
}
