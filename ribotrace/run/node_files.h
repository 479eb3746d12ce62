// The files that name and describe the nodes, from the tree and the
// posteriors the passes hold.
#pragma once

#include "inference/gap_reconstruction.h"
#include "io/results_file.h"
#include "run/inference_stages.h"

// Writes the labelled tree, then, node by node for the interior nodes below
// the root in pre-order (anc_1, anc_2, ...): the most probable sequence and,
// when the files are open, every column's row of the per-site table and
// every stem pair's row of the per-pair table. The posteriors are read as
// the posterior passes left them, before sampling conditions any on pairs.
// With `gaps` both tables gain p_gap, the probability that the column (the
// pair) is absent at the node, and the most probable sequence has '-' in
// every column whose p_gap exceeds 0.5 (a stem pair's two columns alike).
void WriteNodeFiles(const InferenceInputs& inputs, ResultsFiles& files,
                    const GapReconstruction* gaps = nullptr);
