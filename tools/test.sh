#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs what is missing, builds, and runs every test: the optimised build (warnings are errors),
# clazy over the program's sources, the whole program and its tests, windows included, under
# AddressSanitizer and UndefinedBehaviorSanitizer with assertions on, and each fuzz target for 30
# seconds (tools/fuzz.sh runs one longer).
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/deps.sh test
jobs=$(nproc)
export QT_QPA_PLATFORM=offscreen
passed=0
failed=0

run_ctest() {
  local dir=$1 log
  log=$(mktemp)
  set +e
  ctest --test-dir "$dir" --output-on-failure -j"$jobs" 2>&1 | tee "$log"
  local rc=${PIPESTATUS[0]}
  set -e
  local line
  line=$(grep -E 'tests passed, [0-9]+ tests? failed out of [0-9]+' "$log" | tail -n 1 || true)
  if [[ $line =~ ([0-9]+)\ tests?\ failed\ out\ of\ ([0-9]+) ]]; then
    failed=$((failed + BASH_REMATCH[1]))
    passed=$((passed + BASH_REMATCH[2] - BASH_REMATCH[1]))
  elif ((rc != 0)); then
    failed=$((failed + 1))
  fi
  rm -f "$log"
}

echo "== Optimised build (warnings are errors)"
# Built for /usr with Debian's flags, so the package is made from this build rather than another.
source tools/package_flags.sh
keld_package_options
cmake -S . -B build/ci -G Ninja -DCMAKE_BUILD_TYPE=Release -DKELD_WERROR=ON -DKELD_BUILD_TESTS=ON -DKELD_BUILD_BENCH=ON \
  "${keld_package_cmake_args[@]}"
cmake --build build/ci -j"$jobs"
run_ctest build/ci

echo "== clazy over the program's sources (level 1, and Q_OBJECT on every QObject subclass)"
# Reads the optimised build's compile commands and moc output; a finding fails the test command.
if bash tools/clazy.sh build/ci; then
  passed=$((passed + 1))
else
  echo "clazy: FAILED"
  failed=$((failed + 1))
fi

echo "== The whole program and every test under AddressSanitizer and UndefinedBehaviorSanitizer"
# Optimised, but with the assertions on (no NDEBUG), so they run somewhere.
cmake -S . -B build/asan -G Ninja -DKELD_SANITIZE=ON -DKELD_WERROR=ON -DKELD_BUILD_TESTS=ON -DKELD_BUILD_BENCH=OFF \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O2 -g" -DCMAKE_C_FLAGS_RELWITHDEBINFO="-O2 -g"
cmake --build build/asan -j"$jobs"
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 run_ctest build/asan

echo "== Debian package, checked with lintian, appstreamcli, desktop-file-validate and man"
if bash tools/package_test.sh build/ci; then
  passed=$((passed + 1))
else
  echo "package: FAILED"
  failed=$((failed + 1))
fi

echo "== Fuzz targets, 30 seconds each"
# The configure step takes the distribution's clang.
env -u CC -u CXX cmake -S . -B build/fuzz -G Ninja -DKELD_BUILD_FUZZ=ON -DKELD_BUILD_GUI=OFF \
  -DKELD_BUILD_TESTS=OFF -DKELD_BUILD_BENCH=OFF
cmake --build build/fuzz -j"$jobs"
for source in fuzz/*_fuzzer.cpp; do
  if KELD_FUZZ_BUILT=1 bash tools/fuzz.sh "$(basename "$source" .cpp)" 0.5; then
    passed=$((passed + 1))
  else
    failed=$((failed + 1))
  fi
done

echo
echo "Summary: $passed passed, $failed failed"
((failed == 0))
