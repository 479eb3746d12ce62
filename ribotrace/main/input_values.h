// How ribotrace takes its ten run values: by position on the command line,
// or, without arguments, from prompts on standard input.
#pragma once

#include <istream>
#include <string>
#include <vector>

#include "run/analysis_driver.h"

inline constexpr const char* kRibotraceUsage =
    "Usage: ribotrace [--seed=N] [--threads=N] [--timings] [--marginal|--classic] [--loglik] data_file "
    "tree_file param_file out_file is_harmonic lambda "
    "n_samples include_data condition_on_pairs [show_debug]";

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
  std::vector<std::string> outgroup;  // taxa to root the tree above
  std::vector<std::string> positional;  // program name first
};

// Separates the options (every argument that begins with "--") from the
// positional arguments. An unknown option, a seed outside 1 .. 2147483646,
// a thread count outside 0 .. 1024, or --classic with --marginal is a fatal
// error.
EntryOptions ParseEntryOptions(int argc, const char* const* argv);

// Fills `values` from `args` (program name first) when use_command_line is
// set, else from prompts answered on `in`. Returns 0 on success and 1 when
// the values are incomplete: one to eight arguments, an answer that is not
// a number, or the end of the input.
int GetInputValues(const std::vector<std::string>& args, bool use_command_line, RunValues& values,
                   std::istream& in);
