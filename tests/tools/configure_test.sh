#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# A plain configure builds what its libraries allow: without GoogleTest or Google Benchmark the
# tests and benchmarks are left out with a message naming the Debian package, asking for them makes
# that an error, and a library the programs need stops the configure step naming its package.
# Missing libraries are stood in for by CMAKE_DISABLE_FIND_PACKAGE_<name>.
set -euo pipefail
source_dir=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail=0

# configure NAME EXPECT TEXT ARGS...: EXPECT is ok or error; the output must hold TEXT.
configure() {
  local name=$1 expect=$2 text=$3 out rc=0
  shift 3
  out=$(cmake -S "$source_dir" -B "$work/$name" -G Ninja -DKELD_BUILD_GUI=OFF "$@" 2>&1) || rc=$?
  if [[ $expect == ok ]] && ((rc != 0)); then
    echo "FAIL: $name did not configure:"
    echo "$out" | grep -A4 'Error' || echo "$out" | tail -n 5
    fail=1
  elif [[ $expect == error ]] && ((rc == 0)); then
    echo "FAIL: $name configured, but should have stopped"
    fail=1
  elif ! grep -qF -- "$text" <<< "$(tr '\n' ' ' <<< "$out" | tr -s ' ')"; then
    echo "FAIL: $name: the output does not say \"$text\":"
    echo "$out" | tail -n 8
    fail=1
  fi
}

configure no_test_libraries ok "Not building the tests: GTest was not found; install the Debian packages libgtest-dev" \
  -DCMAKE_DISABLE_FIND_PACKAGE_GTest=ON -DCMAKE_DISABLE_FIND_PACKAGE_benchmark=ON
[ ! -e "$work/no_test_libraries/tests" ] || { echo "FAIL: the tests were configured without GoogleTest"; fail=1; }
[ ! -e "$work/no_test_libraries/bench" ] || { echo "FAIL: the benchmarks were configured without Google Benchmark"; fail=1; }
configure no_benchmark ok "Not building the benchmarks: benchmark was not found; install the Debian package libbenchmark-dev" \
  -DKELD_BUILD_TESTS=OFF -DCMAKE_DISABLE_FIND_PACKAGE_benchmark=ON
configure tests_asked error "KELD_BUILD_TESTS is ON but GTest was not found: install the Debian packages libgtest-dev" \
  -DKELD_BUILD_TESTS=ON -DCMAKE_DISABLE_FIND_PACKAGE_GTest=ON
configure bench_asked error "install the Debian package libbenchmark-dev" \
  -DKELD_BUILD_TESTS=OFF -DKELD_BUILD_BENCH=ON -DCMAKE_DISABLE_FIND_PACKAGE_benchmark=ON
configure no_cli11 error "CLI11 was not found: install the Debian package libcli11-dev" \
  -DKELD_BUILD_TESTS=OFF -DKELD_BUILD_BENCH=OFF -DCMAKE_DISABLE_FIND_PACKAGE_CLI11=ON
configure no_json error "install the Debian package nlohmann-json3-dev" \
  -DKELD_BUILD_TESTS=OFF -DKELD_BUILD_BENCH=OFF -DCMAKE_DISABLE_FIND_PACKAGE_nlohmann_json=ON
exit $fail
