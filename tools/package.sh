#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs what is missing, builds the optimised programs for /usr, and makes the Debian package
# build/keldcg_<version>_<arch>.deb from the install step. Install it with
#   sudo apt install ./build/keldcg_*.deb
set -euo pipefail
cd "$(dirname "$0")/.."
# As Debian's own package builds do, whatever the user's umask.
umask 022
bash tools/deps.sh package
build=build/pkg
# Debian's hardening flags, as its own packages get them; no debug info, the package strips it.
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
cflags=" $(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CXXFLAGS) "
cflags=${cflags// -g / }
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
  -DKELD_BUILD_TESTS=OFF -DKELD_BUILD_BENCH=OFF -DKELD_BUILD_FUZZ=OFF -DKELD_SANITIZE=OFF \
  -DCMAKE_CXX_FLAGS="$cflags" -DCMAKE_EXE_LINKER_FLAGS="$(dpkg-buildflags --get LDFLAGS)"
cmake --build "$build" -j"$(nproc)"
rm -rf "$build/cpack"
(cd "$build" && cpack -G DEB)
# One package in build/, so that ./build/keldcg_*.deb names only this one.
rm -f build/keldcg_*.deb
cp "$build"/cpack/keldcg_*.deb build/
echo "Built $(ls build/keldcg_*.deb)"
