// Hand-built trees and data for the inference tests: small trees written in
// Newick with tips "t<row>", branch matrices from the Jukes-Cantor model
// (the doublet matrix as the product of two independent positions), so that
// every expected number has a closed form.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "inference/node_vectors.h"
#include "model/branch_matrices.h"
#include "io/data_file.h"
#include "tree/node_struct.h"
#include "model/model_params.h"
#include "sequence/stems_and_loops.h"

std::array<double, 16> JukesCantor4(double t);
std::array<double, 256> JukesCantor16(double t);

// A rooted binary tree; the node array never moves, so the pointers stay.
struct HandTree {
  std::vector<NodeStruct> nodes;
  std::vector<NodeStruct*> down_pass;  // children before parents, root last
  std::vector<NodeStruct*> up_pass;    // root first
  NodeStruct* root = nullptr;
  std::unique_ptr<NodeVectors> vectors;  // the passes' arrays, once given
  BranchMatrices matrices;               // Jukes-Cantor at each branch's length
};

// Gives the tree's interior nodes their vectors for this pairing array
// (see NodeVectors): posteriors in place of the fractional likelihoods, as
// the exact posteriors keep them, or (for the three-neighbour posteriors)
// beside them.
void GiveVectors(HandTree& tree, const std::vector<int>& structure, bool in_place);

// The tip's N entries of the block that column `column` owns, as the
// passes make them (stem codes as state sets or not).
std::vector<double> TipBlock(const NodeStruct& tip, const Alignment& alignment,
                             const std::vector<SiteRecord>& SS, int column,
                             bool stem_codes_as_sets);

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
ModelParams UniformParameters();
// Unequal exchange rates and frequencies in both partitions, so that a
// wrong root weighting or a transposed matrix shows.
ModelParams UnevenParameters();

struct RunValues;
struct HiddenBranchMatrices;
// A run on one prebuilt tree, as the program makes it: the posterior passes
// on the matrices in its nodes, then its rows streamed into the results
// file values.out_file (head, rows, summary), drawn from the stream that
// starts at `seed`, and the files put in place.
void RunOnHandTree(HandTree& tree, const Alignment& alignment, const std::vector<SiteRecord>& SS,
                   const ModelParams& parameters, const HiddenBranchMatrices& hidden,
                   const RunValues& values, std::int32_t seed);
