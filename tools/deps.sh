#!/usr/bin/env bash
# Installs with apt-get whatever the build, the tests and the program need and is missing. It
# installs nothing when nothing is missing; a normal user is asked for the password by sudo.
set -euo pipefail

# Package and why it is needed, one per line.
needs=(
  "cmake:the build"
  "ninja-build:the build"
  "g++:the compiler"
  "pkg-config:the build"
  "clang-14:the fuzz targets"
  "libclang-rt-14-dev:the fuzz targets and sanitizers"
  "qt6-base-dev:the windows (Qt 6 Widgets and printing)"
  "qt6-svg-dev:the toolbar and program icons"
  "libgl-dev:Qt 6's OpenGL headers"
  "libgtest-dev:the tests"
  "libgmock-dev:the tests"
  "libbenchmark-dev:the benchmarks"
  "libcli11-dev:keldcg-cli's options"
  "nlohmann-json3-dev:keldcg-cli's JSON output"
  "libstb-dev:reading pictures"
  "libpng-dev:reading large PNG pictures row by row"
  "libreoffice-writer-nogui:checking reports against a real word processor"
  "poppler-utils:reading the words and pictures of report PDFs in the tests"
  "fonts-liberation:the fonts the test templates name"
  "fonts-dejavu-core:a font for the windows and reports"
  "dpkg-dev:the Debian package (dpkg-shlibdeps finds its dependencies, dpkg-buildflags its hardening)"
  "file:the Debian package (CPack finds the programs among the installed files)"
  "lintian:checking the Debian package"
  "appstream:checking the AppStream metadata"
  "desktop-file-utils:checking the desktop menu entry"
  "man-db:checking that the manual pages render without warnings"
  "qt6-gtk-platformtheme:checking and showing the windows in a dark desktop theme"
)

missing=()
reasons=()
for entry in "${needs[@]}"; do
  package=${entry%%:*}
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$package")
    reasons+=("  $package: ${entry#*:}")
  fi
done
((${#missing[@]})) || exit 0

echo "These packages are missing and will be installed:"
printf '%s\n' "${reasons[@]}"
if [ "$(id -u)" -eq 0 ]; then
  run=()
elif command -v sudo > /dev/null 2>&1; then
  echo "Installing them needs administrator rights; sudo may ask for your password."
  run=(sudo)
else
  echo "Installing them needs administrator rights: run this as root, or install sudo." >&2
  exit 1
fi
"${run[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -qq
"${run[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
