// The results file: ">SS_cons" and the structure line ('(' ')' '-'), with
// include_data each taxon's ">name" and sequence, then the sample blocks as
// the run draws them. A write that fails is fatal, naming the file.
#include <string>
#include <vector>

#include "io/writers/sample_blocks.h"
#include "io/writers/writers.h"

namespace {

std::string StructureLine(const std::vector<int>& structure) {
  std::string line;
  for (const int pairing : structure) {
    if (pairing == 0) line += '-';
    if (pairing == 1) line += '(';
    if (pairing == -1) line += ')';
  }
  return line;
}

class SamplesWriter : public OutputWriter {
 public:
  SamplesWriter(SafeOutputFile& file, const AnalysedData& data) : file_(file), data_(data) {}

  void Head() override {
    const Alignment& alignment = data_.alignment;
    const auto n_sites = static_cast<std::size_t>(alignment.n_sites);
    std::string head = ">SS_cons\n" + StructureLine(alignment.structure) + "\n";
    if (data_.include_data != 0) {
      for (int t = 0; t < alignment.n_taxa; ++t) {
        head.append(">").append(alignment.Names[t].name).append("\n");
        AppendSequenceCharacters(head, alignment.dmatrix.data() + t * n_sites, n_sites);
        head += '\n';
      }
    }
    file_.Write(head);
  }

  void Rows(std::string_view blocks) override { file_.Write(blocks); }

 private:
  SafeOutputFile& file_;
  AnalysedData data_;
};

}  // namespace

std::unique_ptr<OutputWriter> MakeSamplesWriter(SafeOutputFile& file, const AnalysedData& data) {
  return std::make_unique<SamplesWriter>(file, data);
}
