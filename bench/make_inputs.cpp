// Synthetic inputs of any size for timing ribotrace, and the draw floor.
//
//   bench_tool inputs TAXA COLUMNS DIR   writes DIR/data.txt (alignment with
//       structure), DIR/data.nex.con.tre and DIR/data.nex.pstat, and for a
//       peer program the same data's loop columns (DIR/loops.fa), the tree
//       as plain Newick (DIR/tree.nwk) and the loop model in IQ-TREE's
//       notation (DIR/loops.model)
//   bench_tool floor DRAWS               times DRAWS sequential generator
//       draws and prints the seconds
//   bench_tool spin THREADS              times a fixed amount of arithmetic
//       split over THREADS threads: what the machine gives that many threads
//       at the moment, when other work shares its cores
//
// Everything is deterministic. The sequences are simulated down a random
// tree with the program's own rate matrices and transition probabilities:
// stem pairs under the doublet model, loop columns under the nucleotide
// model, with the bundled example's parameters.
#include <chrono>
#include <cstdio>
#include <fstream>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "io/parameter_file.h"
#include "model/partition_models.h"
#include "model/transition_probabilities.h"
#include "base/random_source.h"
#include "tree/node_struct.h"

namespace {

// Nodes in creation order: tips 0 .. n - 1 first, every parent after its
// children, the root last.
std::vector<NodeStruct> RandomTree(int n_taxa, std::mt19937& rng) {
  std::vector<NodeStruct> nodes(2 * static_cast<std::size_t>(n_taxa) - 1);
  std::vector<NodeStruct*> pool;
  for (int t = 0; t < n_taxa; ++t) pool.push_back(&nodes[t]);
  std::uniform_real_distribution<double> length(0.01, 0.12);
  for (std::size_t next = n_taxa; pool.size() > 1; ++next) {
    NodeStruct& parent = nodes[next];
    for (int c = 0; c < 2; ++c) {
      std::uniform_int_distribution<std::size_t> pick(0, pool.size() - 1);
      const std::size_t i = pick(rng);
      NodeStruct* child = pool[i];
      pool[i] = pool.back();
      pool.pop_back();
      parent.children.push_back(child);
      child->anc = &parent;
      child->length = length(rng);
    }
    pool.push_back(&parent);
  }
  for (std::size_t i = 0; i < nodes.size(); ++i) nodes[i].index = static_cast<int>(i);
  return nodes;
}

int Draw(const double* probs, int n, std::mt19937& rng) {
  const double u = std::uniform_real_distribution<double>(0.0, 1.0)(rng);
  double sum = 0.0;
  for (int i = 0; i < n; ++i) {
    sum += probs[i];
    if (sum > u) return i;
  }
  return n - 1;
}

// Tips are written as their taxon numbers (MrBayes's translate table) or,
// with `tip_prefix`, as the taxon names.
void AppendNewick(std::string& text, const NodeStruct& node, const std::string& tip_prefix) {
  if (node.IsTip()) {
    text.append(tip_prefix).append(std::to_string(node.index + 1));
    return;
  }
  char separator = '(';
  for (const NodeStruct* child : node.children) {
    text.push_back(separator);
    AppendNewick(text, *child, tip_prefix);
    text.append(":").append(std::to_string(child->length));
    separator = ',';
  }
  text.push_back(')');
}

// MrBayes writes the consensus unrooted, with three branches at its base.
std::string UnrootedNewick(const NodeStruct& root, const std::string& tip_prefix = "") {
  const NodeStruct* first = root.children[0];
  const NodeStruct* second = root.children[1];
  const NodeStruct* inner = !first->IsTip() ? first : second;
  const NodeStruct* other = inner == first ? second : first;
  std::string text(1, '(');
  for (const NodeStruct* child : inner->children) {
    AppendNewick(text, *child, tip_prefix);
    text.append(":").append(std::to_string(child->length)).append(",");
  }
  AppendNewick(text, *other, tip_prefix);
  text.append(":").append(std::to_string(other->length + inner->length)).append(")");
  return text;
}

// The loop partition's GTR model with fixed rates (relative to G<->U, as
// IQ-TREE gives them) and fixed base frequencies.
std::string IqTreeLoopModel(const ModelParams& parameters) {
  const double* rates = parameters.loop.rates.data();
  const double* freq = parameters.loop.frequencies.data();
  char model[512];
  std::snprintf(model, sizeof model,
                "GTR{%.10g,%.10g,%.10g,%.10g,%.10g}+F{%.10g,%.10g,%.10g,%.10g}",
                rates[0] / rates[5], rates[1] / rates[5], rates[2] / rates[5], rates[3] / rates[5],
                rates[4] / rates[5], freq[0], freq[1], freq[2], freq[3]);
  return model;
}

// About a third of the columns in stem pairs: nested pairs in helices of
// six, loops between them.
std::string StemStructure(int n_columns) {
  std::string structure(n_columns, '-');
  const int n_pairs = n_columns / 6;
  for (int p = 0, open = 0, close = n_columns - 1; p < n_pairs; ++p, ++open, --close) {
    if (p % 6 == 0 && p > 0) {
      open += 2;
      close -= 2;
    }
    if (open >= close) break;
    structure[open] = '(';
    structure[close] = ')';
  }
  return structure;
}

// Each column's partner in the structure, -1 for loop columns.
std::vector<int> Partners(const std::string& structure) {
  const int n_columns = static_cast<int>(structure.size());
  std::vector<int> partner(n_columns, -1);
  std::vector<int> stack;
  for (int c = 0; c < n_columns; ++c) {
    if (structure[c] == '(') stack.push_back(c);
    if (structure[c] == ')') {
      partner[c] = stack.back();
      partner[stack.back()] = c;
      stack.pop_back();
    }
  }
  return partner;
}

// Every node's states (0 .. 3 for A C G U): from the stationary frequencies
// at the root, then down the tree (parents after children in the array, so
// walk it backwards).
std::vector<std::vector<int>> SimulateStates(const std::vector<NodeStruct>& nodes,
                                             const BranchMatrices& matrices,
                                             const std::string& structure,
                                             const ModelParams& parameters, std::mt19937& rng) {
  const int n_columns = static_cast<int>(structure.size());
  const std::vector<int> partner = Partners(structure);
  std::vector<std::vector<int>> state(nodes.size(), std::vector<int>(n_columns));
  for (int c = 0; c < n_columns; ++c) {
    if (structure[c] == '(') {
      const int x = Draw(parameters.stem.frequencies.data(), 16, rng);
      state.back()[c] = x / 4;
      state.back()[partner[c]] = x % 4;
    } else if (structure[c] == '-') {
      state.back()[c] = Draw(parameters.loop.frequencies.data(), 4, rng);
    }
  }
  for (std::size_t i = nodes.size() - 1; i-- > 0;) {
    const NodeStruct& node = nodes[i];
    const std::vector<int>& up = state[node.anc->index];
    for (int c = 0; c < n_columns; ++c) {
      if (structure[c] == '(') {
        const int x = up[c] * 4 + up[partner[c]];
        const int y = Draw(&matrices.Doublet(node)[x * 16], 16, rng);
        state[i][c] = y / 4;
        state[i][partner[c]] = y % 4;
      } else if (structure[c] == '-') {
        state[i][c] = Draw(&matrices.Singlet(node)[up[c] * 4], 4, rng);
      }
    }
  }
  return state;
}

// DIR/data.txt (the tips' rows under the structure) and DIR/loops.fa (their
// loop columns), with gaps in a few percent of the entries of every tenth
// column. Returns whether both were written.
bool WriteAlignments(const std::string& dir, const std::string& structure,
                     const std::vector<std::vector<int>>& state, int n_taxa, std::mt19937& rng) {
  const int n_columns = static_cast<int>(structure.size());
  const char* const kBases = "ACGU";
  std::ofstream data(dir + "/data.txt");
  std::ofstream loops(dir + "/loops.fa");
  data << ">SS_cons\n" << structure << "\n";
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  for (int t = 0; t < n_taxa; ++t) {
    std::string row(n_columns, 'A');
    std::string loop_row;
    for (int c = 0; c < n_columns; ++c) {
      row[c] = kBases[state[t][c]];
      if (c % 10 == 3 && unit(rng) < 0.05) row[c] = '-';
      if (structure[c] == '-') loop_row.push_back(row[c]);
    }
    data << ">taxon_" << t + 1 << "\n" << row << "\n";
    loops << ">taxon_" << t + 1 << "\n" << loop_row << "\n";
  }
  return data && loops;
}

// DIR/data.nex.con.tre as MrBayes writes a consensus: a translate table and
// the tree with taxon numbers.
bool WriteConsensusTree(const std::string& dir, const NodeStruct& root, int n_taxa) {
  std::ofstream tree(dir + "/data.nex.con.tre");
  tree << "#NEXUS\n\nbegin trees;\n\ttranslate\n";
  for (int t = 0; t < n_taxa; ++t) {
    tree << "\t\t" << t + 1 << "\ttaxon_" << t + 1 << (t + 1 < n_taxa ? ",\n" : ";\n");
  }
  tree << "   tree con_all_compat = [&U] " << UnrootedNewick(root) << ";\nend;\n";
  return static_cast<bool>(tree);
}

int WriteInputs(int n_taxa, int n_columns, const std::string& dir, const std::string& pstat) {
  std::mt19937 rng(20240607u + static_cast<unsigned>(n_taxa) * 31u + n_columns);
  std::vector<NodeStruct> nodes = RandomTree(n_taxa, rng);
  const NodeStruct& root = nodes.back();
  {
    std::ifstream in(pstat, std::ios::binary);
    std::ofstream out(dir + "/data.nex.pstat", std::ios::binary);
    out << in.rdbuf();
  }
  const ModelParams parameters = ReadParameterFile(dir + "/data.nex.pstat", true);
  const PartitionModels models = MakePartitionModels(parameters);
  std::vector<NodeStruct*> all;
  for (NodeStruct& node : nodes) all.push_back(&node);
  BranchMatrices matrices(nodes.size());
  SetSingeltonTransitionProbabilities(all, models.loops, matrices);
  SetDoubletTransitionProbabilities(all, models.stems, matrices);
  const std::string structure = StemStructure(n_columns);
  const std::vector<std::vector<int>> state =
      SimulateStates(nodes, matrices, structure, parameters, rng);
  const bool alignments = WriteAlignments(dir, structure, state, n_taxa, rng);
  std::ofstream(dir + "/tree.nwk") << UnrootedNewick(root, "taxon_") << ";\n";
  std::ofstream(dir + "/loops.model") << IqTreeLoopModel(parameters) << "\n";
  const bool tree = WriteConsensusTree(dir, root, n_taxa);
  return alignments && tree ? 0 : 1;
}

int TimeFloor(unsigned long long draws) {
  std::int32_t seed = 12345;
  double sink = 0.0;
  const auto start = std::chrono::steady_clock::now();
  for (unsigned long long i = 0; i < draws; ++i) sink += DrawUniform(&seed);
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::printf("%.3f\n", seconds);
  std::fprintf(stderr, "(checksum %f)\n", sink);
  return 0;
}

int TimeSpin(int threads) {
  constexpr long kSteps = 400000000;
  std::vector<double> sums(static_cast<std::size_t>(threads));
  const auto start = std::chrono::steady_clock::now();
  {
    std::vector<std::jthread> workers;
    for (int t = 0; t < threads; ++t) {
      workers.emplace_back([&sums, t, threads] {
        double sum = 0.0;
        for (long i = 0; i < kSteps / threads; ++i) sum += static_cast<double>(i % 7) * 1e-9;
        sums[static_cast<std::size_t>(t)] = sum;
      });
    }
  }
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::printf("%.3f\n", seconds);
  std::fprintf(stderr, "(checksum %f)\n", sums[0]);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string command = argc > 1 ? argv[1] : "";
  if (command == "inputs" && argc == 6) {
    return WriteInputs(std::stoi(argv[2]), std::stoi(argv[3]), argv[4], argv[5]);
  }
  if (command == "floor" && argc == 3) return TimeFloor(std::stoull(argv[2]));
  if (command == "spin" && argc == 3 && std::stoi(argv[2]) > 0) return TimeSpin(std::stoi(argv[2]));
  std::fprintf(stderr,
               "Usage: bench_tool inputs TAXA COLUMNS DIR PSTAT | bench_tool floor DRAWS | "
               "bench_tool spin THREADS\n");
  return 1;
}
