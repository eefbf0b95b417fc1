#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# tools/check_includes.sh on a small tree: it accepts what the layer table allows and refuses,
# naming the file and line, an include across layers, a core Qt include and a Widgets header in
# the renderer.
set -euo pipefail
source_dir=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail=0
mkdir -p "$work"/src/{common,character,report/render,ui,binding,sheet,dice/window,cli,app} "$work/qt/QtWidgets"
touch "$work/qt/QtWidgets/QLabel"
write() { printf '%s\n' "${@:2}" > "$work/src/$1"; }
allowed() {
  find "$work/src" -type f -delete
  write common/A.h '#include <string>'
  write character/B.cpp '#include "character/B.h"' '#include "common/A.h"'
  write report/render/C.cpp '#include "report/render/C.h"' '#include <QImage>' '#include "common/A.h"'
  write ui/D.cpp '#include <QLabel>' '#include "settings/E.h"'
  write sheet/F.cpp '#include "binding/G.h"' '#include "ui/D.h"' '#include "F.moc"'
  write app/H.cpp '#include "sheet/F.h"' '#include "dice/window/I.h"'
  write cli/J.cpp '#include "report/render/C.h"' '#include "charfile/K.h"'
}
# expect TEXT: the check fails and names TEXT.
expect() {
  local out rc=0
  out=$(bash "$source_dir/tools/check_includes.sh" "$work/src" "$work/qt" 2>&1) || rc=$?
  if ((rc == 0)) || ! grep -qF "$1" <<< "$out"; then
    echo "FAIL: expected a refusal naming \"$1\", got:"
    echo "$out"
    fail=1
  fi
}

allowed
if ! bash "$source_dir/tools/check_includes.sh" "$work/src" "$work/qt"; then
  echo "FAIL: allowed includes were refused"
  fail=1
fi
write common/A.h '#include <string>' '#include "character/B.h"'
expect 'src/common/A.h:2: common may not include "character/B.h" (character)'
allowed
write character/B.cpp '#include <QString>'
expect "src/character/B.cpp:1: character is core and may not include Qt's <QString>"
allowed
write report/render/C.cpp '  #  include <QLabel>'
expect 'src/report/render/C.cpp:1: report/render may use Qt Gui only, not <QLabel>'
allowed
write cli/J.cpp '#include "ui/D.h"'
expect 'src/cli/J.cpp:1: cli may not include "ui/D.h" (ui)'
allowed
write dice/window/I.cpp '#include "binding/G.h"'
expect 'dice/window may not include "binding/G.h" (binding)'
allowed
write sheet/F.cpp '#include "app/H.h"'
expect 'sheet may not include "app/H.h" (app)'
allowed
write ui/D.cpp '#include "nowhere/X.h"'
expect '"nowhere/X.h" names no library'
exit $fail
