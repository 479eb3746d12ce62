// The likelihood and posterior passes of a run with gamma-distributed
// rates across sites (MrBayes's rates=gamma).
#pragma once

#include "inference/branch_changes.h"
#include "inference/log_likelihood.h"
#include "inference/node_vectors.h"
#include "inference/sample_rows.h"
#include "run/run_values.h"
#include "run/pass_inputs.h"

// Runs the fractional-likelihood and marginal-posterior passes once per
// gamma category (values.gamma_categories of them), with every branch's
// matrices at that category's rate: the stem and loop partitions each
// take the mean rates of their own shape (rate 1 in a partition without
// one), doublets at twice the branch time as always, in the vectors of
// that category (`vectors` holds values.gamma_categories of them). Leaves
// every interior node below the root with its posteriors given each
// category and, in posterior_probs, their mixture; prints the mixture's
// log-likelihood with --loglik and stores it in *log_likelihood; with
// `changes` (sized for the tree) records every branch's figures, mixed over
// the categories, into it. Returns
// the category posteriors of every block and the hidden branch matrices of
// each category, for sampling.
CategorySampling RunRateCategoryPasses(const InferenceInputs& inputs, const RunValues& values,
                                       NodeVectors& vectors,
                                       PartitionLogLikelihoods* log_likelihood,
                                       BranchChanges* changes = nullptr);
