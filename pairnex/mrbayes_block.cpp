#include "mrbayes_block.h"

#include "alignment/structure_pairing.h"
#include "bailout/bailout.h"
#include "output/safe_output_file.h"

namespace pairnex {

namespace {

void AppendDataBlock(std::string& text, const PairnexAlignment& alignment) {
  text += "#NEXUS\n\nbegin data;\n\tdimensions ntax=" + std::to_string(alignment.n_taxa) +
          " nchar=" + std::to_string(alignment.n_sites) +
          ";\n\tformat datatype=rna gap=- missing=? interleave=yes;\n\tmatrix\n";
  for (const TaxonName& taxon : alignment.Names) {
    text += "\t" + alignment.nexus_names[taxon.taxon_number] + "\t\t";
    text.append(alignment.dmatrix, static_cast<std::size_t>(taxon.taxon_number) * alignment.n_sites,
                alignment.n_sites);
    text += '\n';
  }
  text += ";\nend;\n\n";
}

// Site numbers in the file are 1-based; a pair is written opening site first.
void AppendStemLoopPartition(std::string& text, const PairnexAlignment& alignment) {
  std::string pairs;
  std::string stems;
  std::string loops;
  for (int s = 0; s < alignment.n_sites; ++s) {
    const std::string number = std::to_string(s + 1);
    if (alignment.structure[s] == kOpeningSite) {
      if (!pairs.empty()) pairs += ',';
      pairs += number + ":" + std::to_string(alignment.SS[s].partner + 1);
    }
    (alignment.structure[s] == kUnpairedSite ? loops : stems) += " " + number;
  }
  text += "\tpairs " + pairs + ";\n\tcharset stems =" + stems + ";\n\tcharset loops =" + loops +
          ";\n\tpartition by_stem_loop = 2:stems,loops;\n\tset partition = by_stem_loop;\n";
}

// What the lset commands add for the rates across sites: nothing for
// equal rates, MrBayes's default.
std::string RatesSetting(const MrBayesRun& run) {
  if (!run.gamma_rates) return "";
  std::string setting = " rates=gamma";
  if (run.gamma_categories != 4) setting += " ngammacat=" + std::to_string(run.gamma_categories);
  return setting;
}

std::string McmcCommand(const MrBayesRun& run) {
  return "\tmcmc ngen=" + std::to_string(run.ngen) +
         " savebrlens=yes nchains=" + std::to_string(run.nchains) +
         " nruns=" + std::to_string(run.nruns) + " printfreq=" + std::to_string(run.samplefreq) +
         " samplefreq=" + std::to_string(run.samplefreq) + ";\n";
}

std::string SummaryCommands(const MrBayesRun& run) {
  const std::string burnin = std::to_string(run.Burnin());
  if (run.dialect == MrBayesDialect::k32) {
    return "\tsump relburnin=no burnin=" + burnin + ";\n\tsumt relburnin=no burnin=" + burnin +
           " contype=allcompat;\n";
  }
  return "\tsump burnin=" + burnin + " printtofile=yes;\n\tsumt burnin=" + burnin +
         " contype=allcompat;\n";
}

}  // namespace

std::string ComposeMrBayesDoubletFile(const PairnexAlignment& alignment, const MrBayesRun& run) {
  std::string text;
  AppendDataBlock(text, alignment);
  text += "begin mrbayes;\n\tset autoclose=yes nowarn=yes;\n";
  if (alignment.isStructure) {
    AppendStemLoopPartition(text, alignment);
    text +=
        "\tlset applyto=(1)   nucmodel=doublet;\n\tlset applyto=(2)   nucmodel=4by4;\n"
        "\tlset applyto=(1) nst=6" +
        RatesSetting(run) + ";\n\tlset applyto=(2) nst=6" + RatesSetting(run) +
        ";\n\tunlink revmat=(all);\n";
    // Linked, both partitions would share one shape (alpha{all}).
    if (run.gamma_rates) text += "\tunlink shape=(all);\n";
  } else {
    text += "\tlset nucmodel=4by4 nst=6" + RatesSetting(run) + ";\n";
  }
  text += McmcCommand(run) + SummaryCommands(run) + "\tquit;\nend;";
  return text;
}

void WriteMrBayesDoubletFile(SafeOutputFile& file, const PairnexAlignment& alignment,
                             const MrBayesRun& run) {
  file.Write(ComposeMrBayesDoubletFile(alignment, run));
}

}  // namespace pairnex
