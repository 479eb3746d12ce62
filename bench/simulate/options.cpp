#include "options.h"

#include <charconv>
#include <stdexcept>
#include <string_view>

namespace sim {
namespace {

template <typename T>
T Parse(std::string_view option, std::string_view text) {
  T value{};
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size()) {
    throw std::invalid_argument("option " + std::string(option) + ": '" + std::string(text) +
                                "' is not a number");
  }
  return value;
}

// "A,B" into two numbers.
void ParsePair(std::string_view option, std::string_view text, double& first, double& second) {
  const std::size_t comma = text.find(',');
  if (comma == std::string_view::npos)
    throw std::invalid_argument("option " + std::string(option) +
                                " takes two numbers, stems first: A,B");
  first = Parse<double>(option, text.substr(0, comma));
  second = Parse<double>(option, text.substr(comma + 1));
}

void Validate(const Options& o) {
  if (o.folder.empty()) throw std::invalid_argument("no output folder given");
  if (o.tree_file.empty() && o.taxa < 3) throw std::invalid_argument("--taxa must be 3 or more");
  if (!(o.mean_length > 0.0)) throw std::invalid_argument("--mean-length must be positive");
  if (o.stems < 0 || o.loops < 0 || o.stems + o.loops == 0)
    throw std::invalid_argument("--stems and --loops must not be negative, nor both 0");
  if (o.categories < 1 || o.indel_categories < 1)
    throw std::invalid_argument("categories must be 1 or more");
  if (o.deletion_rate < 0.0 || o.insertion_rate < 0.0 || o.indel_shape < 0.0)
    throw std::invalid_argument("indel rates and shape must not be negative");
  if (o.insertion_rate > 0.0 && o.deletion_rate == 0.0)
    throw std::invalid_argument(
        "--insertion-rate needs --deletion-rate: the root's characters are lambda/mu");
}

}  // namespace

const char* const kUsage =
    "usage: simulate [options] OUT_FOLDER\n"
    "  --taxa=N              random rooted tree of N taxa t1..tN (50)\n"
    "  --tree=FILE           the tree of a Newick file instead (with lengths)\n"
    "  --mean-length=X       mean branch length of the random tree (0.05)\n"
    "  --structure=BRACKETS  the consensus structure ('(' ')' '-' '.')\n"
    "  --stems=N --loops=N   else a random structure of N pairs and N unpaired columns (60, 180)\n"
    "  --params=FILE         a MrBayes .pstat (default: built-in values)\n"
    "  --alpha=A1,A2         gamma shapes of stems and loops, 0 for equal rates\n"
    "  --categories=K        gamma categories (4)\n"
    "  --multipliers=M1,M2   partition rate multipliers, written as m{1} and m{2}\n"
    "  --deletion-rate=MU    switches on the indel process\n"
    "  --insertion-rate=L    default MU x (stems + loops): that many characters at the root on "
    "average\n"
    "  --indel-shape=A       gamma-distributed indel rate multipliers per character (0: equal)\n"
    "  --indel-categories=K  their categories (4)\n"
    "  --no-anchors          no never-deleted loop column at each end\n"
    "  --seed=N              (1)\n";

Options ParseOptions(int argc, char** argv) {
  Options o;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg.substr(0, 2) != "--") {
      if (!o.folder.empty())
        throw std::invalid_argument("more than one output folder: '" + std::string(arg) + "'");
      o.folder = arg;
      continue;
    }
    const std::size_t eq = arg.find('=');
    const std::string_view name = arg.substr(0, eq);
    const std::string_view value = eq == std::string_view::npos ? "" : arg.substr(eq + 1);
    if (name == "--taxa")
      o.taxa = Parse<int>(name, value);
    else if (name == "--tree")
      o.tree_file = value;
    else if (name == "--mean-length")
      o.mean_length = Parse<double>(name, value);
    else if (name == "--structure")
      o.structure = value;
    else if (name == "--stems")
      o.stems = Parse<int>(name, value);
    else if (name == "--loops")
      o.loops = Parse<int>(name, value);
    else if (name == "--params")
      o.params_file = value;
    else if (name == "--alpha")
      ParsePair(name, value, o.stem_alpha, o.loop_alpha);
    else if (name == "--categories")
      o.categories = Parse<int>(name, value);
    else if (name == "--multipliers")
      ParsePair(name, value, o.stem_multiplier, o.loop_multiplier);
    else if (name == "--deletion-rate")
      o.deletion_rate = Parse<double>(name, value);
    else if (name == "--insertion-rate")
      o.insertion_rate = Parse<double>(name, value);
    else if (name == "--indel-shape")
      o.indel_shape = Parse<double>(name, value);
    else if (name == "--indel-categories")
      o.indel_categories = Parse<int>(name, value);
    else if (name == "--no-anchors")
      o.anchors = false;
    else if (name == "--seed")
      o.seed = Parse<std::uint64_t>(name, value);
    else
      throw std::invalid_argument("unknown option '" + std::string(arg) + "'");
  }
  Validate(o);
  return o;
}

}  // namespace sim
