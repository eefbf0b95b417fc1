#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Runs the random-input test on seed after seed for the given number of minutes (default 10),
# stopping at the first failure and printing its seed. KELD_MONKEY_STEPS sets the steps of each
# run; KELD_MONKEY_TIMEOUT the seconds one run may take (600 by default; a run that takes longer
# fails); BUILD_DIR the build folder (build/ci by default, the one bash tools/test.sh makes).
#   bash tools/monkey.sh 30
set -u
minutes=${1:-10}
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build/ci}
limit=${KELD_MONKEY_TIMEOUT:-600}
test=$build/bin/gui_MonkeyTest
if [[ ! -x $test ]]; then
  echo "monkey.sh: $test is not built (bash tools/test.sh builds it, or ninja -C $build gui_MonkeyTest keldcg-cli)" >&2
  exit 2
fi
export QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen}
log=$(mktemp)
trap 'rm -f "$log"' EXIT
end=$((SECONDS + minutes * 60))
seed=${KELD_MONKEY_SEED:-$(date +%s)}
first=$seed
runs=0
while ((SECONDS < end)); do
  status=0
  (cd "$build" && KELD_MONKEY_SEED=$seed timeout --kill-after=10 "$limit" "$test" > "$log" 2>&1) || status=$?
  if ((status != 0)); then
    grep -v '^QWARN\|does not support' "$log" | tail -40
    ((status == 124 || status == 137)) && echo "monkey.sh: the run took longer than $limit seconds"
    echo "monkey.sh: FAILED with KELD_MONKEY_SEED=$seed after $runs passing runs"
    exit 1
  fi
  runs=$((runs + 1))
  seed=$((seed + 1))
done
echo "monkey.sh: $runs runs passed (seeds $first to $((seed - 1)))"
