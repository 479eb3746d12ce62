#include "fit/partition_likelihood.h"

#include <algorithm>
#include <cmath>

#include "bailout/bailout.h"

PartitionLikelihood::PartitionLikelihood(const SitePatterns& patterns, const FitTree& tree)
    : patterns_(patterns), n_(patterns.n_states) {
  down_scale_.assign(static_cast<std::size_t>(tree.size()) * patterns.size(), 0.0);
  up_scale_ = down_scale_;
}

std::size_t PartitionLikelihood::Vec(int node) const {
  return static_cast<std::size_t>(node) * n_cat_ * patterns_.size() * n_;
}

void PartitionLikelihood::SetModel(const SubstitutionModel& model,
                                   std::vector<double> category_rates, double time_factor) {
  if (model.complex()) Fail("The fitted rate matrix has complex eigenvalues.");
  const EigenSet& e = model.eigens();
  frequencies_.assign(model.frequencies().begin(), model.frequencies().end());
  lambda_.assign(e.lambda_real.data(), e.lambda_real.data() + n_);
  u_.resize(static_cast<std::size_t>(n_) * n_);
  u_inverse_.resize(u_.size());
  for (int i = 0; i < n_; ++i) {
    for (int k = 0; k < n_; ++k) {
      u_[static_cast<std::size_t>(i * n_ + k)] = e.u(i, k);
      u_inverse_[static_cast<std::size_t>(k * n_ + i)] = e.u_inverse(k, i);
    }
  }
  time_factor_ = time_factor;
  const bool resize = static_cast<int>(category_rates.size()) != n_cat_ || down_.empty();
  rates_ = std::move(category_rates);
  n_cat_ = static_cast<int>(rates_.size());
  if (!resize) return;
  const std::size_t n_nodes = down_scale_.size() / std::max(1, patterns_.size());
  down_.assign(n_nodes * n_cat_ * patterns_.size() * n_, 0.0);
  up_ = down_;
  p_.assign(n_nodes * n_cat_ * n_ * n_, 0.0);
}

void PartitionLikelihood::UpdateBranch(const FitTree& tree, int node) {
  const double t = tree.length[static_cast<std::size_t>(node)] * time_factor_;
  for (int c = 0; c < n_cat_; ++c) {
    double* p = p_.data() + (static_cast<std::size_t>(node) * n_cat_ + c) * n_ * n_;
    std::vector<double> decay(static_cast<std::size_t>(n_));
    for (int k = 0; k < n_; ++k) decay[k] = std::exp(lambda_[k] * rates_[c] * t);
    for (int i = 0; i < n_; ++i) {
      for (int j = 0; j < n_; ++j) {
        double sum = 0.0;
        for (int k = 0; k < n_; ++k) sum += u_[i * n_ + k] * decay[k] * u_inverse_[k * n_ + j];
        p[i * n_ + j] = std::max(sum, 0.0);
      }
    }
  }
}

void PartitionLikelihood::Propagate(int node, std::vector<double>& out) const {
  const int n_pat = patterns_.size();
  out.resize(static_cast<std::size_t>(n_cat_) * n_pat * n_);
  const double* below = down_.data() + Vec(node);
  for (int c = 0; c < n_cat_; ++c) {
    const double* p = p_.data() + (static_cast<std::size_t>(node) * n_cat_ + c) * n_ * n_;
    for (int s = 0; s < n_pat; ++s) {
      const std::size_t at = (static_cast<std::size_t>(c) * n_pat + s) * n_;
      for (int i = 0; i < n_; ++i) {
        double sum = 0.0;
        for (int j = 0; j < n_; ++j) sum += p[i * n_ + j] * below[at + j];
        out[at + i] = sum;
      }
    }
  }
}

// Divides each pattern's entries (over all categories) by their largest and
// adds its log to the pattern's scale, so deep trees do not underflow.
void PartitionLikelihood::Normalise(double* vectors, double* scale) const {
  const int n_pat = patterns_.size();
  for (int s = 0; s < n_pat; ++s) {
    double largest = 0.0;
    for (int c = 0; c < n_cat_; ++c) {
      const double* v = vectors + (static_cast<std::size_t>(c) * n_pat + s) * n_;
      for (int i = 0; i < n_; ++i) largest = std::max(largest, v[i]);
    }
    if (largest <= 0.0) continue;
    for (int c = 0; c < n_cat_; ++c) {
      double* v = vectors + (static_cast<std::size_t>(c) * n_pat + s) * n_;
      for (int i = 0; i < n_; ++i) v[i] /= largest;
    }
    scale[s] += std::log(largest);
  }
}

void PartitionLikelihood::RecomputeBelow(const FitTree& tree, int node) {
  const int n_pat = patterns_.size();
  double* out = down_.data() + Vec(node);
  double* scale = down_scale_.data() + static_cast<std::size_t>(node) * n_pat;
  const int l = tree.left[static_cast<std::size_t>(node)];
  if (l < 0) {
    const int taxon = tree.taxon[static_cast<std::size_t>(node)];
    for (int c = 0; c < n_cat_; ++c) {
      for (int s = 0; s < n_pat; ++s) {
        std::copy_n(patterns_.Tip(s, taxon), n_, out + (static_cast<std::size_t>(c) * n_pat + s) * n_);
      }
    }
    std::fill_n(scale, n_pat, 0.0);
    return;
  }
  const int r = tree.right[static_cast<std::size_t>(node)];
  Propagate(l, g_left_);
  Propagate(r, g_right_);
  for (std::size_t i = 0; i < g_left_.size(); ++i) out[i] = g_left_[i] * g_right_[i];
  for (int s = 0; s < n_pat; ++s) {
    scale[s] = down_scale_[static_cast<std::size_t>(l) * n_pat + s] +
               down_scale_[static_cast<std::size_t>(r) * n_pat + s];
  }
  Normalise(out, scale);
}

void PartitionLikelihood::SetRootMessages(const FitTree& tree) {
  const int n_pat = patterns_.size();
  const int children[2] = {tree.left[0], tree.right[0]};
  for (int side = 0; side < 2; ++side) {
    const int child = children[side], other = children[1 - side];
    Propagate(other, g_left_);
    std::copy(g_left_.begin(), g_left_.end(), up_.begin() + static_cast<std::ptrdiff_t>(Vec(child)));
    std::copy_n(down_scale_.begin() + static_cast<std::ptrdiff_t>(other) * n_pat, n_pat,
                up_scale_.begin() + static_cast<std::ptrdiff_t>(child) * n_pat);
  }
}

void PartitionLikelihood::PassUp(const FitTree& tree, int node, int child) {
  const int n_pat = patterns_.size();
  const int sibling = tree.left[static_cast<std::size_t>(node)] == child
                          ? tree.right[static_cast<std::size_t>(node)]
                          : tree.left[static_cast<std::size_t>(node)];
  Propagate(sibling, g_left_);
  // The message above node carried down its branch: by reversibility
  // (pi_i P_ij = pi_j P_ji) it propagates exactly as a partial from below.
  const double* above = up_.data() + Vec(node);
  double* out = up_.data() + Vec(child);
  for (int c = 0; c < n_cat_; ++c) {
    const double* p = p_.data() + (static_cast<std::size_t>(node) * n_cat_ + c) * n_ * n_;
    for (int s = 0; s < n_pat; ++s) {
      const std::size_t at = (static_cast<std::size_t>(c) * n_pat + s) * n_;
      for (int j = 0; j < n_; ++j) {
        double sum = 0.0;
        for (int i = 0; i < n_; ++i) sum += p[j * n_ + i] * above[at + i];
        out[at + j] = sum * g_left_[at + j];
      }
    }
  }
  double* scale = up_scale_.data() + static_cast<std::size_t>(child) * n_pat;
  for (int s = 0; s < n_pat; ++s) {
    scale[s] = up_scale_[static_cast<std::size_t>(node) * n_pat + s] +
               down_scale_[static_cast<std::size_t>(sibling) * n_pat + s];
  }
  Normalise(out, scale);
}

BranchDerivatives PartitionLikelihood::Derivatives(int node, double length) const {
  const int n_pat = patterns_.size();
  const double* above = up_.data() + Vec(node);
  const double* below = down_.data() + Vec(node);
  BranchDerivatives result;
  std::vector<double> a(n_), b(n_), e(n_);
  for (int s = 0; s < n_pat; ++s) {
    double l0 = 0.0, l1 = 0.0, l2 = 0.0;
    for (int c = 0; c < n_cat_; ++c) {
      const std::size_t at = (static_cast<std::size_t>(c) * n_pat + s) * n_;
      const double speed = rates_[c] * time_factor_;
      for (int k = 0; k < n_; ++k) {
        double ak = 0.0, bk = 0.0;
        for (int i = 0; i < n_; ++i) {
          ak += frequencies_[i] * above[at + i] * u_[i * n_ + k];
          bk += u_inverse_[k * n_ + i] * below[at + i];
        }
        const double term = ak * bk * std::exp(lambda_[k] * speed * length);
        const double rate = lambda_[k] * speed;
        l0 += term;
        l1 += term * rate;
        l2 += term * rate * rate;
      }
    }
    l0 = std::max(l0 / n_cat_, 1e-300);
    l1 /= n_cat_;
    l2 /= n_cat_;
    const double w = patterns_.weights[static_cast<std::size_t>(s)];
    const double shift = down_scale_[static_cast<std::size_t>(node) * n_pat + s] +
                         up_scale_[static_cast<std::size_t>(node) * n_pat + s];
    result.log_likelihood += w * (std::log(l0) + shift);
    result.first += w * l1 / l0;
    result.second += w * (l2 / l0 - (l1 / l0) * (l1 / l0));
  }
  return result;
}

double PartitionLikelihood::Evaluate(const FitTree& tree) {
  for (int node = tree.size() - 1; node >= 0; --node) {
    if (node != 0) UpdateBranch(tree, node);
    RecomputeBelow(tree, node);
  }
  return RootLogLikelihood(tree);
}

double PartitionLikelihood::RootLogLikelihood(const FitTree& tree) {
  (void)tree;
  const int n_pat = patterns_.size();
  const double* root = down_.data() + Vec(0);
  double total = 0.0;
  for (int s = 0; s < n_pat; ++s) {
    double sum = 0.0;
    for (int c = 0; c < n_cat_; ++c) {
      const double* v = root + (static_cast<std::size_t>(c) * n_pat + s) * n_;
      for (int i = 0; i < n_; ++i) sum += frequencies_[i] * v[i];
    }
    total += patterns_.weights[static_cast<std::size_t>(s)] *
             (std::log(std::max(sum / n_cat_, 1e-300)) + down_scale_[static_cast<std::size_t>(s)]);
  }
  return total;
}
