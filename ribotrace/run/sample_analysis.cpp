#include "run/sample_analysis.h"

#include <cstdio>
#include <string>

#include "inference/gap_reconstruction.h"
#include "inference/likelihood_blocks.h"
#include "inference/node_posteriors.h"
#include "run/inference_stages.h"
#include "tree/clade_summary.h"

namespace {

std::optional<SampledPairCounts> PairCounters(const RunData& data) {
  const PosteriorLayout layout(data.alignment.structure, data.SS);
  std::vector<int> partners(layout.n_sites());
  for (std::size_t c = 0; c < partners.size(); ++c) partners[c] = layout.Partner(c);
  const std::vector<Helix> helices = FindHelices(partners);
  return SampledPairCounts{CanonicalPairCounter(helices), CanonicalPairCounter(helices)};
}

}  // namespace

SampleAnalysis::SampleAnalysis(const RunValues& values, const RunData& data, TreeSample sample)
    : values_(values), pass_values_(values), data_(data), sample_(std::move(sample)), tree_(data) {
  const int n_taxa = data_.alignment.n_taxa;
  // The trees are built quietly here, and listed when they are analysed.
  if (sample_.from_summary) {
    BuildSampleTree(tree_, sample_, 0, data_, values_.is_harmonic);
    units_ = ResultUnits::OfOneTree(tree_.down_pass, tree_.up_pass, data_.alignment);
  } else {
    CladeTally tally(n_taxa);
    for (std::size_t s = 0; s < n_trees(); ++s) {
      BuildSampleTree(tree_, sample_, s, data_, values_.is_harmonic);
      tally.AddTree(tree_.down_pass);
    }
    // Every clade of the trees counts here, not only those that get results.
    convergence_ = MeasureConvergence(sample_.trees, tally.records(), n_taxa);
    units_ = ResultUnits::OfClades(SummariseClades(tally, values_.min_clade), data_.alignment);
  }
  means_.emplace(units_.size(), CountEntries(data_.alignment.structure),
                 static_cast<std::size_t>(data_.alignment.n_sites), sample_.from_summary);
  if (values_.report) pair_counts_ = PairCounters(data_);
  if (values_.changes) changes_.emplace(units_, data_.alignment, sample_.from_summary);
  if (!sample_.from_summary) {
    check_.emplace(values_.loglik);
    pass_values_.loglik = false;
  }
}

void SampleAnalysis::AnalyseTrees(std::int32_t seed, RowSink* rows, StageTimings* timings,
                                  const std::function<void()>& means_ready) {
  for (std::size_t s = 0; s < n_trees(); ++s) AnalyseTree(s, seed, rows, timings, means_ready);
  std::vector<std::size_t> holding;
  for (std::size_t j = 0; j < units_.size(); ++j) holding.push_back(units_.trees(j).size());
  means_->Finish(holding);
  if (changes_) changes_->Finish();
  if (!sample_.from_summary && means_ready) means_ready();
  if (check_) check_->Print(n_trees(), sample_.trees, values_.allow_lnl_mismatch);
  WarnOnGapRates();
  if (timings != nullptr && !sample_.from_summary) {
    timings->Stop("trees (" + std::to_string(n_trees()) + ")");
  }
}

void SampleAnalysis::AnalyseTree(std::size_t s, std::int32_t seed, RowSink* rows,
                                 StageTimings* timings, const std::function<void()>& means_ready) {
  // One tree's stages are timed one by one; many trees' together.
  StageTimings* stages = sample_.from_summary ? timings : nullptr;
  const ModelParams& parameters = sample_.trees.samples[s].parameters;
  const bool listing = values_.show_debug != 0;
  BuildSampleTree(tree_, sample_, s, data_, values_.is_harmonic, listing);
  if (stages != nullptr) stages->Stop("tree");
  scaled_length_sum_ += tree_.down_pass.front()->scaled_length;
  const PartitionModels models = MakePartitionModels(parameters, listing);
  const HiddenBranchMatrices hidden = SetBranchMatrices(tree_, models, matrices_, values_);
  if (stages != nullptr) stages->Stop("matrices");
  const InferenceInputs inputs{tree_.down_pass, tree_.up_pass, data_.SS,
                               data_.alignment, parameters,    models,
                               matrices_,       hidden,        stages};
  // One set of arrays serves every tree, pointed at each tree's nodes.
  if (vectors_) {
    vectors_->Reassign(tree_.down_pass);
  } else {
    vectors_.emplace(MakeNodeVectors(inputs, values_));
  }
  if (stages != nullptr) stages->Stop("arrays");
  PassResults passes = RunPosteriorPasses(
      inputs, pass_values_, *vectors_, !sample_.from_summary || values_.loglik || values_.report);
  if (check_) check_->Add(s, sample_.trees, passes.log_likelihood.Total());
  log_likelihood_sum_.stems += passes.log_likelihood.stems;
  log_likelihood_sum_.loops += passes.log_likelihood.loops;

  // Each tree fits its own gap rate, as a run on that tree alone would;
  // the tables always carry the reconstruction, the samples with --gaps=tree.
  const GapReconstruction& gaps = gaps_.emplace(OnSampleTree(sample_, s, [&] {
    return ReconstructGaps(tree_.down_pass, data_.alignment, data_.SS, values_.gap_model, listing);
  }));
  gap_rate_sum_ += gaps.fit.rate;
  if (gaps.indel) {
    insertion_rate_sum_ += gaps.indel->insertion;
    deletion_rate_sum_ += gaps.indel->deletion;
  }
  if (changes_) changes_->Add(tree_.down_pass, std::move(*passes.changes), gaps);
  if (gaps.fit.status == GapRateStatus::kAtBound) ++n_gap_rates_at_bound_;
  if (stages != nullptr) stages->Stop("gap posteriors");

  // The tables take the posteriors before sampling conditions any.
  const std::vector<NodeStruct*> nodes = units_.NodesIn(tree_.down_pass, data_.alignment.n_taxa);
  means_->Add(nodes, gaps);
  // One tree's means are its nodes' own, read before its rows condition them.
  if (sample_.from_summary && means_ready) means_ready();
  if (rows == nullptr) return;
  TreeRows tree_rows{nodes, &hidden, passes.categories ? &*passes.categories : nullptr,
                     values_.gaps_on_tree ? &gaps : nullptr,
                     // Every node's hidden branch has the same length in a tree.
                     tree_.down_pass.front()->scaled_length * values_.lambda};
  RowSettings settings{values_.n_samples, values_.condition_on_pairs,      seed,
                       values_.threads,   sample_.from_summary && listing, stages};
  DrawTreeRows(s, units_, tree_rows, data_.SS, data_.alignment.structure, settings, *rows,
               pair_counts_ ? &*pair_counts_ : nullptr);
}

void SampleAnalysis::WarnOnGapRates() const {
  if (!values_.gaps_on_tree || values_.gap_model != GapModel::kTwoState ||
      n_gap_rates_at_bound_ == 0) {
    return;
  }
  if (sample_.from_summary) {
    std::fprintf(stderr,
                 "Warning: The likelihood of the gaps is highest at the end of the rate range "
                 "(gap_rate %g): the gaps look independent of the tree, so --gaps=tree draws them "
                 "at about each column's gap frequency, as --gaps=column does.\n",
                 gap_rate());
    return;
  }
  std::fprintf(stderr,
               "Warning: In %zu of the %zu samples the likelihood of the gaps is highest at the "
               "end of the rate range (gap_rate %g): there the gaps look independent of the "
               "tree, so --gaps=tree draws them at about each column's gap frequency, as "
               "--gaps=column does.\n",
               n_gap_rates_at_bound_, n_trees(), kMaxGapRate);
}

double SampleAnalysis::scaled_length() const {
  return scaled_length_sum_ / static_cast<double>(std::max<std::size_t>(n_trees(), 1));
}

double SampleAnalysis::gap_rate() const { return gap_rate_sum_ / static_cast<double>(n_trees()); }

double SampleAnalysis::insertion_rate() const {
  return insertion_rate_sum_ / static_cast<double>(n_trees());
}

double SampleAnalysis::deletion_rate() const {
  return deletion_rate_sum_ / static_cast<double>(n_trees());
}

PartitionLogLikelihoods SampleAnalysis::log_likelihood() const {
  PartitionLogLikelihoods mean;
  mean.stems = log_likelihood_sum_.stems / static_cast<double>(n_trees());
  mean.loops = log_likelihood_sum_.loops / static_cast<double>(n_trees());
  return mean;
}
