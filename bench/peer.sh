#!/usr/bin/env bash
# ribotrace's posteriors beside IQ-TREE's: bench/peer.sh TAXA COLUMNS [THREADS]
# Writes the synthetic input (bench_tool inputs), then computes the
# posteriors of every interior node on the same tree and thread count
# (default 1): ribotrace on the whole alignment, stems included, with no
# samples and its per-site tables (--state), and iqtree2 --ancestral on the
# loop columns alone, with branch lengths and the loop model fixed to the
# same values (GTR rates and base frequencies of the parameter file).
# Prints each program's wall time and peak memory and their ratios.
set -euo pipefail
# shellcheck source=bench/common.sh
source "$(dirname "$0")/common.sh"
taxa="${1:?usage: bench/peer.sh TAXA COLUMNS [THREADS]}"
columns="${2:?}"
threads="${3:-1}"
iqtree="$(command -v iqtree2 || command -v iqtree || true)"
[ -n "$iqtree" ] || { echo "IQ-TREE is not installed; scripts/install-deps.sh installs it" >&2; exit 1; }
[ -x /usr/bin/time ] || { echo "/usr/bin/time is missing; scripts/install-deps.sh installs it" >&2; exit 1; }

build_bench_tree
make_scratch peer
"$bench_tool" inputs "$taxa" "$columns" "$scratch" \
  "$root/examples/plant_srp10.nex.pstat"

echo "input: $taxa taxa x $columns columns ($(awk 'NR == 2 { print length($0) }' "$scratch/loops.fa") loop columns), $threads thread(s)"
echo "load $(cut -d' ' -f1 /proc/loadavg); a fixed loop takes $("$bench_tool" spin 1 2>/dev/null) s on 1 thread, $("$bench_tool" spin "$threads" 2>/dev/null) s on $threads"
/usr/bin/time -f "%e %M" -o "$scratch/ribotrace.time" \
  "$ribotrace" --seed=1 --threads="$threads" --timings --state \
  "$scratch/data.txt" "$scratch/data.nex.con.tre" "$scratch/data.nex.pstat" "$scratch/out.fa" 0 1.0 0 0 0 \
  >/dev/null 2>"$scratch/timings"
(cd "$scratch" && /usr/bin/time -f "%e %M" -o "$scratch/iqtree.time" \
  "$iqtree" -s loops.fa -te tree.nwk -m "$(cat loops.model)" -blfix --ancestral \
  -nt "$threads" -seed 1 -quiet -redo >/dev/null)

echo
cat "$scratch/timings"
echo
awk -v r="$(cat "$scratch/ribotrace.time")" -v i="$(cat "$scratch/iqtree.time")" 'BEGIN {
  split(r, rt, " "); split(i, it, " ")
  printf "%-28s %12s %12s\n", "", "seconds", "peak_MB"
  printf "%-28s %12.2f %12.1f\n", "ribotrace (stems and loops)", rt[1], rt[2] / 1024
  printf "%-28s %12.2f %12.1f\n", "iqtree2 (loops only)", it[1], it[2] / 1024
  printf "%-28s %12.2f %12.2f\n", "ribotrace / iqtree2", rt[1] / it[1], rt[2] / it[2]
}'
