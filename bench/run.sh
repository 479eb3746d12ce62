#!/usr/bin/env bash
# Times ribotrace on synthetic input: bench/run.sh TAXA COLUMNS SAMPLES [THREADS...]
# Builds a Release tree in build-bench, writes the inputs to a scratch
# folder, runs ribotrace once per thread count (default 1 and 2) with
# --timings, checks that all runs wrote identical files, and times the bare
# loop of the same number of generator draws (the single-core floor). Each
# run is preceded by the time of a fixed CPU-bound loop on that many
# threads: on a machine shared with other work, what more threads can gain.
# With BENCH_TREES=N it also times the run over a posterior sample: a .t of
# N copies of the tree and a .p of N rows of the same parameters (every
# clade in every tree), and prints the time per tree.
set -euo pipefail
# shellcheck source=bench/common.sh
source "$(dirname "$0")/common.sh"
taxa="${1:?usage: bench/run.sh TAXA COLUMNS SAMPLES [THREADS...]}"
columns="${2:?}"
samples="${3:?}"
shift 3
threads=("$@")
[ ${#threads[@]} -gt 0 ] || threads=(1 2)
seed="${BENCH_SEED:-12345}"

build_bench_tree
make_scratch bench
"$bench_tool" inputs "$taxa" "$columns" "$scratch" "$root/examples/plant_srp10.nex.pstat"

echo "input: $taxa taxa x $columns columns, $samples samples, seed $seed"
first=""
for n in "${threads[@]}"; do
  echo
  echo "--threads=$n (load $(cut -d' ' -f1 /proc/loadavg); a fixed loop takes $("$bench_tool" spin "$n" 2>/dev/null) s on $n thread(s))"
  "$ribotrace" --seed="$seed" --threads="$n" --timings \
    "$scratch/data.txt" "$scratch/data.nex.con.tre" "$scratch/data.nex.pstat" "$scratch/out_$n.fa" \
    0 1.0 "$samples" 0 0 2>"$scratch/timings_$n" >/dev/null
  cat "$scratch/timings_$n"
  echo "output: $(stat -c %s "$scratch/out_$n.fa") bytes"
  if [ -z "$first" ]; then
    first="$n"
  elif cmp -s "$scratch/out_$first.fa" "$scratch/out_$n.fa"; then
    echo "identical to --threads=$first"
  else
    echo "DIFFERS from --threads=$first"
    exit 1
  fi
  # Runs with many samples write gigabytes; keep only the first file.
  [ "$n" = "$first" ] || rm -f "$scratch/out_$n.fa"
done

draws="$(awk '$1 == "sampling-to-writing" { printf "%.0f", $2 * $3 }' "$scratch/timings_${threads[0]}")"
echo
echo "floor: $draws sequential draws in $("$bench_tool" floor "$draws" 2>/dev/null) s"

trees="${BENCH_TREES:-}"
[ -n "$trees" ] || exit 0
# The sample: the consensus tree N times as "tree gen.G", and the means as
# N rows of a .p file (LnL 0, so the log-likelihood check must be told to let it pass).
awk -v n="$trees" '/tree con_all_compat/ { for (i = 0; i < n; ++i) { line = $0;
  sub(/tree con_all_compat/, "tree gen." i * 10, line); print line } next } { print }' \
  "$scratch/data.nex.con.tre" >"$scratch/data.nex.run1.t"
awk -F'\t' -v n="$trees" 'NR > 1 && $1 != "TL{all}" && $1 != "Parameter" { names = names "\t" $1;
  values = values "\t" $2 } END { print "Gen\tLnL\tLnPr" names;
  for (i = 0; i < n; ++i) print i * 10 "\t0\t0" values }' "$scratch/data.nex.pstat" >"$scratch/data.nex.run1.p"
echo
echo "posterior sample: $trees trees"
for n in "${threads[@]}"; do
  "$ribotrace" --seed="$seed" --threads="$n" --timings --burnin=0 --allow-lnl-mismatch \
    --trees="$trees" "$scratch/data.txt" "$scratch/data.nex.run1.t" "$scratch/data.nex.run1.p" \
    "$scratch/sample_$n.fa" 0 1.0 "$samples" 0 0 2>"$scratch/sample_timings_$n" >/dev/null
  echo "--threads=$n: $(grep 'per tree' "$scratch/sample_timings_$n"), peak" \
    "$(awk '$1 == "writing" { print $5 }' "$scratch/sample_timings_$n") kB"
  if [ "$n" != "${threads[0]}" ]; then
    cmp -s "$scratch/sample_${threads[0]}.fa" "$scratch/sample_$n.fa" || { echo "DIFFERS"; exit 1; }
  fi
done
