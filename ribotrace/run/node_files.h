// The files that name and describe the nodes, from the tree and the
// posteriors the passes hold.
#pragma once

#include "io/results_file.h"
#include "run/inference_stages.h"

// Writes the labelled tree, then, node by node for the interior nodes below
// the root in pre-order (anc_1, anc_2, ...): the most probable sequence and,
// when the files are open, every column's row of the per-site table and
// every stem pair's row of the per-pair table. The posteriors are read as
// the posterior passes left them, before sampling conditions any on pairs.
void WriteNodeFiles(const InferenceInputs& inputs, ResultsFiles& files);
