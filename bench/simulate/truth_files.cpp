#include "truth_files.h"

#include <cstdio>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "parameter_table.h"

namespace sim {
namespace {

constexpr char kNucleotides[] = "ACGU";

std::string StateText(const Character& c, int state) {
  if (state < 0) return "-";
  if (!c.stem) return std::string(1, kNucleotides[state]);
  return {kNucleotides[state / 4], kNucleotides[state % 4]};
}

std::string Number(double value) {
  char text[40];
  std::snprintf(text, sizeof text, "%.10g", value);
  return text;
}

void Save(const std::string& folder, const std::string& name, const std::string& text) {
  const std::string path = folder + "/" + name;
  std::ofstream out(path, std::ios::binary);
  out << text;
  out.close();
  if (!out) throw std::runtime_error("cannot write '" + path + "'");
}

std::string Alignment(const Simulation& sim) {
  std::string out = ">SS_cons\n" + sim.layout.structure + "\n";
  for (int tip : sim.tree.Tips()) {
    out += ">" + sim.tree.nodes[tip].name + "\n";
    for (std::size_t col = 0; col < sim.layout.column.size(); ++col) {
      const Character& c = sim.characters[sim.layout.column[col]];
      const int state = c.state[tip];
      if (state < 0) {
        out += '-';
      } else if (!c.stem) {
        out += kNucleotides[state];
      } else {
        const bool five = sim.layout.site5[sim.layout.column[col]] == static_cast<int>(col) + 1;
        out += kNucleotides[five ? state / 4 : state % 4];
      }
    }
    out += "\n";
  }
  return out;
}

std::string TreeTable(const Tree& tree) {
  std::string out = "Node\tParent\tLength\tTaxa\n";
  const std::vector<std::string> taxa = tree.TaxonSets();
  for (int v = 0; v < static_cast<int>(tree.nodes.size()); ++v) {
    const int parent = tree.nodes[v].parent;
    out += tree.NodeId(v) + "\t" + (parent < 0 ? "-" : tree.NodeId(parent)) + "\t" +
           Number(tree.nodes[v].length) + "\t" + taxa[v] + "\n";
  }
  return out;
}

std::string Site(int column) { return column > 0 ? std::to_string(column) : "-"; }

std::string CharacterTable(const Simulation& sim) {
  std::string out = "Char\tType\tSite5\tSite3\tOrigin\tOffset\tSubRate\tIndelRate\n";
  for (std::size_t i = 0; i < sim.characters.size(); ++i) {
    const Character& c = sim.characters[i];
    out += std::to_string(i) + "\t" +
           (c.anchor ? "anchor"
            : c.stem ? "stem"
                     : "loop") +
           "\t" + Site(sim.layout.site5[i]) + "\t" + Site(sim.layout.site3[i]) + "\t" +
           (c.origin == 0 ? "root" : sim.tree.NodeId(c.origin)) + "\t" + Number(c.offset) + "\t" +
           Number(c.sub_rate) + "\t" + Number(c.indel_rate) + "\n";
  }
  return out;
}

std::string NodeTable(const Simulation& sim) {
  std::ostringstream out;
  out << "Node\tChar\tState\n";
  for (int v = 0; v < static_cast<int>(sim.tree.nodes.size()); ++v) {
    const std::string id = sim.tree.NodeId(v);
    for (std::size_t i = 0; i < sim.characters.size(); ++i) {
      out << id << '\t' << i << '\t' << StateText(sim.characters[i], sim.characters[i].state[v])
          << '\n';
    }
  }
  return out.str();
}

// One row per branch on which the character existed for some time.
std::string BranchTable(const Simulation& sim, bool stems) {
  std::ostringstream out;
  out << "Branch\tChar\t" << (stems ? "Site5\tSite3" : "Site") << "\tParent\tChild\tSubs\n";
  for (int v = 1; v < static_cast<int>(sim.tree.nodes.size()); ++v) {
    const std::string id = sim.tree.NodeId(v);
    for (std::size_t i = 0; i < sim.characters.size(); ++i) {
      const Character& c = sim.characters[i];
      const int parent = c.state[sim.tree.nodes[v].parent];
      if (c.stem != stems || (parent < 0 && c.origin != v)) continue;
      out << id << '\t' << i << '\t' << Site(sim.layout.site5[i]);
      if (stems) out << '\t' << Site(sim.layout.site3[i]);
      out << '\t' << StateText(c, parent) << '\t' << StateText(c, c.state[v]) << '\t' << c.subs[v]
          << '\n';
    }
  }
  return out.str();
}

std::string IndelTable(const Simulation& sim) {
  int at_root = 0, inserted = 0, dropped = 0, anchors = 0;
  for (std::size_t i = 0; i < sim.characters.size(); ++i) {
    const Character& c = sim.characters[i];
    anchors += c.anchor;
    if (!c.anchor) (c.origin == 0 ? at_root : inserted) += 1;
    dropped += sim.layout.site5[i] == 0;
  }
  const IndelParameters& p = sim.indels;
  return "Parameter\tValue\ninsertion_rate\t" + Number(p.insertion_rate) + "\ndeletion_rate\t" +
         Number(p.deletion_rate) + "\nindel_shape\t" + Number(p.shape) + "\nindel_categories\t" +
         std::to_string(p.shape > 0.0 ? p.categories : 1) + "\ntree_length\t" +
         Number(sim.tree.TotalLength()) + "\ncharacters_at_root\t" + std::to_string(at_root) +
         "\ncharacters_inserted\t" + std::to_string(inserted) + "\ncharacters_dropped\t" +
         std::to_string(dropped) + "\nanchor_characters\t" + std::to_string(anchors) +
         "\ncolumns\t" + std::to_string(sim.layout.column.size()) + "\n";
}

}  // namespace

void WriteSimulation(const Simulation& sim, const std::string& folder) {
  const bool has_stems = sim.layout.structure.find('(') != std::string::npos;
  Save(folder, "data.txt", Alignment(sim));
  Save(folder, "tree.nwk", WriteNewick(sim.tree));
  Save(folder, "params.pstat", WriteParameterTable(sim.model, has_stems, sim.tree.TotalLength()));
  Save(folder, "truth_tree.tsv", TreeTable(sim.tree));
  Save(folder, "truth_characters.tsv", CharacterTable(sim));
  Save(folder, "truth_nodes.tsv", NodeTable(sim));
  Save(folder, "truth_pair_branches.tsv", BranchTable(sim, true));
  Save(folder, "truth_loop_branches.tsv", BranchTable(sim, false));
  Save(folder, "truth_indel.tsv", IndelTable(sim));
}

}  // namespace sim
