#!/usr/bin/env bash
# Builds the libFuzzer harnesses with clang in build/fuzz and runs each for
# a bounded time (seconds, default 60), starting from the seed corpus in
# fuzz/corpus/<harness>/. New inputs go to build/fuzz/corpus/<harness>/, so
# the checked-in corpus stays small; crashes, timeouts and out-of-memory
# inputs are written to build/fuzz/findings/. Exits 1 when any harness
# found something.
#
#   scripts/fuzz.sh [seconds] [harness ...]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-60}"
shift || true
harnesses=("$@")
[ ${#harnesses[@]} -eq 0 ] && harnesses=(alignment_reader tree parameter answers)

scripts/install-deps.sh
packages=(clang libclang-rt-14-dev)
missing=()
for package in "${packages[@]}"; do
  dpkg -s "$package" >/dev/null 2>&1 || missing+=("$package")
done
if [ ${#missing[@]} -gt 0 ]; then
  if [ "$(id -u)" -ne 0 ]; then
    echo "Missing Debian packages: ${missing[*]}; run this script as root or install them." >&2
    exit 1
  fi
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

dir=build/fuzz
CXX=clang++ cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DRIBOTRACE_FUZZ=ON \
  -DRIBOTRACE_BUILD_TESTS=OFF >/dev/null
cmake --build "$dir" -j 2 --target $(printf '%s_fuzzer ' "${harnesses[@]}")

status=0
mkdir -p "$dir/findings"
for harness in "${harnesses[@]}"; do
  corpus="$dir/corpus/$harness"
  mkdir -p "$corpus"
  log="$dir/$harness.log"
  echo "== $harness: ${seconds}s"
  # -close_fd_mask=1 silences the prompts the answers harness prints; a
  # 10 s input or 2 GiB of memory counts as a finding.
  if ASAN_OPTIONS=detect_leaks=1 "$dir/fuzz/${harness}_fuzzer" "$corpus" "fuzz/corpus/$harness" \
    -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -malloc_limit_mb=2048 \
    -max_len=65536 -close_fd_mask=1 -print_final_stats=1 \
    -artifact_prefix="$dir/findings/$harness-" >"$log" 2>&1; then
    result="no findings"
  else
    result="FINDING (see $log and $dir/findings/)"
    status=1
  fi
  runs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$' || echo "?")
  echo "$harness: $runs executions, $result"
done
exit "$status"
