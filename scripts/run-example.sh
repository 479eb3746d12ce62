#!/usr/bin/env bash
# The whole pipeline on the bundled example, a real Rfam plant SRP RNA
# alignment of 10 taxa and 367 columns: pairnex writes the NEXUS file,
# MrBayes estimates the tree and the parameters (a short chain), and
# ribotrace computes the exact posteriors of the ancestral states, writes
# the named tree, the per-site tables and the most probable sequences, and
# samples ancestral and hidden sequences. Results go to out/.
set -euo pipefail
cd "$(dirname "$0")/.."
echo "== Checking the Debian packages (installs what is missing)"
scripts/install-deps.sh

# A first build takes several minutes: each target is named as it is done.
echo "== Building pairnex and ribotrace in build/release"
cmake -S . -B build/release -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build/release -j "$(nproc 2>/dev/null || echo 2)" |
  grep --line-buffered -E '^\[ *[0-9]+%\] Built target'
echo "== pairnex (NEXUS file out/plant_srp10.nex)"

mkdir -p out
build/release/pairnex/pairnex --ngen=2000 --samplefreq=20 \
  examples/plant_srp10.txt out/plant_srp10.nex
echo "== MrBayes (log in out/mb.log)"
(cd out && mb plant_srp10.nex > mb.log 2>&1)
echo "== ribotrace"
build/release/ribotrace/ribotrace --state --report examples/plant_srp10.txt \
  out/plant_srp10.nex.con.tre out/plant_srp10.nex.pstat out/plant_srp10_samples.fa \
  1 1.0 100 1 0

out=out/plant_srp10_samples.fa
echo "== Results"
echo "$out: $(grep -c '^>anc_' "$out") ancestral and $(grep -c '^>psr_' "$out") hidden sequences"
echo "$out.tree (the tree with its node names):"
cat "$out.tree"
echo "$out.state (posterior of every node and column), first rows:"
head -n 5 "$out.state"
echo "$out.map.fa: the most probable sequence of each of $(grep -c '^>' "$out.map.fa") nodes"
echo "$out.html: the report; open it in a browser"

# The same alignment over the posterior sample of a bundled two-run MrBayes
# analysis (examples/plant_srp10_2runs.nex.run{1,2}.{t,p}): results by clade.
runs=examples/plant_srp10_2runs.nex
echo "== ribotrace over MrBayes's posterior sample (two runs)"
build/release/ribotrace/ribotrace --state --loglik examples/plant_srp10.txt \
  "$runs.run1.t,$runs.run2.t" "$runs.run1.p,$runs.run2.p" out/plant_srp10_sample.fa \
  1 1.0 100 1 0 | tail -n 1
echo "out/plant_srp10_sample.fa.clades (each clade's share of the used trees):"
cut -f 1-3 out/plant_srp10_sample.fa.clades
