#include "io/fit_outputs.h"

#include <cstdio>
#include <numeric>

#include "io/fit_tree_output.h"
#include "output/safe_output_file.h"

namespace {

void Row(std::string& text, const std::string& name, double value) {
  char line[256];
  std::snprintf(line, sizeof line, "%s\t%.6e\t0\t%.6e\t%.6e\t%.6e\tNA\n", name.c_str(), value,
                value, value, value);
  text += line;
}

void Rates(std::string& text, const std::array<double, 6>& rates, const std::string& suffix) {
  static const char* kPairs[] = {"A<->C", "A<->G", "A<->T", "C<->G", "C<->T", "G<->T"};
  for (int k = 0; k < 6; ++k) Row(text, std::string("r(") + kPairs[k] + ")" + suffix, rates[k]);
}

}  // namespace

std::string FitParameterSummary(const FitResult& fit, bool has_stems, bool has_loops) {
  std::string text = "Parameter\tMean\tVariance\tLower\tUpper\tMedian\tESS\n";
  const double length = std::accumulate(fit.tree.length.begin(), fit.tree.length.end(), 0.0);
  const std::string stem = "{1}", loop = has_stems ? "{2}" : "";
  Row(text, has_stems ? "TL{all}" : "TL", length);
  if (has_stems) Rates(text, fit.params.stem.rates, stem);
  if (has_loops) Rates(text, fit.params.loop.rates, loop);
  if (has_stems) {
    // MrBayes names the doublets with A B C D for A C G U.
    for (int k = 0; k < 16; ++k) {
      Row(text, std::string("pi(") + "ABCD"[k / 4] + "ABCD"[k % 4] + ")" + stem,
          fit.params.stem.frequencies[k]);
    }
  }
  if (has_loops) {
    for (int k = 0; k < 4; ++k)
      Row(text, std::string("pi(") + "ACGT"[k] + ")" + loop, fit.params.loop.frequencies[k]);
  }
  if (has_stems && fit.params.stem.alpha > 0.0) Row(text, "alpha" + stem, fit.params.stem.alpha);
  if (has_loops && fit.params.loop.alpha > 0.0) Row(text, "alpha" + loop, fit.params.loop.alpha);
  // MrBayes's rate multipliers (ratepr=variable), after the shapes as it
  // prints them.
  if (has_stems && has_loops) {
    Row(text, "m{1}", fit.params.stem_rate);
    Row(text, "m{2}", fit.params.loop_rate);
  }
  return text;
}

void WriteFitFiles(const std::string& out_file, const FitResult& fit,
                   const std::vector<TaxonName>& names, bool has_stems, bool has_loops) {
  SafeOutputFile pstat(out_file + ".fit.pstat", "Fit Error: Unable to open file.", "Fit Error",
                       SafeOutputFile::Origin::kBeside);
  SafeOutputFile tree(out_file + ".fit.tre", "Fit Error: Unable to open file.", "Fit Error",
                      SafeOutputFile::Origin::kBeside);
  pstat.Write(FitParameterSummary(fit, has_stems, has_loops));
  tree.Write(FitTreeNewick(fit.tree, names));
  pstat.Finish();
  tree.Finish();
  pstat.Publish();
  tree.Publish();
}
