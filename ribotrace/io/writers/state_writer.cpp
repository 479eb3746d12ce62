// out_file.state: each unit's probabilities of A, C, G, U at every column,
// and p_gap, the probability that the column is absent at the unit.
#include "inference/node_posteriors.h"
#include "io/node_tables.h"
#include "io/writers/writers.h"

namespace {

class StateWriter : public OutputWriter {
 public:
  explicit StateWriter(SafeOutputFile& file) : table_(file, {"p_gap"}) {}

  void Unit(const UnitResult& unit) override {
    const PosteriorLayout& layout = unit.posteriors.layout();
    for (std::size_t c = 0; c < layout.n_sites(); ++c) {
      const std::size_t partner =
          layout.IsStem(c) ? static_cast<std::size_t>(layout.Partner(c)) + 1 : 0;
      const std::array<double, 4> p = NucleotideMarginals(unit.posteriors, c);
      table_.Add({unit.name, c + 1, MostProbable(p), p, partner}, unit.p_gap.subspan(c, 1));
    }
    table_.Flush();
  }

 private:
  StateTable table_;
};

}  // namespace

std::unique_ptr<OutputWriter> MakeStateWriter(SafeOutputFile& file, const AnalysedData&) {
  return std::make_unique<StateWriter>(file);
}
