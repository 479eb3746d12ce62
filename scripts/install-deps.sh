#!/usr/bin/env bash
# Installs, with apt-get, the Debian packages that building, testing, the
# example run and the benchmarks (time, for peak memory) need, when they are
# missing. Needs root only when something is
# missing.
set -euo pipefail

packages=(g++ cmake make libgtest-dev libeigen3-dev libnlopt-dev mrbayes iqtree snakemake infernal chromium time
  python3-dendropy)
missing=()
for package in "${packages[@]}"; do
  dpkg -s "$package" >/dev/null 2>&1 || missing+=("$package")
done
[ ${#missing[@]} -eq 0 ] && exit 0

if [ "$(id -u)" -ne 0 ]; then
  echo "Missing Debian packages: ${missing[*]}; run this script as root or install them." >&2
  exit 1
fi
echo "Installing ${missing[*]} ..."
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
