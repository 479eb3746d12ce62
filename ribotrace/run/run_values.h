// The values a run is given: the ten of the command line and the prompts,
// and the options. Every stage reads what it needs from here.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "inference/gap_characters.h"
#include "model/gamma_rates.h"

// The ten run values, in the order the command line and the prompts give
// them, and the seed that --seed may set instead of the clock.
struct RunValues {
  std::string data_file;
  std::string tree_file;
  std::string param_file;
  std::string out_file;
  int is_harmonic = 0;         // 1: hidden branches last the harmonic mean of the branch lengths
  double lambda = 0.0;         // tuning factor of the hidden branch length
  int n_samples = 0;           // samples per interior node
  int include_data = 0;        // non-zero: copy the input sequences into the results
  int condition_on_pairs = 0;  // 1: condition stem doublets on the canonical-pair frequency
  int show_debug = 0;          // non-zero: print diagnostics
  std::optional<std::int32_t> seed;
  int threads = 1;       // threads that produce sample rows; 0: every core
  bool timings = false;  // print per-stage figures on standard error
  // True marginal posteriors (an outside pass) under the model behind
  // MrBayes's likelihood: doublets at twice the branch time, stem ambiguity
  // codes as state sets. Off (--classic): the three-neighbour posteriors,
  // doublets over one branch length, kept to reproduce earlier analyses.
  bool marginal = true;
  bool loglik = false;        // print the log-likelihood after the fractional likelihoods
  bool state_tables = false;  // also write the per-site tables out_file.state and .pairs
  bool report = false;        // also write the report out_file.html
  // Also write what happened on every branch: out_file.changes (per branch
  // and stem pair) and out_file.branches (per branch).
  bool changes = false;
  // Categories of the discrete gamma distribution of site rates, when the
  // parameter file holds its shape (MrBayes's lset ngammacat).
  int gamma_categories = kDefaultGammaCategories;
  // --gaps=tree or indel: the samples' gaps drawn from the reconstruction
  // on the tree, not from each column's gap frequency.
  bool gaps_on_tree = false;
  // How the tables, .map.fa and (with gaps_on_tree) the samples reconstruct
  // the gaps: insertions and deletions, unless --gaps=tree asks for the
  // two-state model.
  GapModel gap_model = GapModel::kIndel;
  // Taxa whose clade the root is put above; empty: the tree file's rooting
  // (with MrBayes's posterior sample: the first taxon of the alignment).
  std::vector<std::string> outgroup;
  // With MrBayes's posterior sample (.t and .p files): the share of each
  // run's samples dropped as burn-in, the number of samples used, and the
  // share of the used trees a clade must appear in to enter the results.
  double burnin = 0.25;
  int n_trees = 100;
  double min_clade = 0.5;
  // Which of --burnin, --trees, --min-clade and --allow-lnl-mismatch the
  // user gave: they do
  // nothing on one tree, so a run on a parameter summary refuses them.
  std::vector<std::string> sample_options_given;
  // Run over MrBayes's sample even where the log-likelihoods differ from
  // its LnL (--allow-lnl-mismatch).
  bool allow_lnl_mismatch = false;
  // --fit: estimate the model and branch lengths on the tree by maximum
  // likelihood first, then analyse under the fitted values; with gamma
  // rates (--rates=gamma) and frequencies counted from the data
  // (--freqs=empirical) where asked.
  bool fit = false;
  // After a fit: its maximised log-likelihood and number of free
  // parameters, for the summary.
  struct FitFigures {
    double log_likelihood = 0.0;
    int n_free = 0;
  };
  std::optional<FitFigures> fitted;
  bool fit_gamma = false;
  bool empirical_frequencies = false;
};

// MrBayes measures branch lengths per nucleotide; a doublet is two.
inline double DoubletTimeFactor(const RunValues& values) { return values.marginal ? 2.0 : 1.0; }
