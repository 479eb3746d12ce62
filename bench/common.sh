# shellcheck shell=bash
# The prologue the bench scripts share; they source it after `set -euo pipefail`.
# Sets root, the checkout; the functions below set the rest.

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"

# Configures and builds a Release tree with the bench helpers and without
# the tests in build-bench, and uses it (see use_build).
build_bench_tree() {
  cmake -S "$root" -B "$root/build-bench" -DCMAKE_BUILD_TYPE=Release -DRIBOTRACE_BUILD_BENCH=ON \
    -DRIBOTRACE_BUILD_TESTS=OFF >/dev/null
  cmake --build "$root/build-bench" -j2 >/dev/null
  use_build "$root/build-bench"
}

# Sets build to DIR and the paths of the programs built there: ribotrace,
# pairnex, simulate and bench_tool.
# shellcheck disable=SC2034  # used by the scripts that source this file
use_build() {  # DIR
  build="$1"
  ribotrace="$build/ribotrace/ribotrace"
  pairnex="$build/pairnex/pairnex"
  simulate="$build/bench/simulate"
  bench_tool="$build/bench/bench_tool"
}

# Makes a scratch folder, $scratch, removed when the script exits.
make_scratch() {  # NAME
  scratch="$(mktemp -d "${TMPDIR:-/tmp}/ribotrace-$1.XXXXXX")"
  trap 'rm -rf "$scratch"' EXIT
}

# Sets best to the least user CPU seconds of RUNS runs of a command, its
# output discarded. Not in a $(...): there, a failing run would not stop
# the script.
best_user_cpu() {  # RUNS, command...
  local runs="$1" t
  shift
  best=""
  for _ in $(seq "$runs"); do
    /usr/bin/time -f "%U" -o "$scratch/time" "$@" >/dev/null 2>&1
    t=$(cat "$scratch/time")
    if [ -z "$best" ] || awk "BEGIN{exit !($t < $best)}"; then best=$t; fi
  done
}
