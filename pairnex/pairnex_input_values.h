// How pairnex takes its two file names and its options: by position on the
// command line or, without arguments, from prompts on standard input.
#pragma once

#include <istream>
#include <string>
#include <vector>

#include "mrbayes_block.h"

namespace pairnex {

inline constexpr const char* kPairnexUsage =
    "Usage: pairnex [--mrbayes=3.1|3.2] [--ngen=N] [--samplefreq=N] [--nruns=N] [--nchains=N] "
    "[--rates=equal|gamma] [--ngammacat=N] [--fasta] data_file output_file";

// Options that begin with "--", taken out before the positional rules.
struct ConverterOptions {
  bool help = false;
  bool version = false;
  bool fasta = false;  // write plain FASTA for tree builders instead of NEXUS
  MrBayesRun run;
  std::vector<std::string> positional;  // program name first
};

// Separates --help, --version, --mrbayes=, --ngen=, --samplefreq=, --nruns=,
// --nchains=, --rates= and --ngammacat= from the positional arguments. An
// unknown option, a bad value, or --ngammacat without --rates=gamma is
// fatal.
ConverterOptions ParseConverterOptions(int argc, const char* const* argv);

// The help text printed by --help, with the defaults in force.
std::string PairnexHelp();

// Takes the data and output file names from `args` (program name first)
// when use_command_line is set, else prompts for them on `in`. One file
// name alone, more than two, or input that ends too early is fatal.
void GetInputValues(const std::vector<std::string>& args, bool use_command_line,
                    std::string& data_file, std::string& output_file, std::istream& in);

}  // namespace pairnex
