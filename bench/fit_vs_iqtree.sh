#!/usr/bin/env bash
# The maximum-likelihood fit against IQ-TREE on one fixed tree:
# bench/fit_vs_iqtree.sh DATA TREE [BUILD]
# Writes DATA as FASTA (pairnex --fasta), fits GTR+FO+G4 with iqtree2 on
# TREE's topology (-te) and the model with ribotrace --fit, with equal rates
# and with --rates=gamma, and prints the log-likelihoods and CPU seconds
# (one thread each). On a structure without pairs IQ-TREE's model and
# ribotrace's with gamma are the same and the log-likelihoods should agree
# within 0.05; with pairs, ribotrace fits the doublet model and the figures
# compare cost only.
set -euo pipefail
# shellcheck source=bench/common.sh
source "$(dirname "$0")/common.sh"
data="${1:?usage: bench/fit_vs_iqtree.sh DATA TREE [BUILD]}"
tree="${2:?}"
use_build "${3:-$root/build/release}"
make_scratch fit
"$pairnex" --fasta "$data" "$scratch/data.fa"
/usr/bin/time -f "iqtree2 CPU %U s" iqtree2 -s "$scratch/data.fa" -te "$tree" -m GTR+FO+G4 -nt 1 \
  -seed 1 --prefix "$scratch/iq" -quiet
grep "Log-likelihood of the tree" "$scratch/iq.iqtree"
for rates in equal gamma; do
  /usr/bin/time -f "ribotrace --fit --rates=$rates CPU %U s (fit and analysis)" "$ribotrace" --fit \
    --rates="$rates" "$data" "$tree" - "$scratch/$rates" 0 1 1 0 0 | grep "^Fit:"
done
