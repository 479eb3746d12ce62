// Whether MrBayes's runs have converged, from the samples a run over its
// posterior sample uses: the figures MrBayes's own sump and sumt print.
#pragma once

#include <span>
#include <vector>

// The effective sample size of a chain's series: its length over the
// integrated autocorrelation time, the autocorrelations summed in pairs
// while a pair is positive (Geyer's initial positive sequence), so that
// noise in the tail does not count.
double EffectiveSampleSize(std::span<const double> series);

// Gelman and Rubin's potential scale reduction factor of one quantity over
// several runs, each cut to the shortest: near 1 when the runs sample the
// same distribution. NaN with fewer than two runs or no variance.
double PotentialScaleReduction(const std::vector<std::vector<double>>& runs);

// The average standard deviation of split frequencies: for every split
// (one entry per split, its frequency in each run) seen in at least 10% of
// some run's trees, the standard deviation of its frequencies across the
// runs, averaged. NaN with fewer than two runs or no such split.
double AverageSplitDeviation(const std::vector<std::vector<double>>& split_frequencies);
