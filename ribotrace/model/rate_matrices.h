// The two instantaneous rate matrices of a model, built from its parameters: a 4 x 4 general
// time-reversible matrix for loop columns and the 16 x 16 doublet matrix of Schoniger and von
// Haeseler (1994) for stem pairs.
#pragma once

#include <array>

#include <span>

#include "model/model_params.h"

// r_ij[i][j]: index (0-5 in the order AC, AG, AU, CG, CU, GU) of the exchange
// rate of a direct change from doublet i to doublet j, or -1 where none exists.
// A direct change alters one position and takes the rate of the nucleotide
// pair that changes, at either position.
extern const std::array<std::array<int, 16>, 16> r_ij;

// The loop model's 4 x 4 rate matrix, scaled to mean rate 1 under its
// frequencies. Throws FatalError when the mean rate before scaling is not
// positive and finite.
std::array<double, 16> LoopRateMatrix(const LoopParams& loop);
// The stem model's 16 x 16 doublet rate matrix, likewise.
std::array<double, 256> StemRateMatrix(const StemParams& stem);

// Prints the n x n rate matrix q under `heading` (the diagnostic listing).
void ShowRateMatrix(const char* heading, std::span<const double> q, int n);
