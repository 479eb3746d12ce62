#include "run/node_files.h"

#include <optional>
#include <string>
#include <vector>

#include "inference/likelihood_blocks.h"
#include "inference/node_posteriors.h"
#include "io/node_tables.h"

namespace {

void AddNodeRows(const NodePosteriors& posteriors, const std::string& name,
                 const std::vector<double>& p_gap, StateTable* sites, PairTable* pairs) {
  const PosteriorLayout& layout = posteriors.layout();
  for (std::size_t c = 0; c < layout.n_sites(); ++c) {
    const std::size_t partner = layout.IsStem(c) ? static_cast<std::size_t>(layout.Partner(c)) : 0;
    const std::span<const double> extra(&p_gap[c], 1);
    if (sites != nullptr) {
      const std::array<double, 4> p = NucleotideMarginals(posteriors, c);
      sites->Add({name, c + 1, MostProbable(p), p, layout.IsStem(c) ? partner + 1 : 0}, extra);
    }
    if (pairs != nullptr && layout.IsOpening(c)) {
      const std::span<const double, 16> p = posteriors.Doublets(c);
      pairs->Add({name, c + 1, partner + 1, MostProbable(p), p}, extra);
    }
  }
}

}  // namespace

NodeRecordWriter::NodeRecordWriter(ResultsFiles& files) : files_(files) {
  const std::vector<std::string> extra_columns = {"p_gap"};
  if (files.state) sites_.emplace(*files.state, extra_columns);
  if (files.pairs) pairs_.emplace(*files.pairs, extra_columns);
}

void NodeRecordWriter::Write(const NodePosteriors& posteriors, const std::string& name,
                             const std::vector<double>& p_gap) {
  states_.resize(posteriors.layout().n_sites());
  MostProbableSequence(posteriors, states_);
  for (std::size_t c = 0; c < p_gap.size(); ++c) {
    if (p_gap[c] > 0.5) states_[c] = kGapState;
  }
  record_.clear();
  AppendSequenceRecord(record_, name, states_);
  files_.map.Write(record_);
  AddNodeRows(posteriors, name, p_gap, sites_ ? &*sites_ : nullptr, pairs_ ? &*pairs_ : nullptr);
  if (sites_) sites_->Flush();
  if (pairs_) pairs_->Flush();
}
