// Every option and every run value of ribotrace, each in one row: its name,
// its argument, its help, how its text is read and where it applies. The
// parser, the checks of combinations, the prompts, the usage line and
// --help all come from these rows, so that an option is added in one place.
#pragma once

#include <istream>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "run/run_values.h"

// What the command line asks for: the run values it sets, and what is not a
// run value.
struct CommandLine {
  RunValues values;
  bool help = false;
  bool version = false;
  std::vector<std::string> positional;  // program name first
  std::vector<std::string> given;       // the options given, as --name
  std::vector<std::string> named;       // the run values given by name, as data_file, ...
};

// Where an option does something: everywhere, or only in a run over
// MrBayes's sampled trees and parameters (.t and .p), where a parameter
// summary refuses it rather than ignore it.
enum class Applies { kEveryRun, kSampleRun };

struct OptionRow {
  std::string_view name;      // "--seed"
  std::string_view argument;  // "N" as in --seed=N; empty for a switch
  // The help, one line per '\n', each after the 22-column name field.
  std::string_view help;
  // Reads the text after '=' (empty for a switch) into the command line;
  // fails, naming the option, on a text it does not take.
  void (*set)(const std::string& text, CommandLine& line);
  Applies applies = Applies::kEveryRun;
};

// One of the ten run values, by position, by prompt or by name.
struct ValueRow {
  std::string_view name;    // "n_samples"
  std::string_view option;  // "--samples": the value given by name
  std::string_view kind;    // "FILE", "N", "X": what the named form takes
  std::string_view help;
  std::string_view prompt;  // as asked without arguments
  // By position and by prompt, read as the earlier versions read them (a
  // text that is no number gives 0); by name, checked.
  void (*set_positional)(const std::string& text, RunValues& values);
  void (*set_named)(const std::string& text, RunValues& values);
  // Reads the answer to the prompt; false when the input gives none.
  bool (*answer)(std::istream& in, RunValues& values);
};

std::span<const OptionRow> RibotraceOptions();
std::span<const ValueRow> RibotraceValues();

// "Usage: ribotrace [--seed=N] ... data_file ... [show_debug]".
std::string RibotraceUsage();
// What --help prints after the usage line.
std::string RibotraceHelp();

// Takes every argument that begins with "--": an option of the table, or a
// run value by name. An unknown option, a text an option does not take, an
// option or value given twice, or --classic with --marginal is a fatal
// error naming it.
CommandLine ParseCommandLine(int argc, const char* const* argv);

// Fills `values` from `args` (program name first) when use_command_line is
// set, else from prompts answered on `in`. Returns 0 on success and 1 when
// the values are incomplete: one to eight arguments, an answer that is not
// a number, or the end of the input.
int GetInputValues(const std::vector<std::string>& args, bool use_command_line, RunValues& values,
                   std::istream& in);

// The run values of a command line that names some of them: the positional
// ones first, in order, then the named ones. Fails, naming them, when a
// value is given both ways or a required one is missing.
void CompleteNamedValues(CommandLine& line);
