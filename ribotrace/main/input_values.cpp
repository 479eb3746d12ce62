#include "input_values.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "bailout/bailout.h"
#include "base/comma_list.h"
#include "base/random_source.h"

namespace {

// Leading decimal digits as strtol reads them (0 when there are none),
// saturated to the range of int.
int LeadingInteger(const std::string& text) {
  errno = 0;
  const long value = std::strtol(text.c_str(), nullptr, 10);
  if (value > INT_MAX) return INT_MAX;
  if (value < INT_MIN) return INT_MIN;
  return static_cast<int>(value);
}

std::int32_t ParseSeed(const std::string& text) {
  long long seed = 0;
  const char* end = text.data() + text.size();
  const auto [ptr, ec] = std::from_chars(text.data(), end, seed);
  if (ec != std::errc() || ptr != end || seed < 1 || seed >= kRandomModulus) {
    Fail("Invalid value '" + text + "' for --seed: expected an integer from 1 to 2147483646.");
  }
  return static_cast<std::int32_t>(seed);
}

int ParseThreads(const std::string& text) {
  int threads = 0;
  const char* end = text.data() + text.size();
  const auto [ptr, ec] = std::from_chars(text.data(), end, threads);
  if (ec != std::errc() || ptr != end || threads < 0 || threads > 1024) {
    Fail("Invalid value '" + text +
         "' for --threads: expected an integer from 0 (every core) to 1024.");
  }
  return threads;
}

int ParseGammaCategories(const std::string& text) {
  int count = 0;
  const char* end = text.data() + text.size();
  const auto [ptr, ec] = std::from_chars(text.data(), end, count);
  if (ec != std::errc() || ptr != end || count < kMinGammaCategories ||
      count > kMaxGammaCategories) {
    Fail("Invalid value '" + text + "' for --ngammacat: expected an integer from " +
         std::to_string(kMinGammaCategories) + " to " + std::to_string(kMaxGammaCategories) +
         ".");
  }
  return count;
}

// A share such as --burnin=0.25: a finite number in [low, high], or below
// high when the high end is open.
double ParseShare(const std::string& option, const std::string& text, bool high_open) {
  double value = 0.0;
  const char* end = text.data() + text.size();
  const auto [ptr, ec] = std::from_chars(text.data(), end, value);
  if (ec != std::errc() || ptr != end || !(value >= 0.0) ||
      (high_open ? !(value < 1.0) : !(value <= 1.0))) {
    Fail("Invalid value '" + text + "' for " + option + ": expected a number from 0 to 1" +
         (high_open ? " (1 excluded)." : "."));
  }
  return value;
}

int ParseTrees(const std::string& text) {
  int trees = 0;
  const char* end = text.data() + text.size();
  const auto [ptr, ec] = std::from_chars(text.data(), end, trees);
  if (ec != std::errc() || ptr != end || trees < 1 || trees > 1000000) {
    Fail("Invalid value '" + text + "' for --trees: expected an integer from 1 to 1000000.");
  }
  return trees;
}

std::vector<std::string> ParseOutgroup(const std::string& text) {
  std::vector<std::string> names = SplitAtCommas(text);
  if (HasEmptyPiece(names)) {
    Fail("Invalid value '" + text + "' for --outgroup: expected taxon names separated by commas.");
  }
  return names;
}

bool ParseGapRule(const std::string& text) {
  if (text != "column" && text != "tree") {
    Fail("Invalid value '" + text + "' for --gaps: expected column or tree.");
  }
  return text == "tree";
}

void Prompt(const char* text) {
  std::fputs(text, stdout);
  std::fflush(stdout);
}

template <typename T>
bool Answer(std::istream& in, T& value) {
  return static_cast<bool>(in >> value);
}

}  // namespace

EntryOptions ParseEntryOptions(int argc, const char* const* argv) {
  EntryOptions options;
  for (int i = 0; i < argc; ++i) {
    const std::string arg = argv[i];
    if (i == 0 || arg.rfind("--", 0) != 0) {
      options.positional.push_back(arg);
      continue;
    }
    // A second value would silently win over the first.
    const std::string name = arg.substr(0, arg.find('='));
    if (std::find(options.given.begin(), options.given.end(), name) != options.given.end()) {
      Fail("The option " + name + " is given twice; give it once.");
    }
    options.given.push_back(name);
    if (arg == "--help") {
      options.help = true;
    } else if (arg == "--version") {
      options.version = true;
    } else if (arg == "--marginal") {
      options.marginal = true;
    } else if (arg == "--classic") {
      options.classic = true;
    } else if (arg == "--loglik") {
      options.loglik = true;
    } else if (arg.rfind("--seed=", 0) == 0) {
      options.seed = ParseSeed(arg.substr(7));
    } else if (arg.rfind("--threads=", 0) == 0) {
      options.threads = ParseThreads(arg.substr(10));
    } else if (arg == "--state") {
      options.state = true;
    } else if (arg == "--report") {
      options.report = true;
    } else if (arg.rfind("--gaps=", 0) == 0) {
      options.gaps_on_tree = ParseGapRule(arg.substr(7));
    } else if (arg.rfind("--outgroup=", 0) == 0) {
      options.outgroup = ParseOutgroup(arg.substr(11));
    } else if (arg.rfind("--ngammacat=", 0) == 0) {
      options.gamma_categories = ParseGammaCategories(arg.substr(12));
    } else if (arg.rfind("--burnin=", 0) == 0) {
      options.burnin = ParseShare("--burnin", arg.substr(9), true);
    } else if (arg.rfind("--trees=", 0) == 0) {
      options.n_trees = ParseTrees(arg.substr(8));
    } else if (arg.rfind("--min-clade=", 0) == 0) {
      options.min_clade = ParseShare("--min-clade", arg.substr(12), false);
    } else if (arg == "--allow-lnl-mismatch") {
      options.allow_lnl_mismatch = true;
    } else if (arg == "--timings") {
      options.timings = true;
    } else {
      Fail("Unknown option '" + arg + "'.\n" + kRibotraceUsage);
    }
  }
  if (options.classic && options.marginal) {
    Fail("--classic and --marginal ask for different posteriors; give one of them.");
  }
  return options;
}

int GetInputValues(const std::vector<std::string>& args, bool use_command_line, RunValues& values,
                   std::istream& in) {
  if (use_command_line) {
    // Nine values are required; a tenth switches diagnostics on. Any further
    // argument is ignored, and then so is the tenth.
    const std::size_t given = args.size() - 1;
    if (given < 9) return 1;
    values.data_file = args[1];
    values.tree_file = args[2];
    values.param_file = args[3];
    values.out_file = args[4];
    values.is_harmonic = LeadingInteger(args[5]);
    values.lambda = std::strtod(args[6].c_str(), nullptr);
    values.n_samples = LeadingInteger(args[7]);
    values.include_data = LeadingInteger(args[8]);
    values.condition_on_pairs = LeadingInteger(args[9]);
    values.show_debug = given == 10 ? LeadingInteger(args[10]) : 0;
    return 0;
  }

  std::printf("############################### INPUT OPTIONS #############################\n");
  Prompt("\tEnter data/structure filename > ");
  if (!Answer(in, values.data_file)) return 1;
  Prompt("\tEnter tree filename > ");
  if (!Answer(in, values.tree_file)) return 1;
  Prompt("\tEnter parameter filename > ");
  if (!Answer(in, values.param_file)) return 1;
  Prompt("\tEnter output filename > ");
  if (!Answer(in, values.out_file)) return 1;
  Prompt("\tEnter 1 to use harmonic mean, 0 otherwise > ");
  double harmonic = 0.0;
  // Read as a number and truncated toward zero, so 1.7 means 1.
  if (!Answer(in, harmonic) || !std::isfinite(harmonic) || std::fabs(harmonic) >= 2147483648.0) {
    return 1;
  }
  values.is_harmonic = static_cast<int>(harmonic);
  Prompt("\tEnter tuning parameter lambda > ");
  if (!Answer(in, values.lambda)) return 1;
  Prompt("\tEnter number of ancestral samples > ");
  if (!Answer(in, values.n_samples)) return 1;
  Prompt("\tTo include original data in output enter 1, otherwise enter 0 > ");
  if (!Answer(in, values.include_data)) return 1;
  Prompt("\tCondition on freq of pairs 1, otherwise unconditional 0 > ");
  if (!Answer(in, values.condition_on_pairs)) return 1;
  Prompt("\tTo show debug info enter 1, otherwise enter 0 > ");
  if (!Answer(in, values.show_debug)) return 1;
  std::printf("###########################################################################\n\n");
  return 0;
}
