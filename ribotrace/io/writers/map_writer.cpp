// out_file.map.fa: each unit's most probable sequence, with '-' in every
// column whose p_gap exceeds 0.5 (a stem pair's two columns alike).
#include <string>
#include <vector>

#include "inference/node_posteriors.h"
#include "io/node_tables.h"
#include "io/writers/writers.h"

namespace {

class MapWriter : public OutputWriter {
 public:
  explicit MapWriter(SafeOutputFile& file) : file_(file) {}

  void Unit(const UnitResult& unit) override {
    states_.resize(unit.posteriors.layout().n_sites());
    MostProbableSequence(unit.posteriors, states_);
    for (std::size_t c = 0; c < unit.p_gap.size(); ++c) {
      if (unit.p_gap[c] > 0.5) states_[c] = kGapState;
    }
    record_.clear();
    AppendSequenceRecord(record_, unit.name, states_);
    file_.Write(record_);
  }

 private:
  SafeOutputFile& file_;
  std::vector<int> states_;
  std::string record_;
};

}  // namespace

std::unique_ptr<OutputWriter> MakeMapWriter(SafeOutputFile& file, const AnalysedData&) {
  return std::make_unique<MapWriter>(file);
}
