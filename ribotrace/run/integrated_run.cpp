#include "run/integrated_run.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <limits>
#include <optional>

#include "bailout/bailout.h"
#include "run/convergence_check.h"
#include "base/diagnostics.h"
#include "base/ordered_batches.h"
#include "inference/ancestral_sampling.h"
#include "inference/gap_draws.h"
#include "inference/gap_reconstruction.h"
#include "inference/likelihood_blocks.h"
#include "inference/node_posteriors.h"
#include "inference/sample_rows.h"
#include "io/clade_output.h"
#include "run/inference_stages.h"
#include "run/node_files.h"
#include "run/row_scratch.h"
#include "run/run_report.h"
#include "sequence/helices.h"

namespace {

std::string SampleName(const UsedSample& sample) {
  return "run " + std::to_string(sample.run + 1) + ", gen " + std::to_string(sample.generation);
}

// Runs `step` on the tree of a sample, its failures named by the sample.
template <typename Step>
auto OnSampleTree(const UsedSample& sample, const PosteriorSample& all, const Step& step) {
  try {
    return step();
  } catch (const FatalError& error) {
    throw FatalError(std::string(error.what()) + "\n(In tree gen." +
                         std::to_string(sample.generation) + " of '" +
                         all.tree_files[static_cast<std::size_t>(sample.run)] + "'.)",
                     error.form());
  }
}

// The tree of a sample built and rooted.
void BuildSampleTree(TreeWorkspace& tree, const UsedSample& sample, const PosteriorSample& all,
                     const RunData& data, int is_harmonic) {
  OnSampleTree(sample, all, [&] { tree.Build(sample.tree, data, is_harmonic); });
}

// The log-likelihood of each used sample beside MrBayes's LnL: with
// --loglik every sample's line and the largest difference; always a
// warning when some differ by more than MrBayes's printing (7 significant
// digits) and our rounding explain, the sign of files that do not belong
// together or of a model that is not MrBayes's.
class LogLikelihoodCheck {
 public:
  // MrBayes's starting sample (generation 0) differs by up to 0.1 on the
  // bundled runs, every later one by less than 0.002; files that do not
  // belong together differ by tens or hundreds.
  static constexpr double kTolerance = 0.25;

  explicit LogLikelihoodCheck(bool print) : print_(print) {}

  void Add(std::size_t s, const PosteriorSample& sample, double ours) {
    const UsedSample& used = sample.samples[s];
    const double difference = std::fabs(ours - used.mrbayes_log_likelihood);
    if (print_) {
      std::printf(
          "Sample %zu of %zu (%s): log-likelihood %.6f, MrBayes LnL %.6f, difference %.6f\n", s + 1,
          sample.samples.size(), SampleName(used).c_str(), ours, used.mrbayes_log_likelihood,
          difference);
    }
    sum_ += ours;
    if (!(difference <= kTolerance + 1e-6 * std::fabs(used.mrbayes_log_likelihood))) {
      ++n_differing_;
    }
    if (largest_at_ == nullptr || !(difference <= largest_)) {
      largest_ = difference;
      largest_at_ = &used;
    }
    smallest_ = std::min(smallest_, difference);
    log_likelihood_scale_ = std::max(log_likelihood_scale_, std::fabs(used.mrbayes_log_likelihood));
  }

  void Print(std::size_t n, const PosteriorSample& sample, bool allow_mismatch) const {
    if (largest_at_ == nullptr) return;
    if (print_) {
      std::printf("Log-likelihood: %.6f (mean over %zu samples); largest difference from "
                  "MrBayes's LnL: %.6f (%s)\n",
                  sum_ / static_cast<double>(n), n, largest_, SampleName(*largest_at_).c_str());
    }
    if (n_differing_ == 0) return;
    // Results on a model that is not MrBayes's, or on files of another
    // analysis, would be wrong without a sign: the run stops unless told.
    const std::string message = Diagnosis(n) + " (" + Join(sample.tree_files) + "; " +
                                Join(sample.parameter_files) + ")";
    if (!allow_mismatch) {
      Fail("ReadParameterFile Error: " + message +
           ". To run on all the same, give --allow-lnl-mismatch.");
    }
    std::fprintf(stderr, "Warning: %s.\n", message.c_str());
  }

 private:
  static std::string Figure(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.3g", value);
    return text;
  }

  static std::string Join(const std::vector<std::string>& files) {
    std::string joined;
    for (const std::string& file : files) joined += (joined.empty() ? "'" : ", '") + file + "'";
    return joined;
  }

  // Every sample off by about the same amount points to the model (its
  // likelihood is a smooth function of the same tree and parameters);
  // every sample off by unrelated amounts, to files of another analysis;
  // some samples off, to runs given in another order.
  std::string Diagnosis(std::size_t n) const {
    const std::string counts = "The log-likelihood of " + std::to_string(n_differing_) +
                               " of the " + std::to_string(n) +
                               " samples differs from MrBayes's LnL in the .p files (by " +
                               Figure(smallest_) + " to " + Figure(largest_) + ", most at " +
                               SampleName(*largest_at_) + ")";
    if (n_differing_ < n) {
      return counts + ": each run's .t file must go with the .p file of the same run, in the "
                      "same order";
    }
    const bool alike = largest_ <= 2.0 * smallest_ && largest_ < 0.05 * log_likelihood_scale_;
    if (alike) {
      return counts + ": every sample is off by about the same amount, so the model is not "
                      "MrBayes's (for example another --ngammacat than MrBayes's ngammacat)";
    }
    return counts + ": every sample is off, so these files are not MrBayes's analysis of this "
                    "alignment (the .t and .p files of another family, or an alignment or "
                    "structure that changed after MrBayes ran)";
  }


  bool print_;
  double sum_ = 0.0;
  double largest_ = 0.0;
  double smallest_ = std::numeric_limits<double>::infinity();
  double log_likelihood_scale_ = 0.0;  // the largest |LnL|
  const UsedSample* largest_at_ = nullptr;
  std::size_t n_differing_ = 0;
};

}  // namespace

IntegratedAnalysis::IntegratedAnalysis(const RunValues& values, const RunData& data,
                                       PosteriorSample sample)
    : values_(values), data_(data), sample_(std::move(sample)), tree_(data) {
  CladeTally tally(data_.alignment.n_taxa);
  // Each tree is shown in the diagnostics once, when it is analysed.
  const bool shown = show_debug_info;
  show_debug_info = false;
  for (const UsedSample& used : sample_.samples) {
    try {
      BuildSampleTree(tree_, used, sample_, data_, values_.is_harmonic);
    } catch (...) {
      show_debug_info = shown;
      throw;
    }
    tally.AddTree(tree_.down_pass);
  }
  show_debug_info = shown;
  // Every clade of the trees counts here, not only those that get results.
  convergence_ = MeasureConvergence(sample_, tally.records(), data_.alignment.n_taxa);
  summary_ = SummariseClades(tally, values_.min_clade);
  result_of_.assign(summary_.clades.size(), -1);
  for (std::size_t c = 0; c < summary_.clades.size(); ++c) {
    if (!summary_.clades[c].in_results) continue;
    result_of_[c] = static_cast<int>(results_.size());
    results_.push_back(static_cast<int>(c));
  }
  block_entries_ = CountEntries(data_.alignment.structure);
  if (values_.report) {
    const PosteriorLayout layout(data_.alignment.structure, data_.SS);
    std::vector<int> partners(layout.n_sites());
    for (std::size_t c = 0; c < partners.size(); ++c) partners[c] = layout.Partner(c);
    helices_ = FindHelices(partners);
    pair_counts_ =
        SampledPairCounts{CanonicalPairCounter(helices_), CanonicalPairCounter(helices_)};
  }
  sums_.assign(results_.size() * block_entries_, 0.0);
  gap_sums_.assign(results_.size() * static_cast<std::size_t>(data_.alignment.n_sites), 0.0);
}

const IdentifiedClade& IntegratedAnalysis::ResultClade(std::size_t j) const {
  return summary_.clades[static_cast<std::size_t>(results_[j])];
}

std::size_t IntegratedAnalysis::n_rows() const {
  return 2 * results_.size() * static_cast<std::size_t>(std::max(values_.n_samples, 0));
}

std::span<const double> IntegratedAnalysis::MeanPosteriors(std::size_t j) const {
  return std::span<const double>(&sums_[j * block_entries_], block_entries_);
}

std::vector<double> IntegratedAnalysis::MeanGapPosteriors(std::size_t j) const {
  const auto n_sites = static_cast<std::size_t>(data_.alignment.n_sites);
  const auto first = gap_sums_.begin() + static_cast<std::ptrdiff_t>(j * n_sites);
  return std::vector<double>(first, first + static_cast<std::ptrdiff_t>(n_sites));
}

std::vector<NodeStruct*> IntegratedAnalysis::NodesByResultClade() const {
  const std::vector<TaxonSet> clades = CladesByIndex(tree_.down_pass, data_.alignment.n_taxa);
  std::vector<NodeStruct*> nodes(results_.size(), nullptr);
  for (NodeStruct* node : tree_.down_pass) {
    if (!IsInteriorBelowRoot(*node)) continue;
    const auto found = summary_.index_of.find(clades[static_cast<std::size_t>(node->index)]);
    if (found == summary_.index_of.end()) continue;
    const int j = result_of_[static_cast<std::size_t>(found->second)];
    if (j >= 0) nodes[static_cast<std::size_t>(j)] = node;
  }
  return nodes;
}

void IntegratedAnalysis::AnalyseSamples(std::int32_t seed, RowScratch* rows,
                                        StageTimings* timings) {
  // The passes print nothing per tree; the check prints a line per sample.
  RunValues quiet = values_;
  quiet.loglik = false;
  LogLikelihoodCheck check(values_.loglik);
  for (std::size_t s = 0; s < sample_.samples.size(); ++s) {
    const UsedSample& used = sample_.samples[s];
    BuildSampleTree(tree_, used, sample_, data_, values_.is_harmonic);
    scaled_length_sum_ += tree_.down_pass.front()->scaled_length;
    const HiddenBranchMatrices hidden = SetBranchMatrices(tree_, used.parameters, values_);
    const InferenceInputs inputs{tree_.down_pass, tree_.up_pass, data_.SS, data_.alignment,
                                 used.parameters, hidden,        nullptr};
    // One set of arrays serves every tree, pointed at each tree's nodes.
    if (vectors_) {
      vectors_->Reassign(tree_.down_pass);
    } else {
      vectors_.emplace(tree_.down_pass, data_.alignment.structure, values_.marginal,
                       HasGammaRates(used.parameters) ? values_.gamma_categories : 0);
    }
    const PassResults passes = RunPosteriorPasses(inputs, quiet, *vectors_, true);
    check.Add(s, sample_, passes.log_likelihood.Total());
    log_likelihood_sum_.stems += passes.log_likelihood.stems;
    log_likelihood_sum_.loops += passes.log_likelihood.loops;

    // Each tree fits its own gap rate, as a run on that tree alone would;
    // the tables always carry the reconstruction, the samples with --gaps=tree.
    const GapReconstruction gaps = OnSampleTree(
        used, sample_, [&] { return ReconstructGaps(tree_.down_pass, data_.alignment, data_.SS); });
    gap_rate_sum_ += gaps.fit.rate;
    if (gaps.fit.status == GapRateStatus::kAtBound) ++n_gap_rates_at_bound_;

    // The tables take the posteriors before sampling conditions any.
    const std::vector<NodeStruct*> nodes = NodesByResultClade();
    const auto n_sites = static_cast<std::size_t>(data_.alignment.n_sites);
    for (std::size_t j = 0; j < nodes.size(); ++j) {
      if (nodes[j] == nullptr) continue;
      double* sum = &sums_[j * block_entries_];
      for (std::size_t e = 0; e < block_entries_; ++e) sum[e] += nodes[j]->posterior_probs[e];
      double* gap_sum = &gap_sums_[j * n_sites];
      for (std::size_t c = 0; c < n_sites; ++c) gap_sum[c] += gaps.PGap(*nodes[j], c);
    }
    if (rows != nullptr && values_.n_samples > 0) {
      DrawRows(s, nodes, hidden, passes, values_.gaps_on_tree ? &gaps : nullptr, seed, *rows);
    }
  }
  for (std::size_t j = 0; j < results_.size(); ++j) {
    const auto n_trees = static_cast<double>(ResultClade(j).trees.size());
    double* sum = &sums_[j * block_entries_];
    for (std::size_t e = 0; e < block_entries_; ++e) sum[e] /= n_trees;
    const auto n_sites = static_cast<std::size_t>(data_.alignment.n_sites);
    for (std::size_t c = 0; c < n_sites; ++c) gap_sums_[j * n_sites + c] /= n_trees;
  }
  check.Print(sample_.samples.size(), sample_, values_.allow_lnl_mismatch);
  if (values_.gaps_on_tree && n_gap_rates_at_bound_ > 0) {
    std::fprintf(stderr, "Warning: In %zu of the %zu samples the likelihood of the gaps is highest at the "
                "end of the rate range (gap_rate %g): there the gaps look independent of the "
                "tree, so --gaps=tree draws them at about each column's gap frequency, as "
                "--gaps=column does.\n",
                n_gap_rates_at_bound_, sample_.samples.size(), kMaxGapRate);
  }
  if (timings != nullptr) timings->Stop("trees (" + std::to_string(sample_.samples.size()) + ")");
}

void IntegratedAnalysis::DrawRows(std::size_t s, const std::vector<NodeStruct*>& nodes,
                                  const HiddenBranchMatrices& hidden, const PassResults& passes,
                                  const GapReconstruction* gaps, std::int32_t seed,
                                  RowScratch& rows) {
  const std::vector<int>& structure = data_.alignment.structure;
  const auto n_samples = static_cast<std::size_t>(values_.n_samples);
  const std::size_t n_sites = structure.size();
  // Draw k of clade j comes from this tree when it is the (k mod M)-th of
  // the M trees that hold j: sampled rows first, then their hidden rows.
  std::vector<std::size_t> produced;
  std::vector<const NodeStruct*> sampled_nodes(nodes.size(), nullptr);
  for (std::size_t j = 0; j < nodes.size(); ++j) {
    if (nodes[j] == nullptr) continue;
    const std::vector<int>& trees = ResultClade(j).trees;
    const auto position = static_cast<std::size_t>(
        std::lower_bound(trees.begin(), trees.end(), static_cast<int>(s)) - trees.begin());
    if (position >= n_samples) continue;
    for (std::size_t k = position; k < n_samples; k += trees.size()) {
      produced.push_back(j * n_samples + k);
    }
    if (values_.condition_on_pairs == 1) {
      ConditionDoubletPosteriorsOnPairs(*nodes[j], structure, data_.SS);
    }
    sampled_nodes[j] = nodes[j];
  }
  SampleRowPlan plan(sampled_nodes, data_.SS, structure, hidden, values_.n_samples,
                     values_.condition_on_pairs, seed,
                     passes.categories ? &*passes.categories : nullptr);
  std::optional<TreeGapDraws> tree_gaps;
  if (gaps != nullptr) {
    // Every node's hidden branch has the same length in a tree.
    plan.tree_gaps =
        &tree_gaps.emplace(*gaps, tree_.down_pass.front()->scaled_length * values_.lambda);
  }
  CheckSampledPosteriors(plan);
  const std::size_t n_sampled = produced.size();
  for (std::size_t i = 0; i < n_sampled; ++i) produced.push_back(plan.n_sampled_rows + produced[i]);

  const int threads = ResolveThreadCount(values_.threads);
  std::vector<std::vector<int>> codes(static_cast<std::size_t>(threads),
                                      std::vector<int>(n_sites, 0));
  // Each worker counts the pairs of its rows; the sums do not depend on
  // which worker drew which row.
  std::vector<SampledPairCounts> pairs;
  if (pair_counts_) {
    pairs.assign(static_cast<std::size_t>(threads),
                 {CanonicalPairCounter(helices_), CanonicalPairCounter(helices_)});
  }
  const std::size_t batch_rows = std::max<std::size_t>(1, (std::size_t{1} << 20) / (n_sites + 1));
  ProduceInOrder(
      produced.size(), batch_rows, threads,
      [&](std::size_t item, int worker, TextBatch& batch) {
        std::vector<int>& row_codes = codes[static_cast<std::size_t>(worker)];
        ProduceSampleRow(plan, produced[item], false, row_codes.data());
        AppendSequenceCharacters(batch.results, row_codes.data(), n_sites);
        if (!pairs.empty()) {
          SampledPairCounts& counts = pairs[static_cast<std::size_t>(worker)];
          (item < n_sampled ? counts.sampled : counts.hidden).AddRow(row_codes);
        }
      },
      [&](const TextBatch& batch) {
        for (std::size_t i = 0; i < batch.count; ++i) {
          rows.Put(produced[batch.first + i],
                   std::string_view(batch.results).substr(i * n_sites, n_sites));
        }
      });
  for (const SampledPairCounts& counts : pairs) {
    pair_counts_->sampled.Merge(counts.sampled);
    pair_counts_->hidden.Merge(counts.hidden);
  }
}

void IntegratedAnalysis::WriteFiles(ResultsFiles& files, RowScratch& rows,
                                    std::int32_t seed) const {
  const Alignment& alignment = data_.alignment;
  const std::size_t n_samples = static_cast<std::size_t>(std::max(values_.n_samples, 0));
  const std::size_t n_sampled_rows = results_.size() * n_samples;
  std::vector<std::string> names;
  for (std::size_t j = 0; j < results_.size(); ++j) names.push_back(CladeName(ResultClade(j).id));
  const auto sample_blocks = [&](const std::function<void(std::string_view)>& write) {
    std::string text;
    rows.ReadInOrder([&](std::size_t row, std::string_view characters) {
      const bool hidden = row >= n_sampled_rows;
      const std::size_t within = hidden ? row - n_sampled_rows : row;
      const std::string& name = names[within / n_samples];
      AppendNamedSampleBlock(text, hidden ? "psr_" + name : name, within % n_samples + 1,
                             characters);
      if (text.size() >= (std::size_t{1} << 20)) {
        write(text);
        text.clear();
      }
    });
    write(text);
  };
  const double mean_scaled_length =
      scaled_length_sum_ / static_cast<double>(std::max<std::size_t>(sample_.samples.size(), 1));
  WriteResultsFile(files, mean_scaled_length, values_.include_data, alignment, values_.n_samples,
                   values_.lambda, values_.is_harmonic, sample_blocks);

  files.tree.Write(ConsensusNewick(summary_.consensus, alignment.Names));
  files.clades->Write(CladeListText(summary_.clades, alignment.Names));
  const PosteriorLayout layout(alignment.structure, data_.SS);
  NodeRecordWriter writer(files);
  for (std::size_t j = 0; j < results_.size(); ++j) {
    writer.Write(NodePosteriors(MeanPosteriors(j).data(), layout), names[j], MeanGapPosteriors(j));
  }
  if (values_.gaps_on_tree) {
    WriteSummaryValue(files, "gap_rate",
                      gap_rate_sum_ / static_cast<double>(sample_.samples.size()));
  }
  ReportConvergence(convergence_, files);
  if (files.report != nullptr) WriteReport(*files.report, seed);
}

void IntegratedAnalysis::WriteReport(SafeOutputFile& file, std::int32_t seed) const {
  const std::vector<ConsensusNode>& consensus = summary_.consensus;
  std::vector<ReportTreeNode> tree(consensus.size());
  std::vector<ReportNodeSource> nodes;
  for (std::size_t n = 0; n < consensus.size(); ++n) {
    const ConsensusNode& node = consensus[n];
    for (const int child : node.children) {
      tree[static_cast<std::size_t>(child)].parent = static_cast<int>(n);
    }
    tree[n].length = n == 0 ? 0.0 : node.length;
    tree[n].support = n == 0 || node.taxon >= 0 ? -1.0 : node.probability;
    if (node.taxon >= 0) {
      tree[n].name = data_.alignment.Names[static_cast<std::size_t>(node.taxon)].name;
      continue;
    }
    tree[n].name = CladeName(node.clade);
    if (n == 0) continue;
    const int j = result_of_[static_cast<std::size_t>(node.clade - 1)];
    if (j >= 0) {
      const auto result = static_cast<std::size_t>(j);
      nodes.push_back({static_cast<int>(n), MeanPosteriors(result).data(), MeanGapPosteriors(result)});
    }
  }
  RunReport report(data_.alignment, data_.SS, std::move(tree), nodes, values_, seed);
  ReportData& data = report.data();
  data.convergence = ConvergenceRows(convergence_);
  const double n_trees = static_cast<double>(sample_.samples.size());
  data.mode = "exact marginal posteriors over " + std::to_string(sample_.samples.size()) +
              " samples of MrBayes's trees and parameters: each clade's posteriors averaged over "
              "the trees that hold it, on their majority-rule consensus (means of the samples "
              "below)";
  for (const UsedSample& used : sample_.samples) {
    for (std::size_t i = 0; i < data.parameters.size(); ++i) {
      data.parameters[i] += used.parameters[i] / n_trees;
    }
  }
  data.log_likelihood.stems = log_likelihood_sum_.stems / n_trees;
  data.log_likelihood.loops = log_likelihood_sum_.loops / n_trees;
  data.values.emplace_back("trees", std::to_string(sample_.samples.size()));
  report.sampled_pairs() = *pair_counts_;
  report.Write(file);
}

void RunIntegratedAnalysis(const RunValues& values, const RunData& data,
                           const std::vector<std::string>& parameter_files,
                           const std::vector<NexusText>& parameter_texts, std::int32_t seed,
                           StageTimings* timings) {
  if (!values.marginal) {
    Fail("--classic computes the three-neighbour posteriors of one tree; the run over MrBayes's "
         "sampled trees and parameters (.p files) uses the exact posteriors: run it without "
         "--classic.");
  }
  PosteriorSampleOptions options;
  options.burnin = values.burnin;
  options.n_trees = values.n_trees;
  PosteriorSample sample =
      ReadPosteriorSample(SplitFileList(values.tree_file), parameter_files, parameter_texts,
                          data.stems.isStructure, options);
  if (sample.samples.size() < static_cast<std::size_t>(values.n_trees)) {
    std::fprintf(stderr, "Note: %zu samples remain after the burn-in; all of them are used (--trees=%d "
                "asked for more).\n",
                sample.samples.size(), values.n_trees);
  }
  if (HasGammaRates(sample.samples.front().parameters)) CheckGammaRun(data, values);
  if (timings != nullptr) timings->Stop("reading");

  std::vector<RunInput> inputs = {{"data file", values.data_file}};
  for (const std::string& file : sample.tree_files) inputs.push_back({"tree file", file});
  for (const std::string& file : sample.parameter_files) inputs.push_back({"parameter file", file});
  ResultsFiles files(values.out_file, std::move(inputs), values.state_tables, values.report);
  files.AddCladeList();

  IntegratedAnalysis analysis(values, data, std::move(sample));
  if (timings != nullptr) timings->Stop("clades");
  RowScratch rows(analysis.n_rows(), data.alignment.structure.size(), files.sequences.path());
  const auto start = std::chrono::steady_clock::now();
  analysis.AnalyseSamples(seed, &rows, timings);
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  analysis.WriteFiles(files, rows, seed);
  if (timings != nullptr) {
    timings->Stop("writing");
    const std::size_t n_trees = analysis.sample().samples.size();
    std::fprintf(stderr, "%zu trees in %.3f s: %.4f s per tree\n", n_trees, seconds,
                 seconds / static_cast<double>(n_trees));
  }
  files.CommitAll();
  std::string written;
  for (const std::string& path : files.Paths()) written += (written.empty() ? "" : ", ") + path;
  std::fprintf(stderr, "ribotrace wrote %s\n", written.c_str());
}
