#!/usr/bin/env bash
# Rebuilds the bundled MrBayes output in examples/: converts each example
# alignment with pairnex (short chain, MrBayes 3.2 summary commands), runs
# MrBayes on it with fixed seeds, and copies the files back. A file is
# replaced only when it changed apart from its "[ID: ...]" line, which
# MrBayes draws at random on every run.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh

cmake -S . -B build/release -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build/release -j "$(nproc 2>/dev/null || echo 2)" --target pairnex >/dev/null
pairnex="$PWD/build/release/pairnex/pairnex"

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

# regenerate NAME SUFFIX...: the .nex file and the MrBayes files to keep.
# With OUTPUT=other_name and RUNS=N in the environment, the files are named
# after OUTPUT and MrBayes runs N independent runs.
regenerate() {
  local source=$1
  local name=${OUTPUT:-$1}
  shift
  "$pairnex" --mrbayes=3.2 --ngen=2000 --samplefreq=20 --nruns="${RUNS:-1}" --nchains=1 \
    "examples/$source.txt" "$scratch/$name.nex"
  printf '#NEXUS\nbegin mrbayes;\n\tset seed=1 swapseed=1;\n\texecute %s.nex;\nend;\n' "$name" \
    >"$scratch/seeded.nex"
  (cd "$scratch" && mb seeded.nex >"$name.log") || {
    cat "$scratch/$name.log"
    echo "MrBayes failed on $name.nex" >&2
    exit 1
  }
  local suffix file
  for suffix in "$@"; do
    file="$name$suffix"
    if [ -f "examples/$file" ] &&
      diff -q <(grep -v '^\[ID: ' "examples/$file") <(grep -v '^\[ID: ' "$scratch/$file") >/dev/null; then
      echo "unchanged  examples/$file"
    else
      cp "$scratch/$file" "examples/$file"
      echo "written    examples/$file"
    fi
  done
}

regenerate plant_srp10 .nex .nex.con.tre .nex.t .nex.pstat .nex.p
regenerate snr75 .nex .nex.con.tre .nex.pstat
# Two runs of the same analysis: their sampled trees and parameters, which
# ribotrace integrates over (x.run1.t,x.run2.t with x.run1.p,x.run2.p).
OUTPUT=plant_srp10_2runs RUNS=2 regenerate plant_srp10 .nex .nex.run1.t .nex.run2.t \
  .nex.run1.p .nex.run2.p .nex.pstat .nex.con.tre

# examples/plant_srp10_ambiguous.txt is plant_srp10.txt with 79 nucleotides
# of stem columns replaced by ambiguity codes (R, Y, N); the MrBayes parity
# test runs pairnex and mb on it itself (seed=1 swapseed=1, 200 generations).
