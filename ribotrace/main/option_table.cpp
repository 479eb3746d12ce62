#include "option_table.h"

#include <algorithm>
#include <cstdio>

#include "bailout/bailout.h"

namespace {

// The rows (option_rows.cpp): constant arrays, so their spans are valid
// before any of this file runs.
const std::span<const OptionRow> kOptions = RibotraceOptions();
const std::span<const ValueRow> kValues = RibotraceValues();

// The nine values a run needs; the tenth (show_debug) is optional.
constexpr std::size_t kRequiredValues = 9;

// "  name" and its help in the 22-column layout of --help: a name longer
// than the field gets a line of its own.
void AppendHelpRow(std::string& text, const std::string& label, std::string_view help) {
  constexpr std::size_t kField = 20;
  text += "  " + label;
  if (label.size() < kField - 1) {
    text.append(kField - label.size(), ' ');
  } else {
    text += "\n" + std::string(kField + 2, ' ');
  }
  for (std::size_t at = 0;;) {
    const std::size_t end = help.find('\n', at);
    text += std::string(help.substr(at, end - at)) + "\n";
    if (end == std::string_view::npos) break;
    at = end + 1;
    text.append(kField + 2, ' ');
  }
}

std::string Label(const OptionRow& row) {
  std::string label(row.name);
  if (!row.argument.empty()) label.append("=").append(row.argument);
  return label;
}

// The names of the values, wrapped as the help's lines are.
std::string NamedValuesLine() {
  std::string text = "Each value may also be given by name, among the options:";
  std::size_t line_start = 0;
  for (const ValueRow& row : kValues) {
    std::string item = " ";
    item.append(row.option)
        .append("=")
        .append(row.kind)
        .append(&row == &kValues.back() ? "." : ",");
    if (text.size() - line_start + item.size() > 94) {
      text += "\n";
      line_start = text.size();
      text += item.substr(1);
    } else {
      text += item;
    }
  }
  return text + "\n";
}

const ValueRow* FindValue(std::string_view option) {
  for (const ValueRow& row : kValues) {
    if (row.option == option) return &row;
  }
  return nullptr;
}

const OptionRow* FindOption(std::string_view name) {
  for (const OptionRow& row : kOptions) {
    if (row.name == name) return &row;
  }
  return nullptr;
}

bool Contains(const std::vector<std::string>& list, std::string_view item) {
  return std::find(list.begin(), list.end(), item) != list.end();
}

void Prompt(std::string_view text) {
  std::fwrite(text.data(), 1, text.size(), stdout);
  std::fflush(stdout);
}

}  // namespace

std::string RibotraceUsage() {
  std::string usage = "Usage: ribotrace";
  for (const OptionRow& row : kOptions) {
    if (row.name != "--help" && row.name != "--version") usage += " [" + Label(row) + "]";
  }
  for (std::size_t v = 0; v < kValues.size(); ++v) {
    const std::string name(kValues[v].name);
    usage += " " + (v < kRequiredValues ? name : "[" + name + "]");
  }
  return usage;
}

std::string RibotraceHelp() {
  std::string text =
      "\n"
      "Posterior probabilities and samples of the ancestral states of an RNA alignment, on the "
      "tree\n"
      "and parameters MrBayes estimated with a doublet model for stems and a GTR model for loops.\n"
      "Without values ribotrace asks for each of them.\n"
      "\n"
      "Values, in this order:\n";
  for (const ValueRow& row : kValues) AppendHelpRow(text, std::string(row.name), row.help);
  text += NamedValuesLine() + "\nOptions:\n";
  for (const OptionRow& row : kOptions) AppendHelpRow(text, Label(row), row.help);
  return text;
}

CommandLine ParseCommandLine(int argc, const char* const* argv) {
  CommandLine line;
  for (int i = 0; i < argc; ++i) {
    const std::string arg = argv[i];
    if (i == 0 || arg.rfind("--", 0) != 0) {
      line.positional.push_back(arg);
      continue;
    }
    const std::size_t equals = arg.find('=');
    const std::string name = arg.substr(0, equals);
    const std::string text = equals == std::string::npos ? "" : arg.substr(equals + 1);
    // A second value would silently win over the first.
    if (Contains(line.given, name)) Fail("The option " + name + " is given twice; give it once.");
    line.given.push_back(name);
    if (const ValueRow* value = FindValue(name); value != nullptr && equals != std::string::npos) {
      value->set_named(text, line.values);
      line.named.emplace_back(value->name);
      continue;
    }
    const OptionRow* option = FindOption(name);
    // A switch takes no text; an option with an argument needs one.
    if (option == nullptr || option->argument.empty() != (equals == std::string::npos)) {
      Fail("Unknown option '" + arg + "'.\n" + RibotraceUsage());
    }
    option->set(text, line);
    if (option->applies == Applies::kSampleRun) line.values.sample_options_given.push_back(name);
  }
  if (Contains(line.given, "--classic") && Contains(line.given, "--marginal")) {
    Fail("--classic and --marginal ask for different posteriors; give one of them.");
  }
  if (Contains(line.given, "--classic") && line.values.changes) {
    Fail(
        "--changes needs the exact posteriors of each branch's two ends, which --classic does "
        "not compute; leave out --classic.");
  }
  return line;
}

int GetInputValues(const std::vector<std::string>& args, bool use_command_line, RunValues& values,
                   std::istream& in) {
  if (use_command_line) {
    // Nine values are required; a tenth switches diagnostics on. Any further
    // argument is ignored, and then so is the tenth.
    const std::size_t given = args.size() - 1;
    if (given < kRequiredValues) return 1;
    for (std::size_t v = 0; v < kRequiredValues; ++v)
      kValues[v].set_positional(args[v + 1], values);
    values.show_debug = 0;
    if (given == kValues.size()) kValues.back().set_positional(args.back(), values);
    return 0;
  }
  std::printf("############################### INPUT OPTIONS #############################\n");
  for (const ValueRow& row : kValues) {
    Prompt(row.prompt);
    if (!row.answer(in, values)) return 1;
  }
  std::printf("###########################################################################\n\n");
  return 0;
}

void CompleteNamedValues(CommandLine& line) {
  const std::size_t positional = line.positional.size() - 1;
  std::vector<std::string> missing;
  for (std::size_t v = 0; v < kValues.size(); ++v) {
    const ValueRow& row = kValues[v];
    const bool named = Contains(line.named, row.name);
    // The tenth value counts by position only as the tenth of ten.
    const bool by_position = v < kRequiredValues ? v < positional : positional == kValues.size();
    if (named && by_position) {
      Fail("The value " + std::string(row.name) + " is given both by position and as " +
           std::string(row.option) + "=; give it once.");
    }
    if (by_position) row.set_positional(line.positional[v + 1], line.values);
    if (!named && !by_position && v < kRequiredValues) {
      missing.push_back(std::string(row.option).append("=").append(row.kind));
    }
  }
  if (!missing.empty()) {
    std::string list;
    for (const std::string& item : missing) list += (list.empty() ? "" : ", ") + item;
    Fail("Some run values are missing: give " + list + " (or every value by position).\n" +
         RibotraceUsage());
  }
}
