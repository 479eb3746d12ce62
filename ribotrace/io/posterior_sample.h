// The posterior sample of a MrBayes analysis that a run integrates over:
// each run's sampled trees (.t) paired with its sampled parameters (.p),
// the burn-in dropped, and the samples to use picked evenly.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "io/nexus_text.h"
#include "model/model_params.h"

struct PosteriorSampleOptions {
  double burnin = 0.25;  // share of each run's samples dropped, rounded down (MrBayes's relburnin)
  int n_trees = 100;     // samples to use
};

struct UsedSample {
  int run = 0;  // 0-based, in the order the files were given
  long long generation = 0;
  std::string tree;  // as ReadTreeFile returns a tree
  ModelParams parameters;
  double mrbayes_log_likelihood = 0.0;  // LnL of the .p row
};

struct PosteriorSample {
  std::vector<UsedSample> samples;  // in sample order: runs in order, generations increasing
  std::size_t remaining = 0;        // R: the samples left after the burn-in, over all runs
  std::vector<std::string> tree_files;
  std::vector<std::string> parameter_files;
};

// Pairs tree_files[r] with the already read parameter_texts[r] (named
// parameter_files[r], each a .p), drops floor(burnin x n) of each run's n
// samples, and uses min(n_trees, R) of the R that remain: the i-th (from
// 0) is sample floor(i x R / N), the runs' remaining samples taken in run
// order. Only the used trees are kept. Fails, naming the files, when the
// lists differ in length, a tree file holds a single tree (a consensus
// tree or a Newick file), a run's .t and .p are named as different runs
// (x.nex.run1.t with x.nex.run2.p), differ in their number of samples or
// in a generation, the runs differ in length, or nothing
// remains after the burn-in. Warns as the single-tree mode does when a
// run's .t and .p carry different MrBayes analysis IDs.
PosteriorSample ReadPosteriorSample(const std::vector<std::string>& tree_files,
                                    const std::vector<std::string>& parameter_files,
                                    const std::vector<NexusText>& parameter_texts, bool isStructure,
                                    const PosteriorSampleOptions& options);

// The files of a comma-separated list; a path that names an existing file
// is one file even if it holds a comma.
std::vector<std::string> SplitFileList(const std::string& list);
