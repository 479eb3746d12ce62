#include "inference/gap_reconstruction.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "bailout/bailout.h"
#include "inference/golden_section.h"

GapRateFit FitGapRate(const std::vector<NodeStruct*>& down_pass, const GapCharacters& characters) {
  if (std::none_of(characters.absence_frequency.begin(), characters.absence_frequency.end(),
                   IsVariableGapCharacter)) {
    return {0.0, 0.0, GapRateStatus::kNoVariableCharacter};
  }
  const auto log_likelihood = [&](double log_rate) {
    return GapLogLikelihood(down_pass, characters, std::exp(log_rate));
  };
  const double low = std::log(kMinGapRate);
  const double step = std::log(10.0) / 2.0;
  const int n_points = static_cast<int>(std::lround((std::log(kMaxGapRate) - low) / step)) + 1;
  int best = 0;
  double best_f = -INFINITY;
  double top = -INFINITY;  // at the upper end
  for (int i = 0; i < n_points; ++i) {
    const double f = top = log_likelihood(low + i * step);
    if (f > best_f) {
      best = i;
      best_f = f;
    }
  }
  if (!std::isfinite(best_f)) {
    Fail(
        "ReconstructGaps Error: The gaps of the data have probability 0 on this tree at every "
        "rate: taxa that differ in a gap are joined by branches of length 0. Use --gaps=column.");
  }
  double best_x = low + best * step;
  // At large rates the likelihood flattens out to that of independent
  // taxa; a maximum no higher than that level is the upper end.
  if (top >= best_f - 1e-9 * std::max(1.0, std::fabs(best_f))) {
    return {kMaxGapRate, top, GapRateStatus::kAtBound};
  }
  // The lower end is never the maximum: a character absent in some taxa and
  // present in others needs a change, so its likelihood vanishes with the
  // rate.
  GoldenSection(log_likelihood, best_x - step, best_x + step, 1e-6, &best_x, &best_f);
  return {std::exp(best_x), best_f, GapRateStatus::kFitted};
}

GapReconstruction ReconstructGaps(const std::vector<NodeStruct*>& down_pass,
                                  const Alignment& alignment, const std::vector<SiteRecord>& SS,
                                  GapModel model, bool listing) {
  GapReconstruction gaps;
  gaps.characters = MakeGapCharacters(alignment, SS);
  if (model == GapModel::kIndel) {
    const IndelRates& rates = gaps.indel.emplace(FitIndelRates(down_pass, gaps.characters));
    gaps.posteriors = GetIndelPosteriors(down_pass, gaps.characters, rates.deletion);
    if (listing) {
      std::printf(
          "\nInsertion rate = %lf, deletion rate = %lf (log-likelihood of the gaps = %lf)\n",
          rates.insertion, rates.deletion, rates.log_likelihood);
    }
    return gaps;
  }
  gaps.fit = FitGapRate(down_pass, gaps.characters);
  gaps.posteriors = GetGapPosteriors(down_pass, gaps.characters, gaps.fit.rate);
  if (listing) {
    std::printf("\nGap rate = %lf (log-likelihood of the gaps = %lf)\n", gaps.fit.rate,
                gaps.fit.log_likelihood);
  }
  return gaps;
}
