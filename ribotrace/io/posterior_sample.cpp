#include "io/posterior_sample.h"

#include <cmath>
#include <sys/stat.h>

#include "bailout/bailout.h"
#include "base/comma_list.h"
#include "io/parameter_sample.h"
#include "io/tree_file.h"

namespace {

constexpr const char* kContext = "ReadPosteriorSample Error: ";

std::string Files(const std::vector<std::string>& files) {
  std::string list;
  for (const std::string& file : files) list += (list.empty() ? "'" : ", '") + file + "'";
  return list;
}

std::string Plural(std::size_t n, const std::string& word) {
  return std::to_string(n) + " " + word + (n == 1 ? "" : "s");
}

// N of a file named as MrBayes names its runs' files (x.nex.runN.t,
// x.nex.runN.p); -1 for another name.
int RunInName(const std::string& file, const std::string& extension) {
  const std::size_t dot = file.rfind(".run");
  if (dot == std::string::npos || !file.ends_with(extension)) return -1;
  const std::string digits = file.substr(dot + 4, file.size() - extension.size() - dot - 4);
  if (digits.empty() || digits.size() > 6 ||
      digits.find_first_not_of("0123456789") != std::string::npos) {
    return -1;
  }
  return std::stoi(digits);
}

// Pairs one run's trees with its parameter rows, sample by sample. The
// runs of an analysis sample the same generations, so the names are what
// tell a swapped pair apart.
void CheckPairing(const SampledTreeFile& trees, const std::vector<ParameterSampleRow>& rows,
                  const std::string& parameter_file) {
  const std::string pair = "'" + trees.file_name() + "' and '" + parameter_file + "'";
  const int tree_run = RunInName(trees.file_name(), ".t");
  const int parameter_run = RunInName(parameter_file, ".p");
  if (tree_run >= 0 && parameter_run >= 0 && tree_run != parameter_run) {
    Fail(std::string(kContext) + "The tree file '" + trees.file_name() + "' is run " +
         std::to_string(tree_run) + " and the parameter file '" + parameter_file + "' run " +
         std::to_string(parameter_run) +
         ": give each run's .t and .p file, in the same order (x.nex.run1.t,x.nex.run2.t with "
         "x.nex.run1.p,x.nex.run2.p).");
  }
  if (trees.size() == 1 && trees.Generation(0) < 0) {
    Fail(std::string(kContext) + "The tree file '" + trees.file_name() +
         "' holds a single tree, not MrBayes's sampled trees, but '" + parameter_file +
         "' holds sampled parameters (.p): give the .t file of the same run (for example "
         "x.nex.run1.t with x.nex.run1.p), or the parameter summary (.pstat) with one tree.");
  }
  if (trees.size() != rows.size()) {
    Fail(std::string(kContext) + "The tree file '" + trees.file_name() + "' holds " +
         Plural(trees.size(), "tree") + " and the parameter file '" + parameter_file + "' " +
         Plural(rows.size(), "sample") +
         ": give the .t and the .p file of the same MrBayes run, in the same order.");
  }
  for (std::size_t i = 0; i < rows.size(); ++i) {
    if (trees.Generation(i) == rows[i].generation) continue;
    const std::string tree_name = trees.Generation(i) < 0
                                      ? "a tree not named gen.<N>"
                                      : "tree gen." + std::to_string(trees.Generation(i));
    Fail(std::string(kContext) + "Sample " + std::to_string(i + 1) + " of " + pair + ": " +
         tree_name + " in the tree file, generation " + std::to_string(rows[i].generation) +
         " in the parameter file: give the .t and the .p file of the same MrBayes run, in the "
         "same order.");
  }
}

}  // namespace

std::vector<std::string> SplitFileList(const std::string& list) {
  struct stat info {};
  if (list.find(',') == std::string::npos || ::stat(list.c_str(), &info) == 0) return {list};
  std::vector<std::string> files = SplitAtCommas(list);
  if (HasEmptyPiece(files)) {
    Fail(std::string(kContext) + "The file list '" + list +
         "' holds an empty name; separate the files by single commas.");
  }
  return files;
}

PosteriorSample ReadPosteriorSample(const std::vector<std::string>& tree_files,
                                    const std::vector<std::string>& parameter_files,
                                    const std::vector<NexusText>& parameter_texts, bool isStructure,
                                    const PosteriorSampleOptions& options) {
  if (tree_files.size() != parameter_files.size()) {
    Fail(std::string(kContext) + "Got " + Plural(tree_files.size(), "tree file") + " (" +
         Files(tree_files) + ") and " + Plural(parameter_files.size(), "parameter file") + " (" +
         Files(parameter_files) +
         "): give each MrBayes run's .t and .p file, in the same order (x.nex.run1.t,x.nex.run2.t "
         "with x.nex.run1.p,x.nex.run2.p).");
  }
  PosteriorSample sample;
  sample.tree_files = tree_files;
  sample.parameter_files = parameter_files;
  std::vector<SampledTreeFile> trees;
  std::vector<std::vector<ParameterSampleRow>> rows;
  std::vector<std::size_t> first_kept;
  for (std::size_t r = 0; r < tree_files.size(); ++r) {
    trees.emplace_back(tree_files[r]);
    rows.push_back(ReadParameterSample(parameter_texts[r].text, parameter_files[r], isStructure));
    WarnOnDifferentAnalyses(tree_files[r], trees.back().analysis_id(), parameter_files[r],
                            parameter_texts[r].analysis_id);
    CheckPairing(trees.back(), rows.back(), parameter_files[r]);
    if (rows.back().size() != rows.front().size()) {
      Fail(std::string(kContext) + "Run " + std::to_string(r + 1) + " ('" + tree_files[r] + "', '" +
           parameter_files[r] + "') holds " + Plural(rows.back().size(), "sample") +
           " and run 1 ('" + tree_files[0] + "', '" + parameter_files[0] + "') " +
           Plural(rows.front().size(), "sample") +
           ": the runs of one MrBayes analysis have equal lengths; give the files of one "
           "analysis.");
    }
    const std::size_t n = rows.back().size();
    const auto dropped =
        static_cast<std::size_t>(std::floor(options.burnin * static_cast<double>(n)));
    first_kept.push_back(dropped);
    sample.remaining += n - dropped;
  }
  if (sample.remaining == 0) {
    Fail(std::string(kContext) + "No sample remains after the burn-in of " +
         std::to_string(options.burnin) + " of each run's samples in " + Files(tree_files) + ".");
  }
  const std::size_t n_used =
      std::min(static_cast<std::size_t>(std::max(options.n_trees, 1)), sample.remaining);
  for (std::size_t i = 0; i < n_used; ++i) {
    std::size_t k = i * sample.remaining / n_used;
    std::size_t r = 0;
    while (k >= rows[r].size() - first_kept[r]) {
      k -= rows[r].size() - first_kept[r];
      ++r;
    }
    const std::size_t s = first_kept[r] + k;
    const ParameterSampleRow& row = rows[r][s];
    sample.samples.push_back({static_cast<int>(r), row.generation, trees[r].Tree(s), row.parameters,
                              row.log_likelihood});
  }
  return sample;
}
