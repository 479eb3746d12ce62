#!/usr/bin/env bash
# How good the fit is on data simulated under its own model:
# bench/fit_calibration.sh [BUILD]
# bench/simulate draws alignments on random trees with known parameters
# (equal rates with unequal stem and loop rates; gamma rates); ribotrace
# --fit estimates the model and every branch length on the true topology
# (its lengths removed, so the fit starts from nothing), then reconstructs;
# bench/calibrate.py scores the posteriors against the true ancestral states
# and sets the fitted parameters beside the true ones.
set -euo pipefail
# shellcheck source=bench/common.sh
source "$(dirname "$0")/common.sh"
use_build "${1:-$root/build/release}"
make_scratch fit-calibration

for config in "equal rates, stems 2.3x loops, 80 taxa:--taxa=80 --multipliers=1.4,0.6|" \
              "gamma rates, 100 taxa:--taxa=100 --alpha=0.5,0.8|--rates=gamma"; do
  name="${config%%:*}"
  spec="${config#*:}"
  read -r -a sim_options <<<"${spec%%|*}"
  read -r -a fit_options <<<"${spec#*|}"
  for seed in 1 2; do
    folder="$scratch/$seed"
    "$simulate" "${sim_options[@]}" --stems=100 --loops=200 --mean-length=0.06 --seed="$seed" \
      "$folder" >/dev/null
    sed 's/:[0-9.eE+-]*//g' "$folder/tree.nwk" >"$folder/topology.nwk"
    /usr/bin/time -f "%U" -o "$folder/time" "$ribotrace" --fit "${fit_options[@]}" --state \
      --seed=1 "$folder/data.txt" "$folder/topology.nwk" - "$folder/out" 0 0.1 1 0 0 \
      >/dev/null 2>&1
    echo "== $name, seed $seed (fit and analysis: $(cat "$folder/time") s user)"
    python3 "$root/bench/calibrate.py" "$folder" "$folder/out"
  done
done
