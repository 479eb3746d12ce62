#include "evolution.h"

#include <algorithm>
#include <stdexcept>

#include "discrete_gamma.h"

namespace sim {
namespace {

int DrawCumulative(const std::vector<double>& cumulative, std::mt19937_64& rng) {
  const double u = std::uniform_real_distribution<double>(0.0, cumulative.back())(rng);
  const auto it = std::upper_bound(cumulative.begin(), cumulative.end(), u);
  return static_cast<int>(std::min<std::ptrdiff_t>(it - cumulative.begin(), cumulative.size() - 1));
}

std::vector<double> Cumulative(const std::vector<double>& weights) {
  std::vector<double> sums(weights.size());
  double sum = 0.0;
  for (std::size_t i = 0; i < weights.size(); ++i) sums[i] = sum += weights[i];
  return sums;
}

Character NewCharacter(bool stem, double indel_rate, std::mt19937_64& rng) {
  Character c;
  c.stem = stem;
  c.indel_rate = indel_rate;
  c.order = std::uniform_real_distribution<double>(0.0, 1.0)(rng);
  return c;
}

// The branch (by its lower node) and the point on it of a place drawn
// uniformly over the tree's length.
std::pair<int, double> UniformPlace(const Tree& tree, const std::vector<double>& cumulative,
                                    std::mt19937_64& rng) {
  const int node = DrawCumulative(cumulative, rng);
  const double length = tree.nodes[node].length;
  return {node, std::uniform_real_distribution<double>(0.0, length)(rng)};
}

std::vector<Character> IndelOrigins(const Tree& tree, const IndelParameters& indels,
                                    std::mt19937_64& rng) {
  if (!(indels.insertion_rate > 0.0))
    throw std::invalid_argument("the insertion rate must be positive");
  const std::vector<double> rates = indels.shape > 0.0
                                        ? DiscreteGammaRates(indels.shape, indels.categories)
                                        : std::vector<double>{1.0};
  std::vector<double> lengths;
  for (const TreeNode& node : tree.nodes) lengths.push_back(node.length);
  const std::vector<double> cumulative = Cumulative(lengths);
  std::bernoulli_distribution is_stem(indels.stem_share);
  const double classes = static_cast<double>(rates.size());
  std::vector<Character> out;
  for (double rate : rates) {
    std::poisson_distribution<int> at_root(indels.insertion_rate / indels.deletion_rate / classes);
    for (int n = at_root(rng); n > 0; --n) out.push_back(NewCharacter(is_stem(rng), rate, rng));
    std::poisson_distribution<int> inserted(indels.insertion_rate * rate * tree.TotalLength() /
                                            classes);
    for (int n = inserted(rng); n > 0; --n) {
      Character c = NewCharacter(is_stem(rng), rate, rng);
      std::tie(c.origin, c.offset) = UniformPlace(tree, cumulative, rng);
      out.push_back(c);
    }
  }
  return out;
}

}  // namespace

JumpChain::JumpChain(const Eigen::MatrixXd& q, const std::vector<double>& frequencies)
    : stationary_cumulative_(Cumulative(frequencies)) {
  for (Eigen::Index i = 0; i < q.rows(); ++i) {
    exit_.push_back(-q(i, i));
    std::vector<double> row(q.cols());
    for (Eigen::Index j = 0; j < q.cols(); ++j) row[j] = i == j ? 0.0 : q(i, j);
    jump_cumulative_.push_back(Cumulative(row));
  }
}

int JumpChain::DrawStationary(std::mt19937_64& rng) const {
  return DrawCumulative(stationary_cumulative_, rng);
}

int JumpChain::Evolve(int state, double time, std::mt19937_64& rng, int& jumps) const {
  for (;;) {
    time -= std::exponential_distribution<double>(exit_[state])(rng);
    if (time < 0.0) return state;
    state = DrawCumulative(jump_cumulative_[state], rng);
    ++jumps;
  }
}

std::vector<Character> DrawOrigins(const Tree& tree, const IndelParameters& indels, int stems,
                                   int loops, std::mt19937_64& rng) {
  std::vector<Character> out;
  if (indels.deletion_rate > 0.0) {
    out = IndelOrigins(tree, indels, rng);
  } else {
    for (int i = 0; i < stems + loops; ++i) out.push_back(NewCharacter(i < stems, 0.0, rng));
  }
  if (indels.deletion_rate > 0.0 && indels.anchors) {
    // Ends that no taxon lacks: a gap before a taxon's first residue would
    // otherwise be read as a truncated sequence, not as a deletion.
    for (double order : {-1.0, 2.0}) {
      Character anchor = NewCharacter(false, 0.0, rng);
      anchor.anchor = true;
      anchor.order = order;
      out.push_back(anchor);
    }
  }
  return out;
}

void EvolveCharacters(const Tree& tree, const ModelParameters& model, const IndelParameters& indels,
                      std::vector<Character>& characters, std::mt19937_64& rng) {
  const JumpChain doublets(DoubletRateMatrix(model.stems), model.stems.frequencies);
  const JumpChain nucleotides(NucleotideRateMatrix(model.loops), model.loops.frequencies);
  auto category_rates = [&](const PartitionParameters& part) {
    return part.alpha > 0.0 ? DiscreteGammaRates(part.alpha, model.gamma_categories)
                            : std::vector<double>{1.0};
  };
  const std::vector<double> stem_rates = category_rates(model.stems);
  const std::vector<double> loop_rates = category_rates(model.loops);
  const int n = static_cast<int>(tree.nodes.size());
  for (Character& c : characters) {
    const std::vector<double>& rates = c.stem ? stem_rates : loop_rates;
    const double multiplier = c.stem ? model.stems.multiplier : model.loops.multiplier;
    c.sub_rate =
        rates[std::uniform_int_distribution<std::size_t>(0, rates.size() - 1)(rng)] * multiplier;
    // Branch lengths count changes per nucleotide: a pair runs twice as long.
    const double time_scale = c.sub_rate * (c.stem ? 2.0 : 1.0);
    const JumpChain& chain = c.stem ? doublets : nucleotides;
    const double deletion = c.indel_rate * indels.deletion_rate;
    c.state.assign(n, -1);
    c.subs.assign(n, 0);
    if (c.origin == 0) c.state[0] = chain.DrawStationary(rng);
    for (int v = 1; v < n; ++v) {
      const int parent_state = c.state[tree.nodes[v].parent];
      const bool born_here = c.origin == v;
      if (parent_state < 0 && !born_here) continue;
      const int start = born_here ? chain.DrawStationary(rng) : parent_state;
      const double span = tree.nodes[v].length - (born_here ? c.offset : 0.0);
      const double lifetime =
          deletion > 0.0 ? std::exponential_distribution<double>(deletion)(rng) : span + 1.0;
      const int end = chain.Evolve(start, std::min(lifetime, span) * time_scale, rng, c.subs[v]);
      c.state[v] = lifetime < span ? -1 : end;
    }
  }
}

}  // namespace sim
