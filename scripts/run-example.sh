#!/usr/bin/env bash
# Builds ribotrace and runs it on the bundled example alignment (a real
# Rfam plant SRP RNA alignment of 10 taxa), with diagnostics on.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh

cmake -S . -B build/release -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build/release -j "$(nproc 2>/dev/null || echo 2)" >/dev/null

mkdir -p out
build/release/ribotrace/ribotrace --seed=1 examples/plant_srp10.txt \
  examples/plant_srp10.nex.con.tre examples/plant_srp10.nex.pstat out/plant_srp10.fa \
  1 1.0 10 1 0 1
