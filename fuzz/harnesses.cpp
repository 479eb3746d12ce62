#include "harnesses.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include <unistd.h>

#include "bailout/bailout.h"
#include "convert_file.h"
#include "option_table.h"
#include "io/data_file.h"
#include "io/nexus_text.h"
#include "io/parameter_file.h"
#include "io/parameter_sample.h"
#include "io/tree_file.h"
#include "pairnex_input_values.h"
#include "base/buffers.h"
#include "sequence/stems_and_loops.h"
#include "tree/branch_scaling.h"
#include "tree/node_struct.h"
#include "tree/tree_construction.h"

namespace fuzz_harness {

namespace {

std::string_view AsText(std::span<const std::uint8_t> data) {
  return {reinterpret_cast<const char*>(data.data()), data.size()};
}

// The readers take file names, so every input goes through a file of its
// own per process (parallel fuzzing jobs must not share one), removed when
// the process ends.
class ScratchFiles {
 public:
  ~ScratchFiles() {
    std::error_code error;
    for (const std::string& path : paths_) std::filesystem::remove(path, error);
  }
  const std::string& Path(const std::string& name) {
    const std::string path = (std::filesystem::temp_directory_path() /
                              ("ribotrace-fuzz-" + std::to_string(getpid()) + "-" + name))
                                 .string();
    return *paths_.insert(path).first;
  }

 private:
  std::set<std::string> paths_;
};

std::string ScratchPath(const std::string& name) {
  static ScratchFiles files;
  return files.Path(name);
}

std::string WriteScratch(const std::string& name, std::string_view content) {
  const std::string path = ScratchPath(name);
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(content.data(), static_cast<std::streamsize>(content.size()));
  return path;
}

// Runs `action`, taking a FatalError as the expected answer to bad input.
template <typename Action>
void ExpectingFatalErrors(Action action) {
  try {
    action();
  } catch (const FatalError&) {
  }
}

// ribotrace's side of the alignment: the loading and the stem and loop
// records.
void ReadAsRibotrace(const std::string& path) {
  const Alignment alignment = ReadDataFile(path);
  std::vector<SiteRecord> SS = AllocateBuffer<SiteRecord>({alignment.n_sites}, "Data");
  for (const int condition_on_pairs : {0, 1}) {
    InitializeStemsAndLoops(alignment, condition_on_pairs, SS);
  }
}

// The taxa of the bundled example, in its file order.
std::vector<TaxonName> ExampleTaxa() {
  const char* const names[] = {"ABCN01005680_1_1602_1315",
                               "X71484_1_3_290",
                               "AP008207_1_23319682_23319999",
                               "AP003333_4_45380_45697",
                               "AP003253_3_106424_106741",
                               "ABRL01000488_1_5816_6128",
                               "AC079888_10_27802_27492",
                               "AAAA02010927_1_7990_7685",
                               "U85037_1_1_298",
                               "X13914_1_1_303"};
  std::vector<TaxonName> taxa;
  for (const char* name : names) taxa.push_back({name, static_cast<int>(taxa.size())});
  return taxa;
}

std::vector<std::string> SplitLines(std::string_view text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start <= text.size()) {
    const std::size_t end = std::min(text.find('\n', start), text.size());
    lines.emplace_back(text.substr(start, end - start));
    start = end + 1;
  }
  return lines;
}

std::vector<const char*> Pointers(const std::vector<std::string>& args) {
  std::vector<const char*> pointers;
  for (const std::string& arg : args) pointers.push_back(arg.c_str());
  return pointers;
}

}  // namespace

void AlignmentReaderInput(std::span<const std::uint8_t> data) {
  const std::string path = WriteScratch("alignment.txt", AsText(data));
  ExpectingFatalErrors([&] { ReadAsRibotrace(path); });
  ScratchPath("alignment.nex.names");  // written when taxa are renamed; removed at exit
  ExpectingFatalErrors([&] { pairnex::ConvertFile(path, ScratchPath("alignment.nex"), {}); });
}

void TreeInput(std::span<const std::uint8_t> data) {
  const std::string path = WriteScratch("tree.tre", AsText(data));
  ExpectingFatalErrors([&] {
    const std::string tree_text = ReadTreeFile(path);
    const std::vector<TaxonName> taxa = ExampleTaxa();
    const int n_taxa = static_cast<int>(taxa.size());
    std::vector<NodeStruct> nodes(static_cast<std::size_t>(2 * n_taxa - 1));
    std::vector<NodeStruct*> up_pass(nodes.size());
    std::vector<NodeStruct*> down_pass(nodes.size());
    SetUpTree(nodes, up_pass, down_pass, taxa, tree_text, n_taxa);
    SetScaledBranchLengths(down_pass, 1);
  });
  // Every statement, as a run over MrBayes's sampled trees reads them.
  ExpectingFatalErrors([&] {
    const SampledTreeFile trees(path);
    for (std::size_t i = 0; i < trees.size(); ++i) trees.Tree(i);
  });
}

void ParameterInput(std::span<const std::uint8_t> data) {
  const std::string path = WriteScratch("parameters.pstat", AsText(data));
  for (const bool isStructure : {true, false}) {
    ExpectingFatalErrors([&] { ReadParameterFile(path, isStructure); });
    // And as MrBayes's sampled parameters (.p).
    ExpectingFatalErrors([&] {
      ReadParameterSample(ReadNexusText(path, true, "ReadParameterFile").text, path, isStructure);
    });
  }
}

void AnswersInput(std::span<const std::uint8_t> data) {
  const std::string_view text = AsText(data);
  ExpectingFatalErrors([&] {
    RunValues values;
    std::istringstream in{std::string(text)};
    GetInputValues({"ribotrace"}, false, values, in);
  });
  ExpectingFatalErrors([&] {
    std::string data_file;
    std::string output_file;
    std::istringstream in{std::string(text)};
    pairnex::GetInputValues({"pairnex"}, false, data_file, output_file, in);
  });

  std::vector<std::string> args = SplitLines(text);
  args.insert(args.begin(), "ribotrace");
  ExpectingFatalErrors([&] {
    const std::vector<const char*> argv = Pointers(args);
    CommandLine line = ParseCommandLine(static_cast<int>(argv.size()), argv.data());
    std::istringstream no_input;
    if (!line.named.empty()) {
      CompleteNamedValues(line);
    } else {
      GetInputValues(line.positional, line.positional.size() >= 2, line.values, no_input);
    }
  });
  args.front() = "pairnex";
  ExpectingFatalErrors([&] {
    const std::vector<const char*> argv = Pointers(args);
    const pairnex::ConverterOptions options =
        pairnex::ParseConverterOptions(static_cast<int>(argv.size()), argv.data());
    std::string data_file;
    std::string output_file;
    std::istringstream no_input;
    pairnex::GetInputValues(options.positional, options.positional.size() > 1, data_file,
                            output_file, no_input);
  });
}

}  // namespace fuzz_harness
