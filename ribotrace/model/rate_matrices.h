// The two instantaneous rate matrices of a run, built from the MrBayes
// estimates: a 4 x 4 general time-reversible matrix for loop columns and the
// 16 x 16 doublet matrix of Schoniger and von Haeseler (1994) for stem pairs.
#pragma once

#include <array>

#include "model/model_params.h"
#include "model/model_params.h"

// Row = present state, column = next state, row-major; nucleotides in the order
// A, C, G, U, doublets in doublet index order (4 x first + second). Written by
// SetQMatrix and SetDoubletQMatrix, read by the transition probabilities.
extern std::array<double, 16> singlet_q_matrix;
extern std::array<double, 256> doublet_q_matrix;

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

// Fills singlet_q_matrix from the loop rates and base frequencies, scaled to
// mean rate 1; prints it when show_debug_info is set. Throws FatalError when
// the mean rate before scaling is not positive and finite.
void SetQMatrix(const ModelParams& parameters);
// Same for doublet_q_matrix from the stem rates and doublet frequencies.
void SetDoubletQMatrix(const ModelParams& parameters);
