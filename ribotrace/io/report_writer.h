// The report of a run (out_file.html): one self-contained page with the run
// summary, the tree, each node's most probable sequence drawn on the
// consensus structure and coloured by its posterior, and how well the
// stems keep their pairing. The page carries its data as JSON and draws
// itself with a little plain JavaScript; nothing is fetched.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "inference/log_likelihood.h"
#include "model/model_params.h"
#include "output/safe_output_file.h"
#include "sequence/helices.h"

// Trees with more tips than this are drawn without tip labels (the tips
// would be too close to read them); interior nodes keep their names as
// tooltips and in the node list.
inline constexpr int kReportTipLabelLimit = 500;

// Every probability reaches the page as one character of this alphabet,
// its index round(p x 63): compact enough for a thousand taxa, and finer
// than a colour scale shows.
inline constexpr char kQuantAlphabet[] =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
inline constexpr int kQuantLevels = 63;

struct ReportTreeNode {
  int parent = -1;      // index of the parent; -1 at the root
  double length = 0.0;  // branch to the parent
  std::string name;     // taxon name, or anc_<index>
  // The clade's posterior probability (a consensus tree's, or its share of
  // the trees of MrBayes's sample); negative where unknown.
  double support = -1.0;
};

struct ReportNode {
  int index = 0;                 // pre-order number: the node is anc_<index>
  std::string states;            // most probable sequence, A C G U or N per column
  std::string probabilities;     // per column p_A p_C p_G p_U, one kQuantAlphabet character each
  double mean_confidence = 0.0;  // mean over columns of the drawn base's posterior
};

// With --changes: where on the tree the stems changed while keeping their
// pairs.
struct ReportChanges {
  // By tree index: the expected compensatory changes on the branch above
  // the node, summed over the stem pairs (each weighted by its presence);
  // negative where there is no branch or no figure.
  std::vector<double> branch_cbc;
  // Per helix, in the helices' order: the branches (tree index, expected
  // compensatory changes in the helix) with the most, most first.
  std::vector<std::vector<std::pair<int, double>>> helix_top;
};

// What the page tells of the run itself: its inputs and values, its mode,
// and the model it ran under.
struct ReportRun {
  std::string title;
  std::vector<std::pair<std::string, std::string>> inputs;  // role, path
  std::vector<std::pair<std::string, std::string>> values;  // name, value
  std::string mode;
  std::int64_t seed = 0;
  ModelParams parameters;
  PartitionLogLikelihoods log_likelihood;
  // How far MrBayes's runs had converged: figure, value (empty: not known).
  std::vector<std::pair<std::string, std::string>> convergence;
};

// The run, and what its passes hold, gathered for the page.
struct ReportData : ReportRun {
  bool has_stems = false;
  int n_taxa = 0;
  int n_stem_pairs = 0;
  int n_loop_columns = 0;

  std::vector<ReportTreeNode> tree;  // by pre-order index
  std::vector<int> partners;         // per column: the partner column, or -1
  std::vector<ReportNode> nodes;     // the interior nodes below the root, by index

  std::vector<Helix> helices;
  // Per helix, in the helices' order: the data, the most probable
  // sequences, the sampled ancestral rows and the hidden rows.
  std::array<std::vector<PairTally>, 4> covariation;
  std::optional<ReportChanges> changes;
};

// One probability as its kQuantAlphabet character.
char QuantisedProbability(double p);

// The whole page.
std::string ReportHtml(const ReportData& data);

// Writes ReportHtml(data) to `file`.
void WriteReport(const ReportData& data, SafeOutputFile& file);
