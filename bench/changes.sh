#!/usr/bin/env bash
# The figures of --changes on simulated data, and what --changes costs:
# bench/changes.sh [BUILD]
# Calibration: bench/simulate draws alignments with their whole histories
# (equal rates; gamma rates; the indel process), ribotrace --changes runs on
# the true tree with the true parameters, and bench/calibrate.py scores
# p_cbc, p_hemi, p_break, p_restore and p_present against the true ends of
# every branch, and the summed E_subs against the true substitutions.
# Cost: user CPU of a plain run, with --state and with --changes on a
# 300-taxon simulated alignment (one thread, best of three).
set -euo pipefail
# shellcheck source=bench/common.sh
source "$(dirname "$0")/common.sh"
use_build "${1:-$root/build/release}"
make_scratch changes

run() {  # folder, options...
  local folder="$1"
  shift
  "$ribotrace" "$folder/data.txt" "$folder/tree.nwk" "$folder/params.pstat" "$folder/out" \
    0 0.1 1 0 0 --seed=1 "$@" >/dev/null 2>&1
}

for config in "equal rates, 60 taxa:--taxa=60" \
              "gamma rates, 100 taxa:--taxa=100 --alpha=0.5,0.8" \
              "indels, 80 taxa:--taxa=80 --deletion-rate=0.5"; do
  name="${config%%:*}"
  read -r -a options <<<"${config#*:}"
  for seed in 1 2 3; do
    folder="$scratch/$seed"
    "$simulate" "${options[@]}" --stems=80 --loops=120 --mean-length=0.08 --seed="$seed" \
      "$folder" >/dev/null
    run "$folder" --changes --gaps=tree
    echo "== $name, seed $seed"
    python3 "$root/bench/calibrate.py" "$folder" "$folder/out" | grep '^changes'
  done
done

big="$scratch/big"
"$simulate" --taxa=300 --stems=150 --loops=300 --mean-length=0.05 --seed=9 "$big" >/dev/null
for options in "" "--state" "--changes"; do
  # shellcheck disable=SC2086
  best_user_cpu 3 "$ribotrace" "$big/data.txt" "$big/tree.nwk" "$big/params.pstat" "$big/out" \
    0 0.1 10 0 0 --seed=1 $options
  echo "300 taxa x 600 columns, 10 samples ${options:-(plain)}: user CPU ${best} s"
done
