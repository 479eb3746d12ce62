// The rows of ribotrace's options and run values, and how each reads its
// text.
#include "option_table.h"

#include <algorithm>
#include <array>
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

[[noreturn]] void Invalid(std::string_view option, const std::string& text,
                          const std::string& expected) {
  Fail("Invalid value '" + text + "' for " + std::string(option) + ": expected " + expected + ".");
}

// A whole number in [low, high], all of the text.
template <typename T>
T Whole(std::string_view option, const std::string& text, T low, T high,
        const std::string& expected) {
  T value{};
  const char* end = text.data() + text.size();
  const auto [ptr, ec] = std::from_chars(text.data(), end, value);
  if (ec != std::errc() || ptr != end || value < low || value > high) {
    Invalid(option, text, expected);
  }
  return value;
}

// A finite number, all of the text.
double Number(std::string_view option, const std::string& text, const std::string& expected) {
  double value = 0.0;
  const char* end = text.data() + text.size();
  const auto [ptr, ec] = std::from_chars(text.data(), end, value);
  if (ec != std::errc() || ptr != end || !std::isfinite(value)) Invalid(option, text, expected);
  return value;
}

// A share such as --burnin=0.25: in [0, 1], or [0, 1) when the top is open.
double Share(std::string_view option, const std::string& text, bool high_open) {
  const std::string expected =
      std::string("a number from 0 to 1") + (high_open ? " (1 excluded)" : "");
  const double value = Number(option, text, expected);
  if (!(value >= 0.0) || (high_open ? !(value < 1.0) : !(value <= 1.0))) {
    Invalid(option, text, expected);
  }
  return value;
}

// Leading decimal digits as strtol reads them (0 when there are none),
// saturated to the range of int: how the values were always read.
int LeadingInteger(const std::string& text) {
  errno = 0;
  const long value = std::strtol(text.c_str(), nullptr, 10);
  if (value > INT_MAX) return INT_MAX;
  if (value < INT_MIN) return INT_MIN;
  return static_cast<int>(value);
}

int AnyInteger(std::string_view option, const std::string& text) {
  return Whole<int>(option, text, INT_MIN, INT_MAX, "an integer");
}

std::string FileName(std::string_view option, const std::string& text) {
  if (text.empty()) Invalid(option, text, "a file name");
  return text;
}

template <typename T>
bool Answer(std::istream& in, T& value) {
  return static_cast<bool>(in >> value);
}

// Read as a number and truncated toward zero, so 1.7 means 1.
bool AnswerHarmonic(std::istream& in, RunValues& values) {
  double harmonic = 0.0;
  if (!Answer(in, harmonic) || !std::isfinite(harmonic) || std::fabs(harmonic) >= 2147483648.0) {
    return false;
  }
  values.is_harmonic = static_cast<int>(harmonic);
  return true;
}

// clang-format off
constexpr std::array kOptions = {
  OptionRow{"--marginal", "", "exact marginal posteriors under MrBayes's model (the default)",
    [](const std::string&, CommandLine& line) { line.values.marginal = true; }},
  OptionRow{"--classic", "", "the earlier three-neighbour posteriors instead, as earlier versions\n"
    "computed them by default (reproduces their results)",
    [](const std::string&, CommandLine& line) { line.values.marginal = false; }},
  OptionRow{"--state", "", "also write the per-site tables out_file.state and out_file.pairs\n"
    "(default: off)",
    [](const std::string&, CommandLine& line) { line.values.state_tables = true; }},
  OptionRow{"--report", "", "also write out_file.html: the tree, each node's sequence on the\n"
    "structure coloured by its posterior, the stems' covariation\n(default: off)",
    [](const std::string&, CommandLine& line) { line.values.report = true; }},
  OptionRow{"--changes", "", "also write what happened on each branch: out_file.changes (per\n"
    "stem pair: compensatory, one-sided, broken and restored pairs,\n"
    "expected substitutions) and out_file.branches (their sums per\n"
    "branch) (default: off)",
    [](const std::string&, CommandLine& line) { line.values.changes = true; }},
  OptionRow{"--gaps", "column|tree|indel", "where the samples' gaps come from: each column's gap frequency\n"
    "(column, the default), or the gaps reconstructed on the tree,\n"
    "stems gapped as a pair, as characters lost and regained anywhere\n"
    "(tree) or inserted once and deleted below (indel); the tables'\n"
    "p_gap and the gaps of out_file.map.fa always come from a\n"
    "reconstruction: tree's with tree, else indel's",
    [](const std::string& text, CommandLine& line) {
      if (text != "column" && text != "tree" && text != "indel") {
        Invalid("--gaps", text, "column, tree or indel");
      }
      line.values.gaps_on_tree = text != "column";
      line.values.gap_model = text == "tree" ? GapModel::kTwoState : GapModel::kIndel;
    }},
  OptionRow{"--outgroup", "NAME[,NAME...]", "root the tree halfway along the branch above these taxa (default: as\n"
    "the tree file is written, halfway along the last taxon's branch)",
    [](const std::string& text, CommandLine& line) {
      line.values.outgroup = SplitAtCommas(text);
      if (HasEmptyPiece(line.values.outgroup)) {
        Invalid("--outgroup", text, "taxon names separated by commas");
      }
    }},
  OptionRow{"--loglik", "", "print the log-likelihood of the data (default: off)",
    [](const std::string&, CommandLine& line) { line.values.loglik = true; }},
  OptionRow{"--fit", "", "estimate the model and the branch lengths on the tree's topology by\n"
    "maximum likelihood (param_file '-'), write out_file.fit.pstat and\n"
    "out_file.fit.tre, then analyse under them (default: off)",
    [](const std::string&, CommandLine& line) { line.values.fit = true; }},
  OptionRow{"--rates", "equal|gamma", "with --fit: equal site rates, or a gamma shape per partition\n"
    "(--ngammacat categories) (default: equal)",
    [](const std::string& text, CommandLine& line) {
      if (text != "equal" && text != "gamma") Invalid("--rates", text, "equal or gamma");
      line.values.fit_gamma = text == "gamma";
    }},
  OptionRow{"--freqs", "estimated|empirical", "with --fit: frequencies estimated, or counted from the data\n"
    "(default: estimated)",
    [](const std::string& text, CommandLine& line) {
      if (text != "estimated" && text != "empirical") Invalid("--freqs", text, "estimated or empirical");
      line.values.empirical_frequencies = text == "empirical";
    }},
  OptionRow{"--ngammacat", "N", "categories of the gamma rates when the parameter file has alpha\n"
    "rows, 2 to 20, as in MrBayes's lset ngammacat (default: 4)",
    [](const std::string& text, CommandLine& line) {
      line.values.gamma_categories = Whole(
          "--ngammacat", text, kMinGammaCategories, kMaxGammaCategories,
          "an integer from " + std::to_string(kMinGammaCategories) + " to " +
              std::to_string(kMaxGammaCategories));
    }},
  OptionRow{"--burnin", "F", "with .t/.p files: the share of each run's samples dropped, rounded\n"
    "down as MrBayes does (default: 0.25)",
    [](const std::string& text, CommandLine& line) {
      line.values.burnin = Share("--burnin", text, true);
    }, Applies::kSampleRun},
  OptionRow{"--trees", "N", "with .t/.p files: the samples used, spread evenly (default: 100)",
    [](const std::string& text, CommandLine& line) {
      line.values.n_trees = Whole("--trees", text, 1, 1000000, "an integer from 1 to 1000000");
    }, Applies::kSampleRun},
  OptionRow{"--min-clade", "F", "with .t/.p files: the share of the used trees a clade must be in to\n"
    "get results (default: 0.5)",
    [](const std::string& text, CommandLine& line) {
      line.values.min_clade = Share("--min-clade", text, false);
    }, Applies::kSampleRun},
  OptionRow{"--allow-lnl-mismatch", "", "with .t/.p files: run even where the log-likelihoods differ from\n"
    "MrBayes's LnL (default: such a run stops)",
    [](const std::string&, CommandLine& line) { line.values.allow_lnl_mismatch = true; },
    Applies::kSampleRun},
  OptionRow{"--seed", "N", "seed of the random stream, 1 to 2147483646 (default: the clock)",
    [](const std::string& text, CommandLine& line) {
      line.values.seed = Whole<std::int32_t>("--seed", text, 1, kRandomModulus - 1,
                                             "an integer from 1 to 2147483646");
    }},
  OptionRow{"--threads", "N", "threads that fit the model and draw the samples, 0 for every core (default: 1)",
    [](const std::string& text, CommandLine& line) {
      line.values.threads = Whole("--threads", text, 0, 1024, "an integer from 0 (every core) to 1024");
    }},
  OptionRow{"--timings", "", "print the time and memory of every stage on standard error\n"
    "(default: off)",
    [](const std::string&, CommandLine& line) { line.values.timings = true; }},
  OptionRow{"--help", "", "this text",
    [](const std::string&, CommandLine& line) { line.help = true; }},
  OptionRow{"--version", "", "the version",
    [](const std::string&, CommandLine& line) { line.version = true; }},
};

constexpr std::array kValues = {
  ValueRow{"data_file", "--data-file", "FILE", "the alignment-and-structure file",
    "\tEnter data/structure filename > ",
    [](const std::string& text, RunValues& values) { values.data_file = text; },
    [](const std::string& text, RunValues& values) { values.data_file = FileName("--data-file", text); },
    [](std::istream& in, RunValues& values) { return Answer(in, values.data_file); }},
  ValueRow{"tree_file", "--tree-file", "FILE", "MrBayes tree file (.con.tre, or .t: its last tree); with .p parameter\n"
    "files, the runs' sampled trees: x.nex.run1.t,x.nex.run2.t",
    "\tEnter tree filename > ",
    [](const std::string& text, RunValues& values) { values.tree_file = text; },
    [](const std::string& text, RunValues& values) { values.tree_file = FileName("--tree-file", text); },
    [](std::istream& in, RunValues& values) { return Answer(in, values.tree_file); }},
  ValueRow{"param_file", "--param-file", "FILE", "MrBayes parameter summary (.pstat), or the runs' sampled parameters\n"
    "(x.nex.run1.p,x.nex.run2.p): then the results integrate over MrBayes's\n"
    "posterior sample of trees and parameters, by clade",
    "\tEnter parameter filename > ",
    [](const std::string& text, RunValues& values) { values.param_file = text; },
    [](const std::string& text, RunValues& values) { values.param_file = FileName("--param-file", text); },
    [](std::istream& in, RunValues& values) { return Answer(in, values.param_file); }},
  ValueRow{"out_file", "--out-file", "FILE", "results file; .par, .tree, .map.fa (.state, .pairs, .html) are named after it",
    "\tEnter output filename > ",
    [](const std::string& text, RunValues& values) { values.out_file = text; },
    [](const std::string& text, RunValues& values) { values.out_file = FileName("--out-file", text); },
    [](std::istream& in, RunValues& values) { return Answer(in, values.out_file); }},
  ValueRow{"is_harmonic", "--is-harmonic", "0|1", "1: hidden branches last the harmonic mean of the branch lengths, 0: 1",
    "\tEnter 1 to use harmonic mean, 0 otherwise > ",
    [](const std::string& text, RunValues& values) { values.is_harmonic = LeadingInteger(text); },
    [](const std::string& text, RunValues& values) {
      values.is_harmonic = Whole("--is-harmonic", text, 0, 1, "0 or 1");
    },
    AnswerHarmonic},
  ValueRow{"lambda", "--lambda", "X", "factor applied to the hidden branch length",
    "\tEnter tuning parameter lambda > ",
    [](const std::string& text, RunValues& values) { values.lambda = std::strtod(text.c_str(), nullptr); },
    [](const std::string& text, RunValues& values) {
      values.lambda = Number("--lambda", text, "a number");
    },
    [](std::istream& in, RunValues& values) { return Answer(in, values.lambda); }},
  ValueRow{"n_samples", "--samples", "N", "ancestral samples drawn per interior node",
    "\tEnter number of ancestral samples > ",
    [](const std::string& text, RunValues& values) { values.n_samples = LeadingInteger(text); },
    [](const std::string& text, RunValues& values) {
      values.n_samples = Whole("--samples", text, 0, INT_MAX, "an integer from 0");
    },
    [](std::istream& in, RunValues& values) { return Answer(in, values.n_samples); }},
  ValueRow{"include_data", "--include-data", "N", "non-zero: copy the input sequences into out_file",
    "\tTo include original data in output enter 1, otherwise enter 0 > ",
    [](const std::string& text, RunValues& values) { values.include_data = LeadingInteger(text); },
    [](const std::string& text, RunValues& values) {
      values.include_data = AnyInteger("--include-data", text);
    },
    [](std::istream& in, RunValues& values) { return Answer(in, values.include_data); }},
  ValueRow{"condition_on_pairs", "--condition-on-pairs", "N", "1: condition sampled stem pairs on the column's canonical pair share",
    "\tCondition on freq of pairs 1, otherwise unconditional 0 > ",
    [](const std::string& text, RunValues& values) { values.condition_on_pairs = LeadingInteger(text); },
    [](const std::string& text, RunValues& values) {
      values.condition_on_pairs = AnyInteger("--condition-on-pairs", text);
    },
    [](std::istream& in, RunValues& values) { return Answer(in, values.condition_on_pairs); }},
  ValueRow{"show_debug", "--show-debug", "N", "optional tenth value, non-zero: print every intermediate result",
    "\tTo show debug info enter 1, otherwise enter 0 > ",
    [](const std::string& text, RunValues& values) { values.show_debug = LeadingInteger(text); },
    [](const std::string& text, RunValues& values) {
      values.show_debug = AnyInteger("--show-debug", text);
    },
    [](std::istream& in, RunValues& values) { return Answer(in, values.show_debug); }},
};
// clang-format on

}  // namespace

std::span<const OptionRow> RibotraceOptions() { return kOptions; }
std::span<const ValueRow> RibotraceValues() { return kValues; }
