#!/usr/bin/env bash
# Times ribotrace on synthetic input: bench/run.sh TAXA COLUMNS SAMPLES [THREADS...]
# Builds a Release tree in build-bench, writes the inputs to a scratch
# folder, runs ribotrace once per thread count (default 1 and 2) with
# --timings, checks that all runs wrote identical files, and times the bare
# loop of the same number of generator draws (the single-core floor). Each
# run is preceded by the time of a fixed CPU-bound loop on that many
# threads: on a machine shared with other work, what more threads can gain.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
taxa="${1:?usage: bench/run.sh TAXA COLUMNS SAMPLES [THREADS...]}"
columns="${2:?}"
samples="${3:?}"
shift 3
threads=("$@")
[ ${#threads[@]} -gt 0 ] || threads=(1 2)
seed="${BENCH_SEED:-12345}"

cmake -S "$root" -B "$root/build-bench" -DCMAKE_BUILD_TYPE=Release -DRIBOTRACE_BUILD_BENCH=ON \
  -DRIBOTRACE_BUILD_TESTS=OFF >/dev/null
cmake --build "$root/build-bench" -j2 >/dev/null

work="$(mktemp -d "${TMPDIR:-/tmp}/ribotrace-bench.XXXXXX")"
trap 'rm -rf "$work"' EXIT
tool="$root/build-bench/bench/bench_tool"
"$tool" inputs "$taxa" "$columns" "$work" "$root/examples/plant_srp10.nex.pstat"

echo "input: $taxa taxa x $columns columns, $samples samples, seed $seed"
first=""
for n in "${threads[@]}"; do
  echo
  echo "--threads=$n (load $(cut -d' ' -f1 /proc/loadavg); a fixed loop takes $("$tool" spin "$n" 2>/dev/null) s on $n thread(s))"
  "$root/build-bench/ribotrace/ribotrace" --seed="$seed" --threads="$n" --timings \
    "$work/data.txt" "$work/data.nex.con.tre" "$work/data.nex.pstat" "$work/out_$n.fa" \
    0 1.0 "$samples" 0 0 2>"$work/timings_$n" >/dev/null
  cat "$work/timings_$n"
  echo "output: $(stat -c %s "$work/out_$n.fa") bytes"
  if [ -z "$first" ]; then
    first="$n"
  elif cmp -s "$work/out_$first.fa" "$work/out_$n.fa"; then
    echo "identical to --threads=$first"
  else
    echo "DIFFERS from --threads=$first"
    exit 1
  fi
  # Runs with many samples write gigabytes; keep only the first file.
  [ "$n" = "$first" ] || rm -f "$work/out_$n.fa"
done

draws="$(awk '$1 == "sampling-to-writing" { printf "%.0f", $2 * $3 }' "$work/timings_${threads[0]}")"
echo
echo "floor: $draws sequential draws in $("$tool" floor "$draws" 2>/dev/null) s"
