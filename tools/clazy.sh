#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Runs clazy (Debian's clazy package) over every source file of the program, with the compile
# commands of a build folder that has been built (the files that include their moc output need
# it), and fails on any finding. The checks: clazy's level 1, and a QObject subclass without
# Q_OBJECT (its casts and lookups by type would find its base instead). Left out of level 1:
# qstring-ref, whose advice (midRef, QStringRef) is Qt 5's and does not exist in Qt 6, and
# non-pod-global-static, which guards libraries loaded by many programs against start-up cost:
# here it would flag a few constant texts built once and keldcg-cli's commands, which register
# themselves that way on purpose.
#   bash tools/clazy.sh [BUILD_DIR]    (build/ci by default)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build/ci}
checks=level1,no-qstring-ref,no-non-pod-global-static,missing-qobject-macro
if ! command -v clazy-standalone > /dev/null; then
  echo "clazy.sh: clazy-standalone is missing: install the Debian package clazy (bash tools/deps.sh test)" >&2
  exit 2
fi
if [[ ! -f $build/compile_commands.json ]]; then
  echo "clazy.sh: $build/compile_commands.json is missing: configure and build $build first" >&2
  exit 2
fi
log=$(mktemp)
trap 'rm -f "$log"' EXIT
# Only the program's sources that the build compiles; GCC's own warning options mean nothing to clang.
files=$(cd "$root" && find src -name '*.cpp' | sort | while read -r file; do
  grep -qF "\"$root/$file\"" "$build/compile_commands.json" && echo "$root/$file"
done)
set +e
echo "$files" | xargs -P "$(nproc)" -n 4 clazy-standalone -p "$build/compile_commands.json" --checks="$checks" \
  --header-filter="$root/src/.*" --ignore-dirs="$build" --extra-arg=-Wno-unknown-warning-option \
  --extra-arg=-Wno-error > "$log" 2>&1
rc=$?
set -e
# A finding names its check as -Wclazy-...; an error is a file clazy could not read. The compiler's
# own warnings are the optimised build's business.
findings=$(grep -cE '\[-Wclazy-' "$log" || true)
errors=$(grep -cE ': (fatal )?error: ' "$log" || true)
if ((findings + errors > 0 || rc != 0)); then
  grep -E -A3 '\[-Wclazy-|: (fatal )?error: ' "$log"
  echo "clazy.sh: $findings findings, $errors errors in $(echo "$files" | wc -l) files"
  exit 1
fi
echo "clazy.sh: no findings in $(echo "$files" | wc -l) files ($checks)"
