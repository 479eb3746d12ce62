#include "fit/model_coordinates.h"

#include <array>
#include <cmath>
#include <numeric>

namespace {

constexpr char kBases[] = "ACGT";

void AddRates(std::vector<Coordinate>& out, std::array<double, 6>& (*of)(ModelParams&),
              decltype(Coordinate::kStem) partition, const std::string& suffix) {
  static const char* kPairs[] = {"A<->C", "A<->G", "A<->T", "C<->G", "C<->T", "G<->T"};
  for (int k = 0; k < 5; ++k) {
    out.push_back({std::string("r(") + kPairs[k] + ")" + suffix, partition, std::log(1e-4),
                   std::log(1e3),
                   [of, k](const ModelParams& p) {
                     auto& r = of(const_cast<ModelParams&>(p));
                     return std::log(r[k] / r[5]);
                   },
                   [of, k](ModelParams& p, double x) { of(p)[k] = std::exp(x) * of(p)[5]; }});
  }
}

// Frequencies as log ratios to a reference state's; setting one rescales
// all to sum 1.
template <std::size_t N>
void AddFrequencies(std::vector<Coordinate>& out, std::array<double, N>& (*of)(ModelParams&),
                    decltype(Coordinate::kStem) partition, const std::string& suffix,
                    std::size_t reference) {
  for (std::size_t k = 0; k < N; ++k) {
    if (k == reference) continue;
    std::string state =
        N == 4 ? std::string(1, kBases[k]) : std::string{kBases[k / 4], kBases[k % 4]};
    out.push_back({"pi(" + state + ")" + suffix, partition, -12.0, 12.0,
                   [of, k, reference](const ModelParams& p) {
                     auto& f = of(const_cast<ModelParams&>(p));
                     return std::log(f[k] / f[reference]);
                   },
                   [of, k, reference](ModelParams& p, double x) {
                     auto& f = of(p);
                     f[k] = std::exp(x) * f[reference];
                     const double sum = std::accumulate(f.begin(), f.end(), 0.0);
                     for (double& v : f) v /= sum;
                   }});
  }
}

std::array<double, 6>& StemRates(ModelParams& p) { return p.stem.rates; }
std::array<double, 6>& LoopRates(ModelParams& p) { return p.loop.rates; }
std::array<double, 16>& StemFreqs(ModelParams& p) { return p.stem.frequencies; }
std::array<double, 4>& LoopFreqs(ModelParams& p) { return p.loop.frequencies; }

Coordinate TreeScale(decltype(Coordinate::kStem) partition, double ModelParams::*rate) {
  return {kTreeScale,
          partition,
          -6.0,
          6.0,
          [rate](const ModelParams& p) { return std::log(p.*rate); },
          [rate](ModelParams& p, double x) { p.*rate = std::exp(x); }};
}

}  // namespace

std::vector<Coordinate> ModelCoordinates(const CoordinateChoice& choice) {
  std::vector<Coordinate> out;
  const bool both = choice.stems && choice.loops;
  if (choice.stems) {
    if (!both) out.push_back(TreeScale(Coordinate::kStem, &ModelParams::stem_rate));
    AddRates(out, StemRates, Coordinate::kStem, "{1}");
    if (!choice.empirical_frequencies)
      AddFrequencies<16>(out, StemFreqs, Coordinate::kStem, "{1}", choice.stem_reference);
    if (choice.gamma) {
      out.push_back({"alpha{1}", Coordinate::kStem, std::log(0.02), std::log(100.0),
                     [](const ModelParams& p) { return std::log(p.stem.alpha); },
                     [](ModelParams& p, double x) { p.stem.alpha = std::exp(x); }});
    }
  }
  const std::string loop_suffix = choice.stems ? "{2}" : "";
  if (choice.loops) {
    if (!both) out.push_back(TreeScale(Coordinate::kLoop, &ModelParams::loop_rate));
    AddRates(out, LoopRates, Coordinate::kLoop, loop_suffix);
    if (!choice.empirical_frequencies)
      AddFrequencies<4>(out, LoopFreqs, Coordinate::kLoop, loop_suffix, choice.loop_reference);
    if (choice.gamma) {
      out.push_back({"alpha" + loop_suffix, Coordinate::kLoop, std::log(0.02), std::log(100.0),
                     [](const ModelParams& p) { return std::log(p.loop.alpha); },
                     [](ModelParams& p, double x) { p.loop.alpha = std::exp(x); }});
    }
  }
  if (both) {
    // The stems' rate relative to the loops', the two averaging 1 over
    // the alignment's nucleotides as MrBayes's rate multipliers do.
    const double share = choice.stem_share;
    out.push_back({"m{1}", Coordinate::kBoth, -6.0, 6.0,
                   [](const ModelParams& p) { return std::log(p.stem_rate / p.loop_rate); },
                   [share](ModelParams& p, double x) {
                     p.loop_rate = 1.0 / (share * std::exp(x) + 1.0 - share);
                     p.stem_rate = std::exp(x) * p.loop_rate;
                   }});
  }
  return out;
}
