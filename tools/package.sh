#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs what is missing, builds the optimised programs for /usr, and makes the Debian package
# build/keldcg_<version>_<arch>.deb from the install step. Install it with
#   sudo apt install ./build/keldcg_*.deb
#   bash tools/package.sh [BUILD_DIR]    (build/pkg by default, configured here)
set -euo pipefail
cd "$(dirname "$0")/.."
# As Debian's own package builds do, whatever the user's umask.
umask 022
bash tools/deps.sh package
source tools/package_flags.sh
keld_package_options
if (($# > 0)); then
  # A build folder configured with keld_package_options already (the test command's): only
  # brought up to date, never configured again, so its own options stay.
  build=$1
  if ! grep -qx 'CMAKE_INSTALL_PREFIX:PATH=/usr' "$build/CMakeCache.txt" 2> /dev/null; then
    echo "package.sh: $build was not configured for /usr with tools/package_flags.sh" >&2
    exit 2
  fi
else
  build=build/pkg
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DKELD_BUILD_TESTS=OFF -DKELD_BUILD_BENCH=OFF \
    -DKELD_BUILD_FUZZ=OFF -DKELD_SANITIZE=OFF "${keld_package_cmake_args[@]}"
fi
cmake --build "$build" -j"$(nproc)"
rm -rf "$build/cpack"
(cd "$build" && cpack -G DEB)
# One package in build/, so that ./build/keldcg_*.deb names only this one.
rm -f build/keldcg_*.deb
cp "$build"/cpack/keldcg_*.deb build/
echo "Built $(ls build/keldcg_*.deb)"
