#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs what building and running need and is missing (tools/deps.sh run), builds, and starts
# the program.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/deps.sh run
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DKELD_BUILD_TESTS=OFF -DKELD_BUILD_BENCH=OFF
cmake --build build/release
exec build/release/bin/keldcg
