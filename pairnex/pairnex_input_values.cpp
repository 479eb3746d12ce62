#include "pairnex_input_values.h"

#include <charconv>
#include <cstdio>

#include "bailout/bailout.h"

namespace pairnex {

namespace {

// A whole positive decimal number that fits an int (MrBayes keeps both
// counts in ints).
int ParseCount(const std::string& option, const std::string& text) {
  int value = 0;
  const char* end = text.data() + text.size();
  const auto [ptr, ec] = std::from_chars(text.data(), end, value);
  if (ec != std::errc() || ptr != end || value < 1) {
    Fail("Invalid value '" + text + "' for " + option +
         ": expected a whole number from 1 to 2147483647.\n" + kPairnexUsage);
  }
  return value;
}

MrBayesDialect ParseDialect(const std::string& text) {
  if (text == "3.1") return MrBayesDialect::k31;
  if (text == "3.2") return MrBayesDialect::k32;
  Fail("Invalid value '" + text + "' for --mrbayes: expected 3.1 or 3.2.\n" + kPairnexUsage);
}

bool ParseRates(const std::string& text) {
  if (text == "equal") return false;
  if (text == "gamma") return true;
  Fail("Invalid value '" + text + "' for --rates: expected equal or gamma.\n" + kPairnexUsage);
}

// MrBayes accepts 2 to 20 gamma categories.
int ParseGammaCategories(const std::string& text) {
  const int value = ParseCount("--ngammacat", text);
  if (value < 2 || value > 20) {
    Fail("Invalid value '" + text + "' for --ngammacat: expected a whole number from 2 to 20.\n" +
         kPairnexUsage);
  }
  return value;
}

bool TakeValue(const std::string& arg, const std::string& option, std::string& value) {
  if (arg.rfind(option + "=", 0) != 0) return false;
  value = arg.substr(option.size() + 1);
  return true;
}

void Prompt(const char* text) {
  std::fputs(text, stdout);
  std::fflush(stdout);
}

}  // namespace

ConverterOptions ParseConverterOptions(int argc, const char* const* argv) {
  ConverterOptions options;
  bool categories_given = false;
  bool runs_given = false;
  bool chains_given = false;
  for (int i = 0; i < argc; ++i) {
    const std::string arg = argv[i];
    std::string value;
    if (i == 0 || arg.rfind("--", 0) != 0) {
      options.positional.push_back(arg);
    } else if (arg == "--help") {
      options.help = true;
    } else if (arg == "--version") {
      options.version = true;
    } else if (arg == "--fasta") {
      options.fasta = true;
    } else if (TakeValue(arg, "--mrbayes", value)) {
      options.run.dialect = ParseDialect(value);
    } else if (TakeValue(arg, "--ngen", value)) {
      options.run.ngen = ParseCount("--ngen", value);
    } else if (TakeValue(arg, "--samplefreq", value)) {
      options.run.samplefreq = ParseCount("--samplefreq", value);
    } else if (TakeValue(arg, "--nruns", value)) {
      options.run.nruns = ParseCount("--nruns", value);
      runs_given = true;
    } else if (TakeValue(arg, "--nchains", value)) {
      options.run.nchains = ParseCount("--nchains", value);
      chains_given = true;
    } else if (TakeValue(arg, "--rates", value)) {
      options.run.gamma_rates = ParseRates(value);
    } else if (TakeValue(arg, "--ngammacat", value)) {
      options.run.gamma_categories = ParseGammaCategories(value);
      categories_given = true;
    } else {
      Fail("Unknown option '" + arg + "'.\n" + kPairnexUsage);
    }
  }
  if (options.run.dialect == MrBayesDialect::k31) {
    // The original text, byte for byte: one run of one chain.
    if (!runs_given) options.run.nruns = 1;
    if (!chains_given) options.run.nchains = 1;
  }
  if (categories_given && !options.run.gamma_rates) {
    Fail("--ngammacat needs --rates=gamma: with equal rates there are no gamma categories.\n" +
         std::string(kPairnexUsage));
  }
  if (options.run.samplefreq > options.run.ngen) {
    // The chain would keep only its starting state: nothing to summarise.
    Fail("--samplefreq=" + std::to_string(options.run.samplefreq) + " exceeds --ngen=" +
         std::to_string(options.run.ngen) + ": the chain would keep no sample.\n" + kPairnexUsage);
  }
  return options;
}

std::string PairnexHelp() {
  const MrBayesRun defaults;
  return std::string(kPairnexUsage) +
         "\n\n"
         "Writes output_file, a NEXUS file whose MrBayes block models the stem pairs of\n"
         "data_file's structure with the doublet model and its loops with the 4by4 model.\n"
         "Without arguments, asks for both file names.\n\n"
         "  --mrbayes=3.1|3.2  write the text for this MrBayes (default 3.2; 3.1: the\n"
         "                     original text, which MrBayes 3.2 stops at after the chain)\n"
         "  --ngen=N           generations of the chain (default " +
         std::to_string(defaults.ngen) +
         ")\n"
         "  --samplefreq=N     sample and print every N generations (default " +
         std::to_string(defaults.samplefreq) +
         ");\n"
         "                     the burn-in is half of the samples\n"
         "  --nruns=N          independent runs (default " +
         std::to_string(defaults.nruns) +
         "; 1 with --mrbayes=3.1); two or more\n"
         "                     give MrBayes's convergence diagnostics (PSRF, split\n"
         "                     frequencies)\n"
         "  --nchains=N        chains per run (default " +
         std::to_string(defaults.nchains) +
         "; 1 with --mrbayes=3.1)\n"
         "  --rates=gamma      gamma-distributed rates across sites (default: equal),\n"
         "                     each partition with its own shape (ribotrace reads it)\n"
         "  --ngammacat=N      gamma categories, 2 to 20 (default " +
         std::to_string(defaults.gamma_categories) +
         "; with --rates=gamma;\n"
         "                     give ribotrace the same --ngammacat)\n"
         "  --fasta            write output_file as FASTA (names as in the NEXUS file)\n"
         "                     for a tree builder such as IQ-TREE, then ribotrace --fit\n"
         "  --help             show this text\n"
         "  --version          show the version\n";
}

void GetInputValues(const std::vector<std::string>& args, bool use_command_line,
                    std::string& data_file, std::string& output_file, std::istream& in) {
  if (use_command_line) {
    if (args.size() == 2) {
      Fail("GetInputValues Error: No output file name was given after '" + args[1] + "'.\n" +
           kPairnexUsage);
    }
    if (args.size() > 3) {
      Fail("GetInputValues Error: Unexpected argument '" + args[3] +
           "'; pairnex takes two file names.\n" + kPairnexUsage);
    }
    data_file = args[1];
    output_file = args[2];
    return;
  }

  std::printf("######################## INPUT OPTIONS ###########################\n");
  Prompt("\tEnter data/structure filename > ");
  if (!(in >> data_file)) Fail("GetInputValues Error: The input ended before a data file name.");
  Prompt("\tEnter output filename > ");
  if (!(in >> output_file)) {
    Fail("GetInputValues Error: The input ended before an output file name.");
  }
  std::printf("##################################################################\n\n");
}

}  // namespace pairnex
