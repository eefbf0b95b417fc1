#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs with apt-get what one or more purposes need and is missing:
#
#   bash tools/deps.sh PROFILE...
#
#   run      building and running the programs (tools/run.sh)
#   fuzz     the libFuzzer targets: the distribution's clang and its sanitizer runtime (tools/fuzz.sh)
#   package  making and checking the Debian package (tools/package.sh, tools/package_test.sh)
#   test     every test: run, fuzz and package, and the test libraries and tools (tools/test.sh)
#
# It says what it will install and why first, and installs nothing when nothing is missing; a
# normal user is asked for the password by sudo. Package names hold no version, so the same list
# serves Debian 12 and 13 and Ubuntu 24.04; the one exception is the clang runtime, named after
# the distribution's clang where the release has no unversioned name for it.
set -euo pipefail

usage() {
  echo "usage: bash tools/deps.sh PROFILE...   (PROFILE: run, fuzz, package or test)" >&2
  exit 2
}
(($#)) || usage

# Package and why it is needed, one per line.
build=(
  "cmake:the build"
  "ninja-build:the build"
  "g++:the compiler"
  "pkg-config:the build"
  "libcli11-dev:keldcg-cli's options"
  "nlohmann-json3-dev:keldcg-cli's JSON output"
  "libstb-dev:reading and writing pictures"
  "libpng-dev:reading large PNG pictures row by row"
  "libcups2-dev:asking the print system whether a printer takes jobs"
)
run=(
  "${build[@]}"
  "qt6-base-dev:the windows (Qt 6 Widgets and printing)"
  "qt6-svg-dev:the toolbar and program icons"
  "libgl-dev:Qt 6's OpenGL headers"
  "fonts-dejavu-core:a font for the windows and reports"
  "fonts-liberation:the fonts the shipped report templates name"
)
fuzz=(
  "${build[@]}"
  "clang:the fuzz targets"
  # The runtime holds libFuzzer and the sanitizers; @clang@ is the major version of the clang above.
  "libclang-rt-dev|libclang-rt-@clang@-dev:libFuzzer and the sanitizers for the fuzz targets"
)
package=(
  "${run[@]}"
  "dpkg-dev:the Debian package (dpkg-shlibdeps finds its dependencies, dpkg-buildflags its hardening)"
  "file:the Debian package (CPack finds the programs among the installed files)"
  "lintian:checking the Debian package"
  "appstream:checking the AppStream metadata"
  "desktop-file-utils:checking the desktop menu entry"
  "man-db:checking that the manual pages render without warnings"
)
test=(
  "${run[@]}" "${fuzz[@]}" "${package[@]}"
  "libgtest-dev:the tests"
  "libgmock-dev:the tests"
  "libbenchmark-dev:the benchmarks"
  "libreoffice-writer-nogui:checking reports against a real word processor"
  "poppler-utils:reading the words and pictures of report PDFs in the tests"
  "fontconfig:the tests check that the fonts the templates name are installed"
  "qt6-gtk-platformtheme:checking and showing the windows in a dark desktop theme"
  "cups:printing tests against a print system of their own (cupsd, lpadmin)"
  "cups-client:printing tests against a print system of their own (lpstat, cancel)"
  "clazy:checking the program's Qt code (tools/clazy.sh)"
  "qt6-base-private-dev:a test that queues a click as the window system does (Qt's platform interface)"
)

needs=()
for profile in "$@"; do
  case $profile in
  run) needs+=("${run[@]}") ;;
  fuzz) needs+=("${fuzz[@]}") ;;
  package) needs+=("${package[@]}") ;;
  test) needs+=("${test[@]}") ;;
  *) usage ;;
  esac
done

installed() {
  dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"
}

# The major version of the distribution's clang, from the one installed or else the one apt offers.
clang_version() {
  local version=""
  if installed clang; then
    version=$(dpkg-query -W -f='${Depends}' clang 2>/dev/null | grep -oE 'clang-[0-9]+' | head -n 1 || true)
  fi
  [ -n "$version" ] || version=$(apt-cache depends clang 2>/dev/null | grep -oE 'clang-[0-9]+' | head -n 1 || true)
  echo "${version#clang-}"
}

# The first of the names a|b that is installed, or else that apt knows; the first when none is.
choose() {
  local names name version=""
  IFS='|' read -ra names <<< "$1"
  if [[ $1 == *@clang@* ]]; then
    version=$(clang_version)
  fi
  for name in "${names[@]}"; do
    name=${name//@clang@/$version}
    [[ $name == *--* ]] && continue
    installed "$name" && { echo "$name"; return; }
  done
  ((listed)) || return 0
  for name in "${names[@]}"; do
    name=${name//@clang@/$version}
    [[ $name == *--* ]] && continue
    apt-cache show "$name" > /dev/null 2>&1 && { echo "$name"; return; }
  done
  echo "${names[0]}"
}

listed=0
missing=()
reasons=()
choices=()
seen=" "
for entry in "${needs[@]}"; do
  package=${entry%%:*}
  [[ $seen == *" $package "* ]] && continue
  seen+="$package "
  if [[ $package == *"|"* ]]; then
    # Decided once the package lists are fresh, below.
    [ -n "$(choose "$package")" ] && continue
    choices+=("$package")
    reasons+=("  ${package%%|*}: ${entry#*:}")
  elif ! installed "$package"; then
    missing+=("$package")
    reasons+=("  $package: ${entry#*:}")
  fi
done
((${#missing[@]} + ${#choices[@]})) || exit 0

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
listed=1
for package in "${choices[@]}"; do
  missing+=("$(choose "$package")")
done
"${run[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
