// Writing a simulated data set and its truth into a folder.
#pragma once

#include <string>
#include <vector>

#include "evolution.h"
#include "layout.h"
#include "sim_tree.h"
#include "substitution_model.h"

namespace sim {

struct Simulation {
  Tree tree;
  ModelParameters model;
  IndelParameters indels;
  std::vector<Character> characters;
  Layout layout;
};

// data.txt, tree.nwk, params.pstat and the truth_*.tsv tables (see
// bench/README.md). Throws std::runtime_error naming a file it cannot write.
void WriteSimulation(const Simulation& sim, const std::string& folder);

}  // namespace sim
