#!/usr/bin/env bash
# Remakes docs/report.png, the README's picture of the report: ribotrace
# --report on the bundled example (its MrBayes output in examples/), shown
# by headless Chromium at node anc_13.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake -S . -B build/release -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build/release -j2 --target ribotrace >/dev/null
work="$(mktemp -d "${TMPDIR:-/tmp}/report-screenshot.XXXXXX")"
trap 'rm -rf "$work"' EXIT
# Run from the scratch folder, so that the page names the files as the
# README's example does.
ln -s "$PWD/examples" "$work/examples"
mkdir "$work/out"
(cd "$work" && "$OLDPWD/build/release/ribotrace/ribotrace" --seed=1 --report examples/plant_srp10.txt \
  examples/plant_srp10.nex.con.tre examples/plant_srp10.nex.pstat out/plant_srp10_samples.fa \
  1 1.0 100 0 0 >/dev/null 2>&1)
mkdir -p docs
chromium --headless --no-sandbox --disable-gpu --disable-quic --no-first-run \
  --disable-background-networking --disable-component-update --disable-sync \
  --user-data-dir="$work/profile" --hide-scrollbars --window-size=1100,2090 \
  --force-device-scale-factor=0.6 --screenshot="$PWD/docs/report.png" \
  "file://$work/out/plant_srp10_samples.fa.html#anc_13" 2>/dev/null
echo "docs/report.png: $(stat -c %s docs/report.png) bytes"
