#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs the built tree under a fresh prefix and checks that the installed programs find their
# data there and that the desktop menu entry, its icon, the AppStream metadata and the manual pages
# are in place.
set -euo pipefail
build=$1
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
cmake --install "$build" --prefix "$prefix" > /dev/null
fail=0
for file in bin/keldcg bin/keldcg-cli share/keldcg/racemod.txt share/keldcg/profmod.txt share/keldcg/adolmod.txt \
  share/keldcg/detchar.rtf share/keldcg/subchar.rtf share/keldcg/keldcg.log \
  share/applications/keldcg.desktop share/icons/hicolor/scalable/apps/keldcg.svg \
  share/metainfo/org.keldcg.keldcg.metainfo.xml share/man/man1/keldcg.1.gz share/man/man1/keldcg-cli.1.gz \
  share/doc/keldcg/copyright share/doc/keldcg/changelog.gz; do
  [ -e "$prefix/$file" ] || { echo "FAIL: $file is not installed"; fail=1; }
done
grep -q '^Exec=keldcg$' "$prefix/share/applications/keldcg.desktop" || { echo "FAIL: the menu entry does not start keldcg"; fail=1; }
# Run from elsewhere, so only the installed data can be found.
out=$(cd / && "$prefix/bin/keldcg-cli" check-data 2>&1) || { echo "FAIL: the installed keldcg-cli does not find its data: $out"; fail=1; }
exit $fail
