#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Runs one fuzz target for as long as asked, keeping what it learns:
#
#   bash tools/fuzz.sh TARGET MINUTES      e.g. bash tools/fuzz.sh layout_fuzzer 15
#
# TARGET is a file name under fuzz/ without .cpp; MINUTES may be a fraction (0.5 for 30 s). The
# targets are built with the distribution's clang (tools/deps.sh fuzz installs it) into build/fuzz.
# The corpus lives in build/fuzz/corpus/TARGET, seeded from fuzz/corpus/TARGET and kept between
# runs; an input that fails is written to build/fuzz/findings/TARGET/ and the script exits
# non-zero. The log is build/fuzz/TARGET.log.
set -euo pipefail
cd "$(dirname "$0")/.."
if (($# != 2)); then
  echo "usage: bash tools/fuzz.sh TARGET MINUTES" >&2
  exit 2
fi
target=$1
seconds=$(awk -v m="$2" 'BEGIN { s = int(m * 60); if (s < 1 || m !~ /^[0-9.]+$/) exit 1; print s }') ||
  { echo "MINUTES must be a positive number, not \"$2\"" >&2; exit 2; }
[ -f "fuzz/$target.cpp" ] || { echo "no fuzz target fuzz/$target.cpp" >&2; exit 2; }

if [ -z "${KELD_FUZZ_BUILT:-}" ]; then
  bash tools/deps.sh fuzz
  env -u CC -u CXX cmake -S . -B build/fuzz -G Ninja -DKELD_BUILD_FUZZ=ON -DKELD_BUILD_GUI=OFF \
    -DKELD_BUILD_TESTS=OFF -DKELD_BUILD_BENCH=OFF > /dev/null
  cmake --build build/fuzz --target "$target" -j"$(nproc)"
fi
[ -x "build/fuzz/bin/$target" ] || { echo "fuzz $target: FAILED (build/fuzz/bin/$target is not built)"; exit 1; }
corpus=build/fuzz/corpus/$target
findings=build/fuzz/findings/$target
mkdir -p "$corpus" "$findings"
[ -d "fuzz/corpus/$target" ] && cp -r "fuzz/corpus/$target/." "$corpus/"
log=build/fuzz/$target.log
if "build/fuzz/bin/$target" -max_total_time="$seconds" -rss_limit_mb=2048 -timeout=60 -print_final_stats=1 \
  -artifact_prefix="$findings/" "$corpus" > "$log" 2>&1; then
  echo "fuzz $target: ok, $(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$') runs," \
    "$(grep -oE 'cov: [0-9]+ ft: [0-9]+' "$log" | tail -n 1), $(ls "$corpus" | wc -l) inputs in the corpus"
else
  echo "fuzz $target: FAILED (input and log in $findings and $log)"
  tail -n 40 "$log"
  exit 1
fi
