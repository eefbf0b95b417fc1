#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the Debian package (tools/package.sh) and checks it with Debian's own tools: lintian,
# the AppStream metadata, the desktop menu entry and the manual pages, as the package holds them.
#   bash tools/package_test.sh [BUILD_DIR]    (as tools/package.sh takes it)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/pkg}
bash tools/package.sh "$@"
deb=$(ls build/keldcg_*.deb)
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
dpkg-deb -x "$deb" "$root"
fail=0

echo "-- lintian $deb"
lintian --fail-on error "$deb" || { echo "FAIL: lintian reports errors"; fail=1; }

echo "-- appstreamcli validate"
appstreamcli validate --no-net "$root"/usr/share/metainfo/*.metainfo.xml \
  || { echo "FAIL: the AppStream metadata is not valid"; fail=1; }
# The metadata, the menu entry and the icon together, as a software centre reads them.
appstreamcli validate-tree --no-net "$root" || { echo "FAIL: the installed tree is not valid AppStream"; fail=1; }

echo "-- desktop-file-validate"
desktop-file-validate "$root"/usr/share/applications/*.desktop || { echo "FAIL: the menu entry is not valid"; fail=1; }

echo "-- manual pages"
for program in "$root"/usr/bin/*; do
  page=$root/usr/share/man/man1/$(basename "$program").1.gz
  [ -e "$page" ] || { echo "FAIL: $(basename "$program") has no manual page"; fail=1; continue; }
  # man prints groff's warnings on standard error and still succeeds.
  warnings=$(MANWIDTH=80 man --warnings -l "$page" 2>&1 > /dev/null) || warnings="man failed: $warnings"
  [ -z "$warnings" ] || { echo "FAIL: $(basename "$page"): $warnings"; fail=1; }
done

echo "-- data folder"
# The packaged keldcg-cli reads the packaged rules data (found beside its bin folder) ...
out=$(cd / && "$root/usr/bin/keldcg-cli" check-data 2>&1) || { echo "FAIL: the packaged data does not load: $out"; fail=1; }
# ... and was built to look in /usr/share/keldcg, where the package puts it.
grep -qF 'KELD_INSTALL_DATADIR=\\\"/usr/share/keldcg\\\"' "$build/compile_commands.json" \
  || { echo "FAIL: the package's programs were not built for /usr/share/keldcg"; fail=1; }

echo "-- folders under a strict umask"
# Users other than root must be able to read what the package installs, whoever built it.
strict=$(mktemp -d)
(umask 077 && cd "$build" && cpack -G DEB -B "$strict" > "$strict/cpack.log" 2>&1) \
  || { echo "FAIL: cpack under umask 077"; cat "$strict/cpack.log"; fail=1; }
private=$(dpkg-deb -c "$strict"/keldcg_*.deb | awk '$1 != "drwxr-xr-x" && $1 != "-rw-r--r--" && $1 != "-rwxr-xr-x"')
[ -z "$private" ] || { echo "FAIL: built under umask 077, the package holds entries others cannot read:"; echo "$private"; fail=1; }
rm -rf "$strict"

((fail == 0)) && echo "package checks passed"
exit $fail
