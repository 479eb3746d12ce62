#include "inference_test_support.h"

#include <cmath>
#include <cstdlib>
#include <functional>
#include <stdexcept>

#include "inference/tip_likelihoods.h"
#include "io/output_writers.h"
#include "run/inference_stages.h"
#include "run/result_units.h"
#include "run/row_drawing.h"
#include "sequence/state_coding.h"

std::array<double, 16> JukesCantor4(double t) {
  const double decay = std::exp(-4.0 * t / 3.0);
  std::array<double, 16> p{};
  for (int x = 0; x < 4; ++x) {
    for (int y = 0; y < 4; ++y) p[x * 4 + y] = x == y ? 0.25 + 0.75 * decay : 0.25 - 0.25 * decay;
  }
  return p;
}

std::array<double, 256> JukesCantor16(double t) {
  const std::array<double, 16> p = JukesCantor4(t);
  std::array<double, 256> q{};
  for (int x = 0; x < 16; ++x) {
    for (int y = 0; y < 16; ++y) q[x * 16 + y] = p[(x / 4) * 4 + y / 4] * p[(x % 4) * 4 + y % 4];
  }
  return q;
}

namespace {

std::string TaxonLabel(int t) {
  std::string label = std::to_string(t);
  label.insert(label.begin(), 't');
  return label;
}

NodeStruct* ParseNode(const char*& p, NodeStruct* anc, HandTree& tree) {
  tree.nodes.emplace_back();
  NodeStruct* node = &tree.nodes.back();
  node->anc = anc;
  if (*p == '(') {
    do {
      ++p;
      node->children.push_back(ParseNode(p, node, tree));
    } while (*p == ',');
    if (*p++ != ')') throw std::runtime_error("test tree: expected ')'");
  } else {
    while (*p != ':' && *p != ',' && *p != ')' && *p != '\0') node->label += *p++;
    node->taxon_index = std::stoi(node->label.substr(1));
  }
  if (*p == ':') {
    char* end = nullptr;
    node->length = std::strtod(p + 1, &end);
    p = end;
  }
  return node;
}

}  // namespace

HandTree BuildTree(const std::string& newick) {
  HandTree tree;
  std::size_t tips = 1;
  for (const char c : newick) tips += c == ',' ? 1 : 0;
  tree.nodes.reserve(2 * tips - 1);
  const char* p = newick.c_str();
  tree.root = ParseNode(p, nullptr, tree);
  int index = 0;
  std::function<void(NodeStruct*)> walk = [&](NodeStruct* node) {
    node->index = index++;
    tree.up_pass.push_back(node);
    for (NodeStruct* child : node->children) walk(child);
    tree.down_pass.push_back(node);
  };
  // Post-order from the pushes at the end of each visit puts children first.
  walk(tree.root);
  tree.matrices.Resize(tree.nodes.size());
  for (NodeStruct& node : tree.nodes) {
    if (node.anc == nullptr) continue;
    tree.matrices.Singlet(node) = JukesCantor4(node.length);
    tree.matrices.Doublet(node) = JukesCantor16(node.length);
    node.scaled_length = 1.0;
  }
  return tree;
}

std::string RandomNewick(int n_taxa, std::mt19937& rng) {
  std::uniform_real_distribution<double> length(0.02, 0.3);
  std::vector<std::string> pool;
  for (int t = 0; t < n_taxa; ++t) pool.push_back(TaxonLabel(t));
  while (pool.size() > 2) {
    std::uniform_int_distribution<std::size_t> pick(0, pool.size() - 1);
    const std::size_t a = pick(rng);
    std::string first = pool[a] + ":" + std::to_string(length(rng));
    pool.erase(pool.begin() + static_cast<std::ptrdiff_t>(a));
    std::uniform_int_distribution<std::size_t> pick_again(0, pool.size() - 1);
    const std::size_t b = pick_again(rng);
    pool[b] = "(" + first + "," + pool[b] + ":" + std::to_string(length(rng)) + ")";
  }
  return "(" + pool[0] + ":" + std::to_string(length(rng)) + "," + pool[1] + ":" +
         std::to_string(length(rng)) + ")";
}

std::vector<std::string> EvolveSequences(const HandTree& tree, int n_taxa, int n_sites,
                                         std::mt19937& rng) {
  std::vector<std::string> rows(n_taxa, std::string(n_sites, 'A'));
  std::uniform_real_distribution<double> uniform(0.0, 1.0);
  std::vector<int> state(tree.nodes.size());
  for (int c = 0; c < n_sites; ++c) {
    for (const NodeStruct* node : tree.up_pass) {
      const std::size_t i = static_cast<std::size_t>(node - tree.nodes.data());
      int s = 3;
      double running = 0.0;
      const double u = uniform(rng);
      const int from = node->anc == nullptr
                           ? -1
                           : state[static_cast<std::size_t>(node->anc - tree.nodes.data())];
      for (int y = 0; y < 4; ++y) {
        running += from < 0 ? 0.25 : tree.matrices.Singlet(*node)[from * 4 + y];
        if (running > u) {
          s = y;
          break;
        }
      }
      state[i] = s;
      if (node->IsTip()) rows[node->taxon_index][c] = "ACGU"[s];
    }
  }
  return rows;
}

Alignment MakeAlignment(const std::vector<int>& structure, const std::vector<std::string>& rows) {
  Alignment alignment;
  alignment.n_taxa = static_cast<int>(rows.size());
  alignment.n_sites = static_cast<int>(structure.size());
  alignment.structure = structure;
  for (std::size_t t = 0; t < rows.size(); ++t) {
    alignment.Names.push_back(TaxonName{TaxonLabel(static_cast<int>(t)), static_cast<int>(t)});
    for (const char c : rows[t]) alignment.dmatrix.push_back(NucCharToInt(c));
  }
  return alignment;
}

std::vector<SiteRecord> SiteRecordsOf(const Alignment& alignment, int condition_on_pairs) {
  std::vector<SiteRecord> SS(alignment.n_sites);
  InitializeStemsAndLoops(alignment, condition_on_pairs, SS);
  return SS;
}

ModelParams UniformParameters() {
  ModelParams parameters;
  // Equal exchange rates: the Jukes-Cantor models of the hand trees' matrices.
  parameters.stem.rates.fill(1.0);
  parameters.loop.rates.fill(1.0);
  for (int x = 0; x < 16; ++x) parameters.stem.frequencies[x] = 1.0 / 16;
  for (int x = 0; x < 4; ++x) parameters.loop.frequencies[x] = 0.25;
  return parameters;
}

ModelParams UnevenParameters() {
  ModelParams parameters;
  parameters.stem.rates = {0.9, 2.7, 0.6, 1.3, 3.1, 1.0};
  parameters.loop.rates = {1.2, 3.5, 0.7, 0.8, 4.1, 1.0};
  double total = 0.0;
  for (int x = 0; x < 16; ++x) total += 1.0 + (x * 7 % 5);
  for (int x = 0; x < 16; ++x) parameters.stem.frequencies[x] = (1.0 + (x * 7 % 5)) / total;
  const double loop_freq[4] = {0.32, 0.18, 0.21, 0.29};
  for (int x = 0; x < 4; ++x) parameters.loop.frequencies[x] = loop_freq[x];
  return parameters;
}

void GiveVectors(HandTree& tree, const std::vector<int>& structure, bool in_place) {
  tree.vectors = std::make_unique<NodeVectors>(tree.down_pass, structure, in_place);
}

std::vector<double> TipBlock(const NodeStruct& tip, const Alignment& alignment,
                             const std::vector<SiteRecord>& SS, int column,
                             bool stem_codes_as_sets) {
  const int code = alignment.Code(tip.taxon_index, column);
  if (alignment.structure[static_cast<std::size_t>(column)] != kOpeningColumn) {
    std::vector<double> entries(4);
    IntializeSingeltonFracLikelihoodsAtTips(entries.data(), code);
    return entries;
  }
  const int partner = alignment.Code(tip.taxon_index, SS[static_cast<std::size_t>(column)].partner);
  std::vector<double> entries(16);
  if (stem_codes_as_sets) {
    IntializeDoubletStateSetsAtTips(entries.data(), code, partner);
  } else {
    IntializeDoubletFracLikelihoodsAtTips(entries.data(), code, partner);
  }
  return entries;
}

void RunOnHandTree(HandTree& tree, const Alignment& alignment, const std::vector<SiteRecord>& SS,
                   const ModelParams& parameters, const HiddenBranchMatrices& hidden,
                   const RunValues& values, std::int32_t seed) {
  OutputWriters outputs(values.out_file, {}, {}, {alignment, SS, values.include_data});
  const PartitionModels models = MakePartitionModels(parameters);
  const InferenceInputs inputs{tree.down_pass, tree.up_pass,  SS,    alignment, parameters,
                               models,         tree.matrices, hidden};
  NodeVectors vectors = MakeNodeVectors(inputs, values);
  RunPosteriorPasses(inputs, values, vectors, false);
  const ResultUnits units = ResultUnits::OfOneTree(tree.down_pass, tree.up_pass, alignment);
  outputs.Head();
  const auto n_samples = static_cast<std::size_t>(values.n_samples);
  StreamedRows rows(outputs, units, n_samples, alignment.structure.size());
  const TreeRows tree_rows{units.NodesIn(tree.down_pass, alignment.n_taxa), &hidden};
  const RowSettings settings{values.n_samples, values.condition_on_pairs, seed, values.threads,
                             values.show_debug != 0};
  DrawTreeRows(0, units, tree_rows, SS, alignment.structure, settings, rows, nullptr);
  RunResults results;
  results.summary = {tree.down_pass.front()->scaled_length,
                     values.n_samples,
                     values.lambda,
                     values.is_harmonic,
                     {}};
  outputs.End(results);
  outputs.CommitAll();
}
