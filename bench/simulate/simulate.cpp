// Simulates RNA alignments under the stem/loop model that ribotrace reads
// from MrBayes, with an optional Poisson indel process, and writes the data
// with its whole true history, for measuring how well calibrated ribotrace's
// probabilities are (bench/calibrate.py). Independent of ribotrace's code
// on purpose: a shared bug would otherwise cancel out.
#include <algorithm>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <stdexcept>

#include "discrete_gamma.h"
#include "layout.h"
#include "options.h"
#include "parameter_table.h"
#include "truth_files.h"

namespace {

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot open '" + path + "'");
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

sim::ModelParameters Model(const sim::Options& o, bool has_stems) {
  sim::ModelParameters model = o.params_file.empty()
                                   ? sim::DefaultParameters()
                                   : sim::ReadParameterTable(o.params_file, has_stems);
  if (!has_stems) model.stems = sim::DefaultParameters().stems;  // unused, but well formed
  if (o.stem_alpha >= 0.0) model.stems.alpha = o.stem_alpha;
  if (o.loop_alpha >= 0.0) model.loops.alpha = o.loop_alpha;
  model.gamma_categories = o.categories;
  if (o.stem_multiplier >= 0.0) {
    model.stems.multiplier = o.stem_multiplier;
    model.loops.multiplier = o.loop_multiplier;
    model.has_multipliers = true;
  }
  return model;
}

std::string Structure(const sim::Options& o, const sim::Simulation& s,
                      const std::vector<bool>& observed, std::mt19937_64& rng) {
  if (s.indels.deletion_rate == 0.0 && !o.structure.empty()) return o.structure;
  int stems = 0, loops = 0, anchors = 0;
  for (std::size_t i = 0; i < s.characters.size(); ++i) {
    if (!observed[i]) continue;
    const sim::Character& c = s.characters[i];
    (c.anchor ? anchors : c.stem ? stems : loops) += 1;
  }
  const std::string end = anchors > 0 ? "-" : "";
  return end + sim::RandomStructure(stems, loops, rng) + end;
}

sim::Simulation Simulate(const sim::Options& o) {
  std::mt19937_64 rng(o.seed);
  sim::Simulation s;
  s.tree = o.tree_file.empty() ? sim::RandomTree(o.taxa, o.mean_length, rng)
                               : sim::ParseNewick(ReadFile(o.tree_file));
  std::set<std::string> names;
  for (int tip : s.tree.Tips()) {
    if (!names.insert(s.tree.nodes[tip].name).second) {
      throw std::runtime_error("the tree names taxon '" + s.tree.nodes[tip].name + "' twice");
    }
  }
  const sim::BracketCounts counts =
      o.structure.empty() ? sim::BracketCounts{o.stems, o.loops} : sim::CountBrackets(o.structure);
  s.model = Model(o, counts.stems > 0);
  s.indels = {o.insertion_rate, o.deletion_rate, o.indel_shape, o.indel_categories, 0.0, o.anchors};
  if (s.indels.deletion_rate > 0.0) {
    const double characters = counts.stems + counts.loops;
    if (s.indels.insertion_rate == 0.0)
      s.indels.insertion_rate = s.indels.deletion_rate * characters;
    s.indels.stem_share = counts.stems / characters;
  }
  s.characters = sim::DrawOrigins(s.tree, s.indels, counts.stems, counts.loops, rng);
  sim::EvolveCharacters(s.tree, s.model, s.indels, s.characters, rng);
  std::vector<bool> observed(s.characters.size(), false);
  for (std::size_t i = 0; i < s.characters.size(); ++i) {
    for (int tip : s.tree.Tips()) observed[i] = observed[i] || s.characters[i].state[tip] >= 0;
  }
  s.layout = sim::LayOut(Structure(o, s, observed, rng), s.characters, observed);
  return s;
}

}  // namespace

int main(int argc, char** argv) {
  try {
    const sim::Options options = sim::ParseOptions(argc, argv);
    const sim::Simulation s = Simulate(options);
    std::filesystem::create_directories(options.folder);
    sim::WriteSimulation(s, options.folder);
    std::printf("%zu taxa, %zu columns, %zu characters (%d dropped: absent from every taxon)\n",
                s.tree.Tips().size(), s.layout.column.size(), s.characters.size(),
                static_cast<int>(std::count(s.layout.site5.begin(), s.layout.site5.end(), 0)));
    return 0;
  } catch (const std::invalid_argument& error) {
    std::fprintf(stderr, "simulate: %s\n%s", error.what(), sim::kUsage);
    return 1;
  } catch (const std::exception& error) {
    std::fprintf(stderr, "simulate: %s\n", error.what());
    return 1;
  }
}
