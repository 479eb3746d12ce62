#!/usr/bin/env bash
# The gaps' reconstructions against the truth: bench/indel_gaps.sh [BUILD]
# bench/simulate draws alignments under the Poisson indel process (40 to
# 150 taxa; with and without characters whose insertions and deletions run
# faster or slower than others), ribotrace runs on the true tree with the
# true parameters with --gaps=tree and with --gaps=indel, and
# bench/calibrate.py scores each p_gap against the true absence; the
# fitted insertion and deletion rates are printed beside the truth. Last,
# user CPU of both on the bundled examples (best of five).
set -euo pipefail
# shellcheck source=bench/common.sh
source "$(dirname "$0")/common.sh"
use_build "${1:-$root/build/release}"
make_scratch indel-gaps

for config in "40 taxa:--taxa=40 --deletion-rate=0.5" \
              "100 taxa:--taxa=100 --deletion-rate=0.5" \
              "150 taxa:--taxa=150 --deletion-rate=0.3" \
              "100 taxa, indel rates vary (shape 0.5):--taxa=100 --deletion-rate=0.5 --indel-shape=0.5"; do
  name="${config%%:*}"
  read -r -a options <<<"${config#*:}"
  for seed in 1 2; do
    folder="$scratch/sim"
    rm -rf "$folder"
    "$simulate" "${options[@]}" --stems=60 --loops=150 --mean-length=0.05 --seed="$seed" \
      "$folder" >/dev/null
    truth=$(awk -F'\t' '$1 == "insertion_rate" || $1 == "deletion_rate" {printf "%s %s  ", $1, $2}' \
      "$folder/truth_indel.tsv")
    for gaps in tree indel; do
      "$ribotrace" "$folder/data.txt" "$folder/tree.nwk" "$folder/params.pstat" "$folder/out" \
        0 0.1 1 0 0 --seed=1 --state --gaps=$gaps >/dev/null 2>&1
      echo "== $name, seed $seed, --gaps=$gaps"
      if [ "$gaps" = indel ]; then
        echo "true: $truth"
        echo "fitted: $(grep -E '^(insertion|deletion)_rate' "$folder/out.par" | tr '\t\n' '  ')"
      fi
      python3 "$root/bench/calibrate.py" "$folder" "$folder/out" | grep -E '^p_gap|^nodes holding'
    done
  done
done

for example in plant_srp10 snr75; do
  for gaps in tree indel; do
    best_user_cpu 5 "$ribotrace" "$root/examples/$example.txt" \
      "$root/examples/$example.nex.con.tre" "$root/examples/$example.nex.pstat" "$scratch/out" \
      0 0.1 10 0 0 --seed=1 --state --gaps=$gaps
    echo "$example --gaps=$gaps: user CPU $best s"
  done
done
