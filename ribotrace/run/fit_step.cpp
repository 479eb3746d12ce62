#include "run/fit_step.h"

#include <cstdio>
#include <string>

#include "base/ordered_batches.h"
#include "fit/model_fit.h"
#include "io/data_file.h"
#include "io/fit_outputs.h"
#include "io/tree_file.h"
#include "tree/tree_construction.h"

namespace {

// A topology without branch lengths (a Newick tree written by hand, or a
// program's unweighted output) gets one starting length on every branch:
// the fit estimates them all anyway. Only a tree with no length at all is
// filled in; one with some lengths missing stays an error.
std::string WithStartingLengths(std::string tree) {
  constexpr const char* kStart = ":0.1";
  bool quoted = false;
  for (const char c : tree) {
    if (c == '\'') quoted = !quoted;
    if (!quoted && c == ':') return tree;
  }
  std::string filled;
  for (const char c : tree) {
    if (c == '\'') quoted = !quoted;
    if (!quoted && (c == ',' || c == ')')) filled.append(kStart);
    filled += c;
  }
  return filled;
}

}  // namespace

RunValues FitBeforeAnalysis(RunValues values) {
  const Alignment alignment = ReadDataFile(values.data_file);
  std::vector<NodeStruct> nodes(static_cast<std::size_t>(2 * alignment.n_taxa - 1));
  std::vector<NodeStruct*> up(nodes.size()), down(nodes.size());
  SetUpTree(nodes, up, down, alignment.Names, WithStartingLengths(ReadTreeFile(values.tree_file)),
            alignment.n_taxa);
  FitOptions options;
  options.gamma = values.fit_gamma;
  options.n_categories = values.gamma_categories;
  options.empirical_frequencies = values.empirical_frequencies;
  options.threads = ResolveThreadCount(values.threads);
  options.progress = [](int round, double log_likelihood) {
    std::fprintf(stderr, "Fit round %d: log-likelihood %.4f\n", round, log_likelihood);
  };
  const FitResult fit = FitModel(alignment, MakeFitTree(up, 1e-6), options);
  for (const std::string& name : fit.at_bound) {
    std::fprintf(stderr, "Warning: the fitted %s ended at a bound of its range.\n", name.c_str());
  }
  std::printf("Fit: log-likelihood %.6f, %d free parameters, AIC %.6f\n", fit.log_likelihood,
              fit.n_free, 2.0 * fit.n_free - 2.0 * fit.log_likelihood);
  std::fflush(stdout);
  bool has_stems = false, has_loops = false;
  for (const int s : alignment.structure) (s == 0 ? has_loops : has_stems) = true;
  WriteFitFiles(values.out_file, fit, alignment.Names, has_stems, has_loops);
  values.tree_file = values.out_file + ".fit.tre";
  values.param_file = values.out_file + ".fit.pstat";
  std::fprintf(stderr, "ribotrace wrote %s, %s\n", values.param_file.c_str(),
               values.tree_file.c_str());
  values.fitted = RunValues::FitFigures{fit.log_likelihood, fit.n_free};
  return values;
}
