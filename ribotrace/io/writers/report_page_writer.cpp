// out_file.html: the report page. Each unit's most probable sequence and
// quantised posteriors are taken as the unit is handed over (before drawing
// rows conditions the posteriors); the pairs of the drawn rows, the branch
// figures and the run's own values at the end.
#include <algorithm>
#include <array>
#include <map>
#include <span>
#include <string_view>
#include <vector>

#include "inference/likelihood_blocks.h"
#include "inference/node_posteriors.h"
#include "io/node_tables.h"
#include "io/report_writer.h"
#include "io/writers/writers.h"

namespace {

// The node's most probable sequence, every column's four probabilities
// quantised, and the mean posterior of the bases of that sequence; `states`
// is left with the sequence that .map.fa writes (gaps where p_gap > 0.5).
ReportNode SummariseNode(const UnitResult& unit, std::vector<int>& states) {
  const std::size_t n_sites = unit.posteriors.layout().n_sites();
  ReportNode node;
  node.index = unit.report_index;
  node.states.resize(n_sites);
  node.probabilities.resize(4 * n_sites);
  MostProbableSequence(unit.posteriors, states);
  double confidence = 0.0;
  for (std::size_t c = 0; c < n_sites; ++c) {
    const std::array<double, 4> p = NucleotideMarginals(unit.posteriors, c);
    for (std::size_t b = 0; b < 4; ++b) node.probabilities[4 * c + b] = QuantisedProbability(p[b]);
    const int state = states[c];
    node.states[c] = state >= 0 ? "ACGU"[state] : 'N';
    confidence += state >= 0 ? p[static_cast<std::size_t>(state)] : 0.0;
  }
  // The base shown stays the most probable one; the rows whose pairs are
  // counted have gaps, as the most probable sequences do.
  for (std::size_t c = 0; c < n_sites; ++c) {
    if (unit.p_gap[c] > 0.5) states[c] = kGapState;
  }
  node.mean_confidence = n_sites > 0 ? confidence / static_cast<double>(n_sites) : 0.0;
  return node;
}

// Each branch's expected compensatory changes, over the whole branch and
// per helix, for the page's tree (matched by name: the page's tree names
// its nodes as the tables do) and its list of the busiest branches.
ReportChanges ChangesForReport(std::span<const ChangeBranch> branches, const ReportData& data,
                               const BlockLayout& layout) {
  constexpr std::size_t kListed = 5;
  std::map<std::string_view, int> index_of;
  for (std::size_t i = 0; i < data.tree.size(); ++i)
    index_of[data.tree[i].name] = static_cast<int>(i);
  std::vector<int> helix_of(data.partners.size(), -1);
  for (std::size_t h = 0; h < data.helices.size(); ++h) {
    for (int k = 0; k < data.helices[h].n_pairs; ++k) {
      helix_of[static_cast<std::size_t>(data.helices[h].first5 + k)] = static_cast<int>(h);
    }
  }
  ReportChanges report{std::vector<double>(data.tree.size(), -1.0),
                       std::vector<std::vector<std::pair<int, double>>>(data.helices.size())};
  for (const ChangeBranch& branch : branches) {
    const auto found = index_of.find(branch.name);
    if (found == index_of.end()) continue;
    std::vector<double> by_helix(data.helices.size(), 0.0);
    for (int b = 0; b < layout.n_blocks(); ++b) {
      const int helix = helix_of[static_cast<std::size_t>(layout.Column(b))];
      if (!layout.IsDoublet(b) || helix < 0) continue;
      const auto block = static_cast<std::size_t>(b);
      by_helix[static_cast<std::size_t>(helix)] +=
          branch.figures[block].p_cbc * branch.present[block];
    }
    double total = 0.0;
    for (std::size_t h = 0; h < by_helix.size(); ++h) {
      total += by_helix[h];
      report.helix_top[h].emplace_back(found->second, by_helix[h]);
    }
    report.branch_cbc[static_cast<std::size_t>(found->second)] = total;
  }
  for (auto& top : report.helix_top) {
    std::stable_sort(top.begin(), top.end(),
                     [](const auto& a, const auto& b) { return a.second > b.second; });
    // A branch with next to no expected change in the helix is no lead.
    std::erase_if(top, [](const auto& entry) { return entry.second < 0.005; });
    top.resize(std::min(top.size(), kListed));
  }
  return report;
}

class ReportPageWriter : public OutputWriter {
 public:
  ReportPageWriter(SafeOutputFile& file, const AnalysedData& data);
  void Unit(const UnitResult& unit) override;
  void End(const RunResults& results) override;

 private:
  SafeOutputFile& file_;
  AnalysedData data_;
  ReportData page_;
  CanonicalPairCounter most_probable_;
  std::vector<int> states_;
};

ReportPageWriter::ReportPageWriter(SafeOutputFile& file, const AnalysedData& data)
    : file_(file), data_(data) {
  const Alignment& alignment = data.alignment;
  const PosteriorLayout layout(alignment.structure, data.SS);
  const std::size_t n_sites = layout.n_sites();
  page_.n_taxa = alignment.n_taxa;
  page_.partners.resize(n_sites);
  for (std::size_t c = 0; c < n_sites; ++c) {
    page_.partners[c] = layout.Partner(c);
    page_.n_stem_pairs += layout.IsOpening(c) ? 1 : 0;
    page_.n_loop_columns += layout.IsStem(c) ? 0 : 1;
  }
  page_.has_stems = page_.n_stem_pairs > 0;
  page_.helices = FindHelices(page_.partners);
  CanonicalPairCounter observed(page_.helices);
  for (int t = 0; t < alignment.n_taxa; ++t) {
    observed.AddRow(std::span<const int>(alignment.dmatrix)
                        .subspan(static_cast<std::size_t>(t) * n_sites, n_sites));
  }
  page_.covariation[0] = observed.tallies();
  most_probable_ = CanonicalPairCounter(page_.helices);
  states_.resize(n_sites);
}

void ReportPageWriter::Unit(const UnitResult& unit) {
  page_.nodes.push_back(SummariseNode(unit, states_));
  most_probable_.AddRow(states_);
}

void ReportPageWriter::End(const RunResults& results) {
  static_cast<ReportRun&>(page_) = *results.report;
  page_.tree.assign(results.report_tree.begin(), results.report_tree.end());
  std::sort(page_.nodes.begin(), page_.nodes.end(),
            [](const ReportNode& a, const ReportNode& b) { return a.index < b.index; });
  page_.covariation[1] = most_probable_.tallies();
  page_.covariation[2] = results.sampled_pairs->sampled.tallies();
  page_.covariation[3] = results.sampled_pairs->hidden.tallies();
  if (results.branches) {
    page_.changes =
        ChangesForReport(*results.branches, page_, BlockLayout(data_.alignment.structure));
  }
  WriteReport(page_, file_);
}

}  // namespace

std::unique_ptr<OutputWriter> MakeReportWriter(SafeOutputFile& file, const AnalysedData& data) {
  return std::make_unique<ReportPageWriter>(file, data);
}
