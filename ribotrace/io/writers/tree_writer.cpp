// out_file.tree: the rooted tree in which every node carries the name the
// other outputs give it (over a posterior sample, the consensus).
#include "io/writers/writers.h"

namespace {

class TreeWriter : public OutputWriter {
 public:
  explicit TreeWriter(SafeOutputFile& file) : file_(file) {}
  void End(const RunResults& results) override { file_.Write(results.tree_text); }

 private:
  SafeOutputFile& file_;
};

}  // namespace

std::unique_ptr<OutputWriter> MakeTreeWriter(SafeOutputFile& file, const AnalysedData&) {
  return std::make_unique<TreeWriter>(file);
}
