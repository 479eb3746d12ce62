#include "fit/partition_likelihood.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <utility>

#include "bailout/bailout.h"
#include "fit/partial_products.h"

namespace {

constexpr int kAnyState = -1;    // a gap or missing data: every state allowed
constexpr int kSomeStates = -2;  // an ambiguity code: several states

// The one state a tip's entries allow, else kAnyState or kSomeStates.
int TipState(const double* entries, int n) {
  const int allowed = static_cast<int>(std::count(entries, entries + n, 1.0));
  if (allowed == n) return kAnyState;
  if (allowed != 1) return kSomeStates;
  return static_cast<int>(std::find(entries, entries + n, 1.0) - entries);
}

// Partials are rescaled only once they fall this low: the rescaling (a
// division and a log per pattern) would otherwise cost as much as the
// products themselves.
constexpr double kRescaleBelow = 1e-100;

// A tip's partials carried up its branch (Into: multiplied into out entry
// by entry). Most tips allow one state: their column of P, without the
// product; a gap allows all, and the rows of P sum to 1, so its column is
// ones; only an ambiguity code needs the product. The columns sit in one
// table, so that states and gaps mixed in any order cost no branch.
template <int N, bool kInto>
void CarryTip(const double* p, const int* states, const double* below, int count, double* out) {
  std::array<double, (N + 1) * N> table;
  std::copy_n(p, N * N, table.begin());
  std::fill_n(table.begin() + N * N, N, 1.0);
  double carried[N];
  for (int s = 0; s < count; ++s, below += N, out += N) {
    const double* column = table.data() + (states[s] < 0 ? N : states[s]) * N;
    if (states[s] == kSomeStates) {
      CarryPartials(N, p, below, 1, carried);
      column = carried;
    }
    for (int i = 0; i < N; ++i) out[i] = kInto ? out[i] * column[i] : column[i];
  }
}

}  // namespace

PartitionLikelihood::PartitionLikelihood(const SitePatterns& patterns, const FitTree& tree,
                                         int threads, int chunk)
    : patterns_(patterns),
      n_(patterns.n_states),
      n_nodes_(tree.size()),
      chunks_(patterns.size(), threads, chunk),
      taxon_(tree.taxon),
      slots_(PlanPartialSlots(tree)) {
  down_scale_.assign(static_cast<std::size_t>(n_nodes_) * patterns.size(), 0.0);
  up_scale_ = down_scale_;
  slot_scale_.assign(static_cast<std::size_t>(slots_.count) * patterns.size(), 0.0);
  term_shift_.assign(static_cast<std::size_t>(patterns.size()), 0.0);
  tip_states_.resize(static_cast<std::size_t>(patterns.n_taxa) * patterns.size());
  for (int taxon = 0; taxon < patterns.n_taxa; ++taxon) {
    for (int s = 0; s < patterns.size(); ++s) {
      tip_states_[static_cast<std::size_t>(taxon) * patterns.size() + s] =
          TipState(patterns.Tip(s, taxon), n_);
    }
  }
  scratch_.assign(static_cast<std::size_t>(chunks_.threads()),
                  std::vector<double>(static_cast<std::size_t>(n_) * chunk));
}

std::size_t PartitionLikelihood::At(int node, int category, const PatternChunk& chunk) const {
  const std::size_t n_pat = static_cast<std::size_t>(patterns_.size());
  return ((static_cast<std::size_t>(node) * n_cat_ + category) * n_pat + chunk.first) * n_;
}

const double* PartitionLikelihood::Partials(int node, int category, const PatternChunk& chunk,
                                            bool kept) const {
  if (kept || taxon_[static_cast<std::size_t>(node)] >= 0)
    return down_.data() + At(node, category, chunk);
  return slot_vectors_.data() + At(slots_.slot[static_cast<std::size_t>(node)], category, chunk);
}

double* PartitionLikelihood::Partials(int node, int category, const PatternChunk& chunk,
                                      bool kept) {
  return const_cast<double*>(std::as_const(*this).Partials(node, category, chunk, kept));
}

const double* PartitionLikelihood::Scale(int node, bool kept) const {
  const std::size_t n_pat = static_cast<std::size_t>(patterns_.size());
  if (kept || taxon_[static_cast<std::size_t>(node)] >= 0) {
    return down_scale_.data() + static_cast<std::size_t>(node) * n_pat;
  }
  return slot_scale_.data() +
         static_cast<std::size_t>(slots_.slot[static_cast<std::size_t>(node)]) * n_pat;
}

double* PartitionLikelihood::Scale(int node, bool kept) {
  return const_cast<double*>(std::as_const(*this).Scale(node, kept));
}

const double* PartitionLikelihood::P(int node, int category) const {
  return p_.data() + (static_cast<std::size_t>(node) * n_cat_ + category) * n_ * n_;
}

void PartitionLikelihood::SetModel(const SubstitutionModel& model,
                                   std::vector<double> category_rates, double time_factor) {
  if (model.complex()) Fail("The fitted rate matrix has complex eigenvalues.");
  const EigenSet& e = model.eigens();
  frequencies_ = Eigen::Map<const Eigen::VectorXd>(model.frequencies().data(), n_);
  lambda_ = e.lambda_real.head(n_);
  u_ = e.u.topLeftCorner(n_, n_);
  u_transposed_ = u_.transpose();
  u_inverse_ = e.u_inverse.topLeftCorner(n_, n_);
  time_factor_ = time_factor;
  const bool resize = static_cast<int>(category_rates.size()) != n_cat_ || down_.empty();
  rates_ = std::move(category_rates);
  n_cat_ = static_cast<int>(rates_.size());
  if (!resize) return;
  const std::size_t block = static_cast<std::size_t>(n_nodes_) * n_cat_ * patterns_.size() * n_;
  down_.assign(block, 0.0);
  up_ = down_;
  slot_vectors_.assign(static_cast<std::size_t>(slots_.count) * n_cat_ * patterns_.size() * n_,
                       0.0);
  terms_.assign(static_cast<std::size_t>(n_cat_) * patterns_.size() * n_, 0.0);
  p_.assign(static_cast<std::size_t>(n_nodes_) * n_cat_ * n_ * n_, 0.0);
  FillTips();
}

// A tip's partials are its entries, in every category, and never change.
void PartitionLikelihood::FillTips() {
  for (int node = 0; node < n_nodes_; ++node) {
    const int taxon = taxon_[static_cast<std::size_t>(node)];
    if (taxon < 0) continue;
    for (int c = 0; c < n_cat_; ++c) {
      double* out = down_.data() + At(node, c, PatternChunk{0, 0, 0});
      for (int s = 0; s < patterns_.size(); ++s) {
        std::copy_n(patterns_.Tip(s, taxon), n_, out + static_cast<std::size_t>(s) * n_);
      }
    }
  }
}

void PartitionLikelihood::UpdateBranch(const FitTree& tree, int node) {
  const double t = tree.length[static_cast<std::size_t>(node)] * time_factor_;
  for (int c = 0; c < n_cat_; ++c) {
    const Eigen::VectorXd decay = (lambda_ * (rates_[c] * t)).array().exp().matrix();
    Map p(p_.data() + (static_cast<std::size_t>(node) * n_cat_ + c) * n_ * n_, n_, n_);
    p.noalias() = u_ * decay.asDiagonal() * u_inverse_;
    p = p.cwiseMax(0.0);
  }
}

void PartitionLikelihood::CarryUp(const FitTree& tree, int child, int category,
                                  const PatternChunk& chunk, bool kept, double* out) const {
  const double* below = Partials(child, category, chunk, kept);
  if (!tree.IsTip(child)) {
    CarryPartials(n_, P(child, category), below, chunk.count, out);
    return;
  }
  const int* states = TipStates(child, chunk);
  if (n_ == 4) return CarryTip<4, false>(P(child, category), states, below, chunk.count, out);
  CarryTip<16, false>(P(child, category), states, below, chunk.count, out);
}

void PartitionLikelihood::MultiplyCarried(const FitTree& tree, int child, int category,
                                          const PatternChunk& chunk, bool kept, double* out) const {
  const double* below = Partials(child, category, chunk, kept);
  if (!tree.IsTip(child)) return CarryPartialsInto(n_, P(child, category), below, chunk.count, out);
  const int* states = TipStates(child, chunk);
  if (n_ == 4) return CarryTip<4, true>(P(child, category), states, below, chunk.count, out);
  CarryTip<16, true>(P(child, category), states, below, chunk.count, out);
}

const int* PartitionLikelihood::TipStates(int tip, const PatternChunk& chunk) const {
  return tip_states_.data() +
         static_cast<std::size_t>(taxon_[static_cast<std::size_t>(tip)]) * patterns_.size() +
         chunk.first;
}

// Divides each pattern's entries (over all categories) by their largest,
// once that is small, and adds its log to the pattern's scale, so deep
// trees do not underflow.
void PartitionLikelihood::Normalise(double* vectors, double* scale,
                                    const PatternChunk& chunk) const {
  const std::size_t stride = static_cast<std::size_t>(patterns_.size()) * n_;
  std::array<double, kPatternChunk> largest;
  LargestEntries(n_, vectors, chunk.count, n_cat_, stride, largest.data());
  for (int s = 0; s < chunk.count; ++s) {
    if (largest[s] <= 0.0 || largest[s] >= kRescaleBelow) continue;
    double* first = vectors + static_cast<std::size_t>(s) * n_;
    const double factor = 1.0 / largest[s];
    for (int c = 0; c < n_cat_; ++c) {
      for (int i = 0; i < n_; ++i) first[c * stride + i] *= factor;
    }
    scale[chunk.first + s] += std::log(largest[s]);
  }
}

void PartitionLikelihood::Below(const FitTree& tree, int node, const PatternChunk& chunk,
                                bool kept) {
  const std::span<const int> children = tree.Children(node);
  for (int c = 0; c < n_cat_; ++c) {
    double* out = Partials(node, c, chunk, kept);
    CarryUp(tree, children[0], c, chunk, kept, out);
    for (const int child : children.subspan(1)) MultiplyCarried(tree, child, c, chunk, kept, out);
  }
  double* scale = Scale(node, kept);
  const double* first_scale = Scale(children[0], kept);
  std::copy_n(first_scale + chunk.first, chunk.count, scale + chunk.first);
  for (const int child : children.subspan(1)) {
    const double* child_scale = Scale(child, kept);
    for (int s = chunk.first; s < chunk.first + chunk.count; ++s) scale[s] += child_scale[s];
  }
  Normalise(Partials(node, 0, chunk, kept), scale, chunk);
}

void PartitionLikelihood::RecomputeBelow(const FitTree& tree, int node) {
  if (tree.IsTip(node)) return;
  chunks_.ForEach([&](const PatternChunk& chunk, int) { Below(tree, node, chunk, true); });
}

void PartitionLikelihood::UpdateBranches(const FitTree& tree) {
  for (int node = 1; node < tree.size(); ++node) UpdateBranch(tree, node);
}

double PartitionLikelihood::Evaluate(const FitTree& tree) {
  UpdateBranches(tree);
  // Each chunk of patterns climbs the whole tree on its own thread.
  chunks_.ForEach([&](const PatternChunk& chunk, int) {
    for (const int node : tree.children_first) Below(tree, node, chunk, true);
  });
  return LogLikelihoodAtRoot(true);
}

double PartitionLikelihood::LogLikelihood(const FitTree& tree) {
  UpdateBranches(tree);
  // The same products in the same order as Evaluate's, so the same lnL;
  // each slot holds one chunk's block per thread, in the chunk's patterns.
  chunks_.ForEach([&](const PatternChunk& chunk, int) {
    for (const int node : slots_.order) Below(tree, node, chunk, false);
  });
  return LogLikelihoodAtRoot(false);
}

double PartitionLikelihood::LogLikelihoodAfterPass(const FitTree& tree) {
  RecomputeBelow(tree, 0);
  return LogLikelihoodAtRoot(true);
}

void PartitionLikelihood::SetRootMessages(const FitTree& tree) {
  const int n_pat = patterns_.size();
  chunks_.ForEach([&](const PatternChunk& chunk, int) {
    for (const int child : tree.Children(0)) {
      // Above a child of the root: what its siblings send, each carried up
      // its own branch; the root frequencies come in at the branch.
      double* scale = up_scale_.data() + static_cast<std::size_t>(child) * n_pat;
      bool first = true;
      for (const int sibling : tree.Children(0)) {
        if (sibling == child) continue;
        for (int c = 0; c < n_cat_; ++c) {
          double* out = up_.data() + At(child, c, chunk);
          if (first) {
            CarryUp(tree, sibling, c, chunk, true, out);
          } else {
            MultiplyCarried(tree, sibling, c, chunk, true, out);
          }
        }
        const double* from = down_scale_.data() + static_cast<std::size_t>(sibling) * n_pat;
        for (int s = chunk.first; s < chunk.first + chunk.count; ++s) {
          scale[s] = first ? from[s] : scale[s] + from[s];
        }
        first = false;
      }
    }
  });
}

void PartitionLikelihood::PassUp(const FitTree& tree, int node, int child) {
  const int n_pat = patterns_.size();
  chunks_.ForEach([&](const PatternChunk& chunk, int) {
    for (int c = 0; c < n_cat_; ++c) {
      // The message above node carried down its branch: by reversibility
      // (pi_i P_ij = pi_j P_ji) it propagates exactly as a partial from below.
      double* out = up_.data() + At(child, c, chunk);
      CarryPartials(n_, P(node, c), up_.data() + At(node, c, chunk), chunk.count, out);
      for (const int sibling : tree.Children(node)) {
        if (sibling != child) MultiplyCarried(tree, sibling, c, chunk, true, out);
      }
    }
    double* scale = up_scale_.data() + static_cast<std::size_t>(child) * n_pat;
    for (int s = chunk.first; s < chunk.first + chunk.count; ++s) {
      scale[s] = up_scale_[static_cast<std::size_t>(node) * n_pat + s];
      for (const int sibling : tree.Children(node)) {
        if (sibling != child)
          scale[s] += down_scale_[static_cast<std::size_t>(sibling) * n_pat + s];
      }
    }
    Normalise(up_.data() + At(child, 0, chunk), scale, chunk);
  });
}

void PartitionLikelihood::PrepareBranch(int node) {
  const int n_pat = patterns_.size();
  chunks_.ForEach([&](const PatternChunk& chunk, int thread) {
    Map weighted(scratch_[static_cast<std::size_t>(thread)].data(), n_, chunk.count);
    for (int c = 0; c < n_cat_; ++c) {
      Map terms(terms_.data() + At(0, c, chunk), n_, chunk.count);
      weighted.noalias() =
          frequencies_.asDiagonal() * ConstMap(up_.data() + At(node, c, chunk), n_, chunk.count);
      CarryPartials(n_, u_transposed_.data(), weighted.data(), chunk.count, terms.data());
      CarryPartials(n_, u_inverse_.data(), down_.data() + At(node, c, chunk), chunk.count,
                    weighted.data());
      terms.array() *= weighted.array();
    }
    for (int s = chunk.first; s < chunk.first + chunk.count; ++s) {
      term_shift_[static_cast<std::size_t>(s)] =
          down_scale_[static_cast<std::size_t>(node) * n_pat + s] +
          up_scale_[static_cast<std::size_t>(node) * n_pat + s];
    }
  });
}

BranchDerivatives PartitionLikelihood::Derivatives(double length) const {
  // Per category and eigenvalue: d/dt of exp(rate t) brings down `rate`.
  Eigen::MatrixXd rate(n_, n_cat_), decay(n_, n_cat_);
  for (int c = 0; c < n_cat_; ++c) {
    rate.col(c) = lambda_ * (rates_[c] * time_factor_);
    decay.col(c) = (rate.col(c) * length).array().exp().matrix();
  }
  return chunks_.Sum<BranchDerivatives>([&](const PatternChunk& chunk) {
    BranchDerivatives part;
    for (int s = 0; s < chunk.count; ++s) {
      double l0 = 0.0, l1 = 0.0, l2 = 0.0;
      for (int c = 0; c < n_cat_; ++c) {
        const double* terms = terms_.data() + At(0, c, chunk) + static_cast<std::size_t>(s) * n_;
        for (int k = 0; k < n_; ++k) {
          const double term = terms[k] * decay(k, c);
          l0 += term;
          l1 += term * rate(k, c);
          l2 += term * rate(k, c) * rate(k, c);
        }
      }
      l0 = std::max(l0 / n_cat_, 1e-300);
      l1 /= n_cat_;
      l2 /= n_cat_;
      const std::size_t pattern = static_cast<std::size_t>(chunk.first + s);
      const double w = patterns_.weights[pattern];
      part.log_likelihood += w * (std::log(l0) + term_shift_[pattern]);
      part.first += w * l1 / l0;
      part.second += w * (l2 / l0 - (l1 / l0) * (l1 / l0));
    }
    return part;
  });
}

double PartitionLikelihood::LogLikelihoodAtRoot(bool kept) const {
  const double* scale = Scale(0, kept);
  return chunks_.Sum<double>([&](const PatternChunk& chunk) {
    double part = 0.0;
    for (int s = 0; s < chunk.count; ++s) {
      double sum = 0.0;
      for (int c = 0; c < n_cat_; ++c) {
        sum += frequencies_.dot(ConstMap(Partials(0, c, chunk, kept), n_, chunk.count).col(s));
      }
      const std::size_t pattern = static_cast<std::size_t>(chunk.first + s);
      part +=
          patterns_.weights[pattern] * (std::log(std::max(sum / n_cat_, 1e-300)) + scale[pattern]);
    }
    return part;
  });
}
