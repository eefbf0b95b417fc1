#!/usr/bin/env bash
# Runs the install step's decision logic with stand-ins for id, dpkg-query, sudo and apt-get, so
# the path a normal user takes is checked on machines where everything runs as root.
set -euo pipefail
deps=$(cd "$(dirname "$0")/../.." && pwd)/tools/deps.sh
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0

fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

# stand_ins UID MISSING... : a PATH folder whose dpkg-query reports MISSING as not installed.
stand_ins() {
  local bin=$work/bin-$1-$RANDOM
  mkdir -p "$bin"
  local uid=$1
  shift
  printf '#!/bin/sh\n[ "$1" = -u ] && echo %s || /usr/bin/id "$@"\n' "$uid" > "$bin/id"
  printf '#!/bin/sh\nfor p in %s; do [ "$p" = "$3" ] && exit 1; done\nprintf "install ok installed"\n' "$*" \
    > "$bin/dpkg-query"
  printf '#!/bin/sh\necho "sudo $*" >> %s/calls\n"$@"\n' "$work" > "$bin/sudo"
  printf '#!/bin/sh\necho "apt-get $*" >> %s/calls\n' "$work" > "$bin/apt-get"
  chmod +x "$bin"/*
  echo "$bin"
}

run_case() {
  rm -f "$work/calls"
  touch "$work/calls"
  PATH="$1:$PATH" bash "$deps" > "$work/out" 2>&1 || echo "exit $?" >> "$work/out"
}

# A normal user with two packages missing: sudo runs apt-get, for exactly those two.
bin=$(stand_ins 1000 poppler-utils fonts-liberation)
run_case "$bin"
grep -q '^sudo env DEBIAN_FRONTEND=noninteractive apt-get install .* poppler-utils fonts-liberation$' "$work/calls" \
  || fail "a normal user's install does not go through sudo: $(cat "$work/calls")"
grep -q 'poppler-utils: ' "$work/out" || fail "the packages are not named with a reason before the install"
grep -q 'password' "$work/out" || fail "the user is not told that sudo may ask for the password"

# Nothing missing: nothing is installed and sudo is never called.
bin=$(stand_ins 1000)
run_case "$bin"
[ ! -s "$work/calls" ] || fail "something was run with nothing missing: $(cat "$work/calls")"
[ ! -s "$work/out" ] || fail "the install step printed something with nothing missing: $(cat "$work/out")"

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
for tool in bash sh env grep cat printf; do
  [ -e "$nosudo/$tool" ] || ln -s "$(command -v "$tool")" "$nosudo/$tool"
done
rm -f "$work/calls"; touch "$work/calls"
PATH="$nosudo" "$nosudo/bash" "$deps" > "$work/out" 2>&1 && fail "a user without sudo did not fail"
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
  (cd "$work" && PATH="$bin:$PATH" setpriv --reuid=65534 --regid=65534 --clear-groups bash "$work/deps.sh" \
    > "$work/out" 2>&1) || true
  grep -q '^sudo env DEBIAN_FRONTEND=noninteractive apt-get install .* poppler-utils$' "$work/calls" \
    || fail "an unprivileged user's install does not go through sudo: $(cat "$work/calls" "$work/out")"
fi

if ((failures)); then
  exit 1
fi
echo "deps.sh: all cases passed"
