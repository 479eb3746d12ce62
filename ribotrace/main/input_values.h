// How ribotrace takes its ten run values: by position on the command line,
// or, without arguments, from prompts on standard input.
#pragma once

#include <istream>
#include <string>
#include <vector>

#include "run/run_values.h"

inline constexpr const char* kRibotraceUsage =
    "Usage: ribotrace [--seed=N] [--threads=N] [--timings] [--marginal|--classic] [--loglik] "
    "[--state] [--report] [--gaps=column|tree] [--outgroup=NAME[,NAME...]] [--ngammacat=N] "
    "[--burnin=F] [--trees=N] [--min-clade=F] [--allow-lnl-mismatch] data_file tree_file param_file out_file "
    "is_harmonic lambda n_samples include_data condition_on_pairs [show_debug]";

// What --help prints after the usage line.
inline constexpr const char* kRibotraceHelp =
    "\n"
    "Posterior probabilities and samples of the ancestral states of an RNA alignment, on the tree\n"
    "and parameters MrBayes estimated with a doublet model for stems and a GTR model for loops.\n"
    "Without values ribotrace asks for each of them.\n"
    "\n"
    "Values, in this order:\n"
    "  data_file           the alignment-and-structure file\n"
    "  tree_file           MrBayes tree file (.con.tre, or .t: its last tree); with .p parameter\n"
    "                      files, the runs' sampled trees: x.nex.run1.t,x.nex.run2.t\n"
    "  param_file          MrBayes parameter summary (.pstat), or the runs' sampled parameters\n"
    "                      (x.nex.run1.p,x.nex.run2.p): then the results integrate over MrBayes's\n"
    "                      posterior sample of trees and parameters, by clade\n"
    "  out_file            results file; .par, .tree, .map.fa (.state, .pairs, .html) are named after it\n"
    "  is_harmonic         1: hidden branches last the harmonic mean of the branch lengths, 0: 1\n"
    "  lambda              factor applied to the hidden branch length\n"
    "  n_samples           ancestral samples drawn per interior node\n"
    "  include_data        non-zero: copy the input sequences into out_file\n"
    "  condition_on_pairs  1: condition sampled stem pairs on the column's canonical pair share\n"
    "  show_debug          optional tenth value, non-zero: print every intermediate result\n"
    "\n"
    "Options:\n"
    "  --marginal          exact marginal posteriors under MrBayes's model (the default)\n"
    "  --classic           the earlier three-neighbour posteriors instead, as earlier versions\n"
    "                      computed them by default (reproduces their results)\n"
    "  --state             also write the per-site tables out_file.state and out_file.pairs\n"
    "                      (default: off)\n"
    "  --report            also write out_file.html: the tree, each node's sequence on the\n"
    "                      structure coloured by its posterior, the stems' covariation\n"
    "                      (default: off)\n"
    "  --gaps=column|tree  where the samples' gaps come from: each column's gap frequency\n"
    "                      (column, the default), or the gaps reconstructed on the tree,\n"
    "                      stems gapped as a pair (tree); the tables' p_gap and the gaps of\n"
    "                      out_file.map.fa always come from that reconstruction\n"
    "  --outgroup=NAME[,NAME...]\n"
    "                      root the tree halfway along the branch above these taxa (default: as\n"
    "                      the tree file is written, halfway along the last taxon's branch)\n"
    "  --loglik            print the log-likelihood of the data (default: off)\n"
    "  --ngammacat=N       categories of the gamma rates when the parameter file has alpha\n"
    "                      rows, 2 to 20, as in MrBayes's lset ngammacat (default: 4)\n"
    "  --burnin=F          with .t/.p files: the share of each run's samples dropped, rounded\n"
    "                      down as MrBayes does (default: 0.25)\n"
    "  --trees=N           with .t/.p files: the samples used, spread evenly (default: 100)\n"
    "  --min-clade=F       with .t/.p files: the share of the used trees a clade must be in to\n"
    "                      get results (default: 0.5)\n"
    "  --allow-lnl-mismatch\n"
    "                      with .t/.p files: run even where the log-likelihoods differ from\n"
    "                      MrBayes's LnL (default: such a run stops)\n"
    "  --seed=N            seed of the random stream, 1 to 2147483646 (default: the clock)\n"
    "  --threads=N         threads that draw the samples, 0 for every core (default: 1)\n"
    "  --timings           print the time and memory of every stage on standard error\n"
    "                      (default: off)\n"
    "  --help, --version   this text; the version\n";

// Options that begin with "--", taken out before the positional rules.
struct EntryOptions {
  bool help = false;
  bool version = false;
  std::optional<std::int32_t> seed;
  int threads = 1;
  bool timings = false;
  bool classic = false;   // the three-neighbour posteriors instead of the exact ones
  bool marginal = false;  // asked for the exact posteriors by name (the default)
  bool loglik = false;    // print the log-likelihood of the data
  bool state = false;                 // write the per-site tables
  bool report = false;                // write the report page
  int gamma_categories = kDefaultGammaCategories;  // --ngammacat
  bool gaps_on_tree = false;          // --gaps=tree
  std::vector<std::string> outgroup;  // taxa to root the tree above
  double burnin = 0.25;     // --burnin
  int n_trees = 100;        // --trees
  double min_clade = 0.5;   // --min-clade
  bool allow_lnl_mismatch = false;
  std::vector<std::string> positional;  // program name first
  std::vector<std::string> given;       // the options given, as --name
};

// Separates the options (every argument that begins with "--") from the
// positional arguments. An unknown option, a seed outside 1 .. 2147483646,
// a thread count outside 0 .. 1024, a gamma category count outside 2 .. 20,
// a --gaps other than column or tree, a burn-in outside [0, 1), a tree
// count outside 1 .. 1000000, a clade share outside [0, 1], an option given
// twice, or --classic with --marginal is a fatal error.
EntryOptions ParseEntryOptions(int argc, const char* const* argv);

// Fills `values` from `args` (program name first) when use_command_line is
// set, else from prompts answered on `in`. Returns 0 on success and 1 when
// the values are incomplete: one to eight arguments, an answer that is not
// a number, or the end of the input.
int GetInputValues(const std::vector<std::string>& args, bool use_command_line, RunValues& values,
                   std::istream& in);
