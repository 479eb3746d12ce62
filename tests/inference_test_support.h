// Hand-built trees and data for the inference tests: small trees written in
// Newick with tips "t<row>", branch matrices from the Jukes-Cantor model
// (the doublet matrix as the product of two independent positions), so that
// every expected number has a closed form.
#pragma once

#include <array>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "io/data_file.h"
#include "tree/node_struct.h"
#include "model/parameter_record.h"
#include "sequence/stems_and_loops.h"

std::array<double, 16> JukesCantor4(double t);
std::array<double, 256> JukesCantor16(double t);

// A rooted binary tree; the node array never moves, so the pointers stay.
struct HandTree {
  std::vector<NodeStruct> nodes;
  std::vector<NodeStruct*> down_pass;  // children before parents, root last
  std::vector<NodeStruct*> up_pass;    // root first
  NodeStruct* root = nullptr;
};

// Parses "((t0:0.1,t1:0.2):0.3,t2:0.4)" (the outermost pair is the root),
// numbers the nodes in pre-order, and gives every non-root node
// Jukes-Cantor matrices for its length and scaled_length 1.0.
HandTree BuildTree(const std::string& newick);

// A random rooted binary tree on taxa t0 .. t<n-1> in Newick, branch lengths
// in [0.02, 0.3].
std::string RandomNewick(int n_taxa, std::mt19937& rng);

// Sequences of n_sites nucleotides evolved down the tree under its branch
// matrices, one string per taxon row.
std::vector<std::string> EvolveSequences(const HandTree& tree, int n_taxa, int n_sites,
                                         std::mt19937& rng);

// An alignment of the rows (taxon names t0, t1, ...) with the pairing array.
Alignment MakeAlignment(const std::vector<int>& structure, const std::vector<std::string>& rows);

std::vector<SiteRecord> SiteRecordsOf(const Alignment& alignment, int condition_on_pairs);

// Uniform doublet and loop frequencies.
ParameterRecord UniformParameters();
