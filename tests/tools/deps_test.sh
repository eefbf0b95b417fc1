#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Runs the install step's decision logic with stand-ins for id, dpkg-query, sudo, apt-get and
# apt-cache, so the path a normal user takes and the choice of packages on other releases are
# checked on machines where everything runs as root and is installed.
set -euo pipefail
deps=$(cd "$(dirname "$0")/../.." && pwd)/tools/deps.sh
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0

fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

# stand_ins UID MISSING... : a PATH folder whose dpkg-query reports MISSING (or, for ALL, every
# package) as not installed. Its apt-cache knows the packages in $known and offers clang-$clang.
known="libclang-rt-dev"
clang=14
stand_ins() {
  local bin=$work/bin-$1-$RANDOM
  mkdir -p "$bin"
  local uid=$1
  shift
  printf '#!/bin/sh\n[ "$1" = -u ] && echo %s || /usr/bin/id "$@"\n' "$uid" > "$bin/id"
  printf '#!/bin/sh\nfor p in %s; do [ "$p" = "$3" ] || [ "$p" = ALL ] && exit 1; done\nprintf "install ok installed"\n' \
    "$*" > "$bin/dpkg-query"
  printf '#!/bin/sh\n[ "$1" = depends ] && { echo "  Depends: clang-%s"; exit 0; }\nfor p in %s; do [ "$p" = "$2" ] && exit 0; done\nexit 100\n' \
    "$clang" "$known" > "$bin/apt-cache"
  printf '#!/bin/sh\necho "sudo $*" >> %s/calls\n"$@"\n' "$work" > "$bin/sudo"
  printf '#!/bin/sh\necho "apt-get $*" >> %s/calls\n' "$work" > "$bin/apt-get"
  chmod +x "$bin"/*
  echo "$bin"
}

# run_case BIN [PROFILE...]: the test profile unless named.
run_case() {
  local bin=$1
  shift
  rm -f "$work/calls"
  touch "$work/calls"
  PATH="$bin:$PATH" bash "$deps" "${@:-test}" > "$work/out" 2>&1 || echo "exit $?" >> "$work/out"
}

# The packages of the last install call, one a line.
installs() {
  grep 'apt-get install' "$work/calls" | tail -n 1 | sed 's/.*apt-get install //' | tr ' ' '\n' | grep -vE '^-|^$' || true
}

# A normal user with two packages missing: sudo runs apt-get, for exactly those two.
bin=$(stand_ins 1000 poppler-utils fonts-liberation)
run_case "$bin"
grep '^sudo env DEBIAN_FRONTEND=noninteractive apt-get install ' "$work/calls" | grep -q ' poppler-utils' \
  && [ "$(installs | sort | tr '\n' ' ')" = "fonts-liberation poppler-utils " ] || fail "a normal user's install does not go through sudo: $(cat "$work/calls")"
grep -q 'poppler-utils: ' "$work/out" || fail "the packages are not named with a reason before the install"
grep -q 'password' "$work/out" || fail "the user is not told that sudo may ask for the password"

# Nothing missing: nothing is installed and sudo is never called.
bin=$(stand_ins 1000)
run_case "$bin"
[ ! -s "$work/calls" ] || fail "something was run with nothing missing: $(cat "$work/calls")"
[ ! -s "$work/out" ] || fail "the install step printed something with nothing missing: $(cat "$work/out")"

# The run command installs what building and running need, and nothing for the tests, the
# packaging or the fuzz targets.
bin=$(stand_ins 0 ALL)
run_case "$bin" run
for package in cmake g++ qt6-base-dev qt6-svg-dev libcli11-dev nlohmann-json3-dev libstb-dev libpng-dev libcups2-dev; do
  installs | grep -qx "$package" || fail "the run profile does not install $package"
done
for package in libreoffice-writer-nogui clang libclang-rt-dev lintian libgtest-dev libgmock-dev libbenchmark-dev \
  poppler-utils dpkg-dev clazy; do
  ! installs | grep -qx "$package" || fail "the run profile installs $package"
done
installs | grep -qE -- '-[0-9]+(-dev)?$' && fail "the run profile names a versioned package: $(installs | tr '\n' ' ')"

# The test profile brings everything tools/test.sh uses, each package once.
run_case "$bin" test
for package in cmake qt6-base-dev libgtest-dev libgmock-dev libbenchmark-dev libreoffice-writer-nogui poppler-utils \
  fontconfig fonts-liberation clang libclang-rt-dev lintian appstream desktop-file-utils man-db dpkg-dev file \
  qt6-gtk-platformtheme clazy libcups2-dev qt6-base-private-dev; do
  installs | grep -qx "$package" || fail "the test profile does not install $package"
done
[ "$(installs | sort | uniq -d)" = "" ] || fail "the test profile names a package twice: $(installs | sort | uniq -d)"

# A release without the unversioned runtime gets the one of its clang; the lists are read first.
known="libclang-rt-19-dev" clang=19
bin=$(stand_ins 0 clang libclang-rt-dev libclang-rt-19-dev)
run_case "$bin" fuzz
installs | grep -qx libclang-rt-19-dev || fail "the fuzz profile does not choose clang's runtime: $(cat "$work/calls")"
head -n 1 "$work/calls" | grep -q 'apt-get update' || fail "the package lists are not read before the choice"
known="libclang-rt-dev" clang=14

# An installed versioned runtime of the installed clang is enough.
bin=$(stand_ins 0 libclang-rt-dev)
printf '#!/bin/sh\n[ "$1" = -W ] && [ "$2" = "-f=\\${Depends}" ] && { echo "clang-14 (>= 14)"; exit 0; }\n[ "$3" = libclang-rt-dev ] && exit 1\nprintf "install ok installed"\n' \
  > "$bin/dpkg-query"
run_case "$bin" fuzz
[ ! -s "$work/calls" ] || fail "the runtime of the installed clang is installed again: $(cat "$work/calls")"

# A profile must be named, and only a known one.
bin=$(stand_ins 0 ALL)
(PATH="$bin:$PATH" bash "$deps" > /dev/null 2>&1) && fail "deps.sh without a profile did not fail"
(PATH="$bin:$PATH" bash "$deps" tests > /dev/null 2>&1) && fail "deps.sh with an unknown profile did not fail"
[ ! -s "$work/calls" ] || fail "something was installed without a known profile"

# Root (CI, containers): apt-get directly, no sudo.
bin=$(stand_ins 0 libcli11-dev)
run_case "$bin"
grep -q '^apt-get install .* libcli11-dev$' "$work/calls" || fail "root does not run apt-get: $(cat "$work/calls")"
! grep -q '^sudo' "$work/calls" || fail "root goes through sudo"

# A normal user without sudo: a clear message and a failure, no apt-get.
bin=$(stand_ins 1000 libcli11-dev)
rm "$bin/sudo"
nosudo=$work/nosudo
mkdir -p "$nosudo"
cp "$bin"/* "$nosudo/"
for tool in bash sh env grep cat printf head; do
  [ -e "$nosudo/$tool" ] || ln -s "$(command -v "$tool")" "$nosudo/$tool"
done
rm -f "$work/calls"; touch "$work/calls"
PATH="$nosudo" "$nosudo/bash" "$deps" test > "$work/out" 2>&1 && fail "a user without sudo did not fail"
grep -q 'run this as root, or install sudo' "$work/out" || fail "no message for a user without sudo: $(cat "$work/out")"
[ ! -s "$work/calls" ] || fail "apt-get ran without rights"

# The same as a real unprivileged user when the test itself runs as root.
if [ "$(id -u)" -eq 0 ] && command -v setpriv > /dev/null; then
  bin=$(stand_ins 1000 poppler-utils)
  rm "$bin/id"
  # The checkout may lie in a folder only root can read.
  cp "$deps" "$work/deps.sh"
  chmod 755 "$work"
  chmod -R a+rwX "$work"
  rm -f "$work/calls"; touch "$work/calls"; chmod a+rw "$work/calls"
  (cd "$work" && PATH="$bin:$PATH" setpriv --reuid=65534 --regid=65534 --clear-groups bash "$work/deps.sh" test \
    > "$work/out" 2>&1) || true
  grep -q '^sudo env DEBIAN_FRONTEND=noninteractive apt-get install .* poppler-utils$' "$work/calls" \
    || fail "an unprivileged user's install does not go through sudo: $(cat "$work/calls" "$work/out")"
fi

if ((failures)); then
  exit 1
fi
echo "deps.sh: all cases passed"
