#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Takes docs/sheet.png and docs/sheet-dark.png (the program with a character loaded, in the default
# theme and in a dark one; needs qt6-gtk-platformtheme) and docs/preview.png (its detail report in
# Print Preview), on a virtual screen (Xvfb).
set -euo pipefail
cd "$(dirname "$0")/.."
command -v Xvfb > /dev/null || { echo "Xvfb is missing: install the package xvfb" >&2; exit 1; }
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DKELD_BUILD_TESTS=OFF -DKELD_BUILD_BENCH=OFF
cmake --build build/release --target keldcg-screenshot
display=:$((90 + RANDOM % 9))
Xvfb "$display" -screen 0 1280x1024x24 -nolisten tcp &
xvfb=$!
trap 'kill $xvfb 2> /dev/null || true' EXIT
sleep 1
DISPLAY=$display QT_QPA_PLATFORM=xcb build/release/bin/keldcg-screenshot docs/screenshot/maren.kld docs/sheet.png
DISPLAY=$display QT_QPA_PLATFORM=xcb build/release/bin/keldcg-screenshot --preview docs/screenshot/maren.kld docs/preview.png
DISPLAY=$display QT_QPA_PLATFORM=xcb QT_QPA_PLATFORMTHEME=gtk3 GTK_THEME=Adwaita:dark \
  build/release/bin/keldcg-screenshot docs/screenshot/maren.kld docs/sheet-dark.png
