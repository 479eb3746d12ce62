#include "inference/branch_changes.h"

#include <array>
#include <cmath>

namespace {

enum class PairClass : unsigned char { kNone, kCompensatory, kHemi, kBreak, kRestore };

constexpr PairClass Classify(int parent, int child) {
  const bool from = IsCanonicalDoublet(parent);
  const bool to = IsCanonicalDoublet(child);
  if (from && to) {
    const int changed = (parent / 4 != child / 4 ? 1 : 0) + (parent % 4 != child % 4 ? 1 : 0);
    if (changed == 2) return PairClass::kCompensatory;
    return changed == 1 ? PairClass::kHemi : PairClass::kNone;
  }
  if (from) return PairClass::kBreak;
  return to ? PairClass::kRestore : PairClass::kNone;
}

constexpr std::array<PairClass, 256> MakeClasses() {
  std::array<PairClass, 256> classes{};
  for (int e = 0; e < 256; ++e) classes[static_cast<std::size_t>(e)] = Classify(e / 16, e % 16);
  return classes;
}

constexpr std::array<PairClass, 256> kClasses = MakeClasses();

// The joint weights of the parent's states: above x sibling.
template <int N>
std::array<double, N> ParentWeights(const double* above, const double* sibling) {
  std::array<double, N> weights;
  for (int x = 0; x < N; ++x) weights[x] = above[x] * sibling[x];
  return weights;
}

}  // namespace

BranchFigures& BranchFigures::operator+=(const BranchFigures& other) {
  p_cbc += other.p_cbc;
  p_hemi += other.p_hemi;
  p_break += other.p_break;
  p_restore += other.p_restore;
  e_subs += other.e_subs;
  return *this;
}

BranchFigures BranchFigures::operator*(double weight) const {
  return {p_cbc * weight, p_hemi * weight, p_break * weight, p_restore * weight, e_subs * weight};
}

BranchChangeRecorder::BranchChangeRecorder(BranchChanges& changes,
                                           const std::vector<NodeStruct*>& nodes,
                                           const PartitionModels& models, double loop_rate,
                                           double stem_time)
    : changes_(changes) {
  SetBranchSubstitutions(nodes, models.loops, models.stems, loop_rate, stem_time, expected_);
}

void BranchChangeRecorder::RecordDoublet(const NodeStruct& child, int block, const double* above,
                                         const double* sibling, const double* p,
                                         const double* likelihood) {
  const std::array<double, 16> weights = ParentWeights<16>(above, sibling);
  const double* expected = expected_.Doublet(child).data();
  std::array<double, 5> by_class{};
  double total = 0.0;
  double subs = 0.0;
  for (int x = 0; x < 16; ++x) {
    if (weights[x] == 0.0) continue;
    for (int y = 0; y < 16; ++y) {
      const int e = x * 16 + y;
      const double joint = weights[x] * p[e] * likelihood[y];
      total += joint;
      subs += joint * expected[e];
      by_class[static_cast<std::size_t>(kClasses[static_cast<std::size_t>(e)])] += joint;
    }
  }
  BranchFigures& figures = changes_.At(child, block);
  if (!(total > 0.0) || !std::isfinite(total)) {
    figures = {};
    return;
  }
  figures.p_cbc = by_class[static_cast<std::size_t>(PairClass::kCompensatory)] / total;
  figures.p_hemi = by_class[static_cast<std::size_t>(PairClass::kHemi)] / total;
  figures.p_break = by_class[static_cast<std::size_t>(PairClass::kBreak)] / total;
  figures.p_restore = by_class[static_cast<std::size_t>(PairClass::kRestore)] / total;
  figures.e_subs = subs / total;
}

void BranchChangeRecorder::RecordLoop(const NodeStruct& child, int block, const double* above,
                                      const double* sibling, const double* p,
                                      const double* likelihood) {
  const std::array<double, 4> weights = ParentWeights<4>(above, sibling);
  const double* expected = expected_.Singlet(child).data();
  double total = 0.0;
  double subs = 0.0;
  for (int x = 0; x < 4; ++x) {
    for (int y = 0; y < 4; ++y) {
      const double joint = weights[x] * p[x * 4 + y] * likelihood[y];
      total += joint;
      subs += joint * expected[x * 4 + y];
    }
  }
  const bool usable = total > 0.0 && std::isfinite(total);
  changes_.At(child, block) = BranchFigures{0.0, 0.0, 0.0, 0.0, usable ? subs / total : 0.0};
}

BranchChanges MixBranchChanges(const std::vector<BranchChanges>& by_category,
                               const CategoryPosteriors& categories) {
  BranchChanges mixed = by_category.front();
  const std::size_t n_blocks = mixed.n_blocks();
  std::vector<BranchFigures>& figures = mixed.figures();
  for (std::size_t i = 0; i < figures.size(); ++i) {
    const double* weights = categories.OfBlock(i % n_blocks);
    BranchFigures sum;
    for (std::size_t k = 0; k < by_category.size(); ++k) {
      sum += by_category[k].figures()[i] * weights[k];
    }
    figures[i] = sum;
  }
  return mixed;
}
