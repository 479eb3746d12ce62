#include "run/run_report.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <span>
#include <string>
#include <vector>

#include "inference/likelihood_blocks.h"
#include "inference/node_posteriors.h"
#include "io/node_tables.h"
#include "io/tree_output.h"
#include "tree/polytomies.h"

namespace {

std::string Shortest(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%g", value);
  return text;
}

void AddRunValues(ReportData& data, const RunValues& values) {
  data.title = values.out_file;
  data.inputs = {{"data file", values.data_file},
                 {"tree file", values.tree_file},
                 {"parameter file", values.param_file},
                 {"results", values.out_file}};
  data.mode = values.marginal ? "exact marginal posteriors" : "classic (--classic)";
  data.values = {{"is_harmonic", std::to_string(values.is_harmonic)},
                 {"lambda", Shortest(values.lambda)},
                 {"n_samples", std::to_string(values.n_samples)},
                 {"include_data", std::to_string(values.include_data)},
                 {"condition_on_pairs", std::to_string(values.condition_on_pairs)}};
  if (!values.outgroup.empty()) {
    std::string outgroup;
    for (const std::string& name : values.outgroup)
      outgroup += (outgroup.empty() ? "" : ",") + name;
    data.values.emplace_back("outgroup", outgroup);
  }
}

// The node's most probable sequence, every column's four probabilities
// quantised, and the mean posterior of the bases of that sequence.
ReportNode SummariseNode(const NodePosteriors& posteriors, int index,
                         const std::vector<double>& p_gap, std::vector<int>& states) {
  const std::size_t n_sites = posteriors.layout().n_sites();
  ReportNode node;
  node.index = index;
  node.states.resize(n_sites);
  node.probabilities.resize(4 * n_sites);
  MostProbableSequence(posteriors, states);
  double confidence = 0.0;
  for (std::size_t c = 0; c < n_sites; ++c) {
    const std::array<double, 4> p = NucleotideMarginals(posteriors, c);
    for (std::size_t b = 0; b < 4; ++b) node.probabilities[4 * c + b] = QuantisedProbability(p[b]);
    const int state = states[c];
    node.states[c] = state >= 0 ? "ACGU"[state] : 'N';
    confidence += state >= 0 ? p[static_cast<std::size_t>(state)] : 0.0;
  }
  // The base shown stays the most probable one; the rows whose pairs are
  // counted have gaps, as the most probable sequences do.
  for (std::size_t c = 0; c < n_sites; ++c) {
    if (p_gap[c] > 0.5) states[c] = kGapState;
  }
  node.mean_confidence = n_sites > 0 ? confidence / static_cast<double>(n_sites) : 0.0;
  return node;
}

}  // namespace

RunReport::RunReport(const Alignment& alignment, const std::vector<SiteRecord>& SS,
                     std::vector<ReportTreeNode> tree, const std::vector<ReportNodeSource>& nodes,
                     const RunValues& values, std::int32_t seed) {
  Gather(alignment, SS, std::move(tree), nodes);
  AddRunValues(data_, values);
  data_.seed = seed;
}

void RunReport::Gather(const Alignment& alignment, const std::vector<SiteRecord>& SS,
                       std::vector<ReportTreeNode> tree,
                       const std::vector<ReportNodeSource>& nodes) {
  data_.n_taxa = alignment.n_taxa;
  data_.tree = std::move(tree);

  const PosteriorLayout layout(alignment.structure, SS);
  const std::size_t n_sites = layout.n_sites();
  data_.partners.resize(n_sites);
  for (std::size_t c = 0; c < n_sites; ++c) {
    data_.partners[c] = layout.Partner(c);
    data_.n_stem_pairs += layout.IsOpening(c) ? 1 : 0;
    data_.n_loop_columns += layout.IsStem(c) ? 0 : 1;
  }
  data_.has_stems = data_.n_stem_pairs > 0;
  data_.helices = FindHelices(data_.partners);

  CanonicalPairCounter observed(data_.helices);
  for (int t = 0; t < alignment.n_taxa; ++t) {
    observed.AddRow(std::span<const int>(alignment.dmatrix)
                        .subspan(static_cast<std::size_t>(t) * n_sites, n_sites));
  }
  CanonicalPairCounter most_probable(data_.helices);
  std::vector<int> states(n_sites);
  for (const ReportNodeSource& node : nodes) {
    data_.nodes.push_back(
        SummariseNode(NodePosteriors(node.posteriors, layout), node.index, node.p_gap, states));
    most_probable.AddRow(states);
  }
  std::sort(data_.nodes.begin(), data_.nodes.end(),
            [](const ReportNode& a, const ReportNode& b) { return a.index < b.index; });
  data_.covariation[0] = observed.tallies();
  data_.covariation[1] = most_probable.tallies();
  sampled_ = {CanonicalPairCounter(data_.helices), CanonicalPairCounter(data_.helices)};
}

void RunReport::Write(SafeOutputFile& file) {
  data_.covariation[2] = sampled_.sampled.tallies();
  data_.covariation[3] = sampled_.hidden.tallies();
  WriteReport(data_, file);
}
