// out_file.pairs: each unit's probabilities of the 16 doublets at every
// stem pair, and p_gap, the probability that the pair is absent there.
#include "inference/node_posteriors.h"
#include "io/node_tables.h"
#include "io/writers/writers.h"

namespace {

class PairsWriter : public OutputWriter {
 public:
  explicit PairsWriter(SafeOutputFile& file) : table_(file, {"p_gap"}) {}

  void Unit(const UnitResult& unit) override {
    const PosteriorLayout& layout = unit.posteriors.layout();
    for (std::size_t c = 0; c < layout.n_sites(); ++c) {
      if (!layout.IsOpening(c)) continue;
      const std::span<const double, 16> p = unit.posteriors.Doublets(c);
      const auto partner = static_cast<std::size_t>(layout.Partner(c));
      table_.Add({unit.name, c + 1, partner + 1, MostProbable(p), p}, unit.p_gap.subspan(c, 1));
    }
    table_.Flush();
  }

 private:
  PairTable table_;
};

}  // namespace

std::unique_ptr<OutputWriter> MakePairsWriter(SafeOutputFile& file, const AnalysedData&) {
  return std::make_unique<PairsWriter>(file);
}
