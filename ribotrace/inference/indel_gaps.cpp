#include "inference/indel_gaps.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <string>
#include <unordered_map>

#include "bailout/bailout.h"
#include "inference/golden_section.h"
#include "inference/likelihood_blocks.h"

namespace {

constexpr double kNoMass = -std::numeric_limits<double>::infinity();

double LogAdd(double a, double b) {
  if (a == kNoMass) return b;
  if (b == kNoMass) return a;
  const double top = std::max(a, b);
  return top + std::log1p(std::exp(-std::fabs(a - b)));
}

// The characters that show the same presence in every taxon share their
// figures: most columns of an alignment are present everywhere.
struct PatternGroup {
  std::vector<GapObservation> observed;
  std::vector<std::size_t> characters;
};

std::vector<PatternGroup> GroupPatterns(const GapCharacters& characters, int n_taxa) {
  std::vector<PatternGroup> groups;
  std::unordered_map<std::string, std::size_t> group_of;
  for (std::size_t c = 0; c < characters.size(); ++c) {
    std::string key(static_cast<std::size_t>(n_taxa), '\0');
    std::vector<GapObservation> observed(static_cast<std::size_t>(n_taxa));
    for (int t = 0; t < n_taxa; ++t) {
      observed[static_cast<std::size_t>(t)] = characters.Observed(t, c);
      key[static_cast<std::size_t>(t)] = static_cast<char>(observed[static_cast<std::size_t>(t)]);
    }
    const auto [at, added] = group_of.try_emplace(key, groups.size());
    if (added) groups.push_back({std::move(observed), {}});
    groups[at->second].characters.push_back(c);
  }
  return groups;
}

double NoneProbability(const IndelTree& tree, const IndelBranches& branches, int n_taxa) {
  const std::vector<GapObservation> none(static_cast<std::size_t>(n_taxa), GapObservation::kAbsent);
  return std::exp(IndelPattern(tree, branches, none).log_probability());
}

int CountTaxa(const GapCharacters& characters) {
  return characters.size() == 0 ? 0
                                : static_cast<int>(characters.observed.size() / characters.size());
}

}  // namespace

IndelTree::IndelTree(const std::vector<NodeStruct*>& down_pass) {
  std::unordered_map<const NodeStruct*, std::size_t> position;
  first_child_.push_back(0);
  for (const NodeStruct* node : down_pass) {
    position[node] = nodes_.size();
    nodes_.push_back(node);
    for (const NodeStruct* child : node->children) children_.push_back(position.at(child));
    first_child_.push_back(children_.size());
    const double length = node->anc != nullptr ? std::max(node->length, 0.0) : 0.0;
    length_.push_back(length);
    total_length_ += length;
  }
}

IndelBranches::IndelBranches(const IndelTree& tree, double rate) : mu(rate) {
  const std::size_t n = tree.size();
  log_keep.assign(n, 0.0);
  log_lost.assign(n, kNoMass);
  log_origin.assign(n, kNoMass);
  const double log_norm = std::log(tree.total_length() + 1.0 / mu);
  log_died = kNoMass;
  for (std::size_t v = 0; v < n; ++v) {
    const double t = tree.length(v);
    if (tree.is_root(v)) {
      log_origin[v] = -std::log(mu) - log_norm;
    } else if (t > 0.0) {
      log_keep[v] = -mu * t;
      log_lost[v] = std::log(-std::expm1(-mu * t));
      log_origin[v] = std::log(t) - log_norm + log_lost[v] - std::log(mu * t);
      const double died = 1.0 + std::expm1(-mu * t) / (mu * t);  // 1 - survival
      log_died = LogAdd(log_died, std::log(t) - log_norm + std::log(died));
    }
  }
}

IndelPattern::IndelPattern(const IndelTree& tree, const IndelBranches& branches,
                           const std::vector<GapObservation>& observed) {
  Down(tree, branches, observed);
  Up(tree, branches);
}

// Children before parents: the likelihood of the data below each node
// given that the node holds the character, then the sum over the origins
// above every taxon that holds it.
void IndelPattern::Down(const IndelTree& tree, const IndelBranches& branches,
                        const std::vector<GapObservation>& observed) {
  const std::size_t n = tree.size();
  present_below_.assign(n, 0);
  held_in_two_children_.assign(n, false);
  log_present_.assign(n, 0.0);
  may_be_absent_.assign(n, true);
  log_branch_.assign(n, kNoMass);
  for (std::size_t v = 0; v < n; ++v) {
    const std::size_t begin = tree.first_child_[v];
    const std::size_t end = tree.first_child_[v + 1];
    if (begin == end) {
      const GapObservation seen = observed[static_cast<std::size_t>(tree.nodes_[v]->taxon_index)];
      present_below_[v] = seen == GapObservation::kPresent ? 1 : 0;
      log_present_[v] = seen == GapObservation::kAbsent ? kNoMass : 0.0;
      may_be_absent_[v] = seen != GapObservation::kPresent;
      any_unknown_ = any_unknown_ || seen == GapObservation::kUnknown;
    } else {
      // The first child's figures, then each further child's in order.
      const std::size_t first = tree.children_[begin];
      int present = present_below_[first];
      int holding = present > 0 ? 1 : 0;  // children with a taxon below that holds it
      double log_present = log_branch_[first];
      for (std::size_t i = begin + 1; i < end; ++i) {
        const std::size_t c = tree.children_[i];
        present += present_below_[c];
        holding += present_below_[c] > 0 ? 1 : 0;
        log_present += log_branch_[c];
      }
      present_below_[v] = present;
      held_in_two_children_[v] = holding >= 2;
      log_present_[v] = log_present;
      may_be_absent_[v] = present == 0;  // no child holds it
    }
    // A branch of length 0 loses nothing (log_lost is no mass). Below a
    // taxon that holds the character the branch must keep it; below one
    // that shows nothing, kept or lost, it explains everything (log 1).
    if (!may_be_absent_[v]) {
      log_branch_[v] = branches.log_keep[v] + log_present_[v];
    } else if (log_present_[v] == 0.0 && begin == end) {
      log_branch_[v] = 0.0;
    } else {
      log_branch_[v] = LogAdd(branches.log_keep[v] + log_present_[v], branches.log_lost[v]);
    }
  }
  n_present_ = present_below_[n - 1];
  log_probability_ = kNoMass;
  for (std::size_t v = 0; v < n; ++v) {
    // An origin must lie above every taxon that holds the character.
    if (present_below_[v] == n_present_) {
      log_probability_ = LogAdd(log_probability_, branches.log_origin[v] + log_present_[v]);
    }
  }
  // A character that no taxon holds may also have died on the branch it
  // arose on, before reaching any node.
  if (n_present_ == 0) log_probability_ = LogAdd(log_probability_, branches.log_died);
}

// Parents before children: the probability of the data outside each
// node's subtree jointly with the node holding the character, from an
// origin above the node (through its parent, the siblings' subtrees
// explained) or on the node's own branch (nothing outside may hold it).
void IndelPattern::Up(const IndelTree& tree, const IndelBranches& branches) {
  const std::size_t n = tree.size();
  log_above_.assign(n, kNoMass);
  log_above_[n - 1] = branches.log_origin[n - 1];
  for (std::size_t v = n; v-- > 0;) {
    const std::size_t begin = tree.first_child_[v];
    const std::size_t end = tree.first_child_[v + 1];
    for (std::size_t i = begin; i < end; ++i) {
      const std::size_t child = tree.children_[i];
      // The siblings' subtrees explained, in their order.
      const std::size_t first = i == begin ? begin + 1 : begin;
      double siblings = log_branch_[tree.children_[first]];
      for (std::size_t j = first + 1; j < end; ++j) {
        if (j != i) siblings += log_branch_[tree.children_[j]];
      }
      const double through = log_above_[v] + branches.log_keep[child] + siblings;
      const bool nothing_outside = present_below_[child] == n_present_;
      log_above_[child] = LogAdd(through, nothing_outside ? branches.log_origin[child] : kNoMass);
    }
  }
}

double IndelPattern::Absence(std::size_t v) const {
  // On the path between two taxa that hold it: below two of its children, or
  // below it and elsewhere.
  const int below = present_below_[v];
  if (held_in_two_children_[v] || (below > 0 && below < n_present_)) return 0.0;
  // A column that every taxon lacks is outside the process (an alignment
  // shows only characters that some taxon holds): absent everywhere, as
  // the two-state model fixes it.
  if (n_present_ == 0 && !any_unknown_) return 1.0;
  if (log_probability_ == kNoMass) return 0.0;
  const double present = std::exp(log_above_[v] + log_present_[v] - log_probability_);
  return std::clamp(1.0 - present, 0.0, 1.0);
}

namespace {

// The log-likelihood of the alignment's characters (grouped by pattern) at
// mu, lambda at its maximum given mu: the number of characters is
// Poisson with mean lambda x (tree length + 1/mu) x (1 - p_none), p_none
// the probability that no taxon shows a character (which an alignment
// cannot contain); at its maximum over lambda that term is
// m log(m / (1 - p_none)) - m, up to terms free of the rates.
double LogLikelihood(const IndelTree& tree, const std::vector<PatternGroup>& groups,
                     std::size_t n_characters, int n_taxa, double mu) {
  const IndelBranches branches(tree, mu);
  double log_likelihood = 0.0;
  for (const PatternGroup& group : groups) {
    const IndelPattern pattern(tree, branches, group.observed);
    log_likelihood += static_cast<double>(group.characters.size()) * pattern.log_probability();
  }
  const double p_none = NoneProbability(tree, branches, n_taxa);
  const auto m = static_cast<double>(n_characters);
  if (m == 0.0 || !(p_none < 1.0)) return log_likelihood;
  return log_likelihood + m * (std::log(m) - std::log1p(-p_none) - 1.0);
}

}  // namespace

IndelRates FitIndelRates(const std::vector<NodeStruct*>& down_pass,
                         const GapCharacters& characters) {
  const IndelTree tree(down_pass);
  const int n_taxa = CountTaxa(characters);
  const std::vector<PatternGroup> groups = GroupPatterns(characters, n_taxa);
  const auto log_likelihood = [&](double log_mu) {
    return LogLikelihood(tree, groups, characters.size(), n_taxa, std::exp(log_mu));
  };
  const double low = std::log(kMinDeletionRate);
  const double step = std::log(10.0);
  const int n_points = static_cast<int>(std::lround((std::log(kMaxDeletionRate) - low) / step)) + 1;
  int best = 0;
  double best_f = kNoMass;
  for (int i = 0; i < n_points; ++i) {
    const double f = log_likelihood(low + i * step);
    if (f > best_f) {
      best = i;
      best_f = f;
    }
  }
  if (!std::isfinite(best_f)) {
    Fail(
        "ReconstructGaps Error: The gaps of the data have probability 0 under insertions and "
        "deletions on this tree at every rate: taxa that differ in a gap are joined by branches "
        "of length 0. Use --gaps=column.");
  }
  double best_x = low + best * step;
  const bool at_bound = best == 0 || best == n_points - 1;
  // A relative precision of 1e-4 in mu: far below what the data determine.
  if (!at_bound) {
    GoldenSection(log_likelihood, best_x - step, best_x + step, 1e-4, &best_x, &best_f);
  }
  IndelRates rates;
  rates.deletion = std::exp(best_x);
  rates.log_likelihood = best_f;
  rates.at_bound = at_bound;
  const double p_none = NoneProbability(tree, IndelBranches(tree, rates.deletion), n_taxa);
  rates.insertion = static_cast<double>(characters.size()) /
                    ((tree.total_length() + 1.0 / rates.deletion) * (1.0 - p_none));
  return rates;
}

GapPosteriors GetIndelPosteriors(const std::vector<NodeStruct*>& down_pass,
                                 const GapCharacters& characters, double mu) {
  const IndelTree tree(down_pass);
  const IndelBranches branches(tree, mu);
  GapPosteriors posteriors(down_pass, characters.size());
  for (const PatternGroup& group : GroupPatterns(characters, CountTaxa(characters))) {
    const IndelPattern pattern(tree, branches, group.observed);
    for (std::size_t v = 0; v < down_pass.size(); ++v) {
      if (!IsInteriorBelowRoot(*down_pass[v])) continue;
      const double absent = pattern.Absence(v);
      double* row = posteriors.OfNode(*down_pass[v]);
      for (const std::size_t c : group.characters) row[c] = absent;
    }
  }
  return posteriors;
}
