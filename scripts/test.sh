#!/usr/bin/env bash
# Builds the programs, the tests and bench/ (whose simulator has its own
# tests) twice (Release, and AddressSanitizer +
# UndefinedBehaviorSanitizer) and runs the whole suite under CTest in both.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh

jobs=$(nproc 2>/dev/null || echo 2)
for variant in release asan; do
  dir="build/$variant"
  if [ "$variant" = asan ]; then
    cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DRIBOTRACE_SANITIZE=ON -DRIBOTRACE_BUILD_BENCH=ON >/dev/null
  else
    cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=Release -DRIBOTRACE_BUILD_BENCH=ON >/dev/null
  fi
  cmake --build "$dir" -j "$jobs"
  echo "== $variant tests"
  ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
    ctest --test-dir "$dir" --output-on-failure -j "$jobs"
done
