#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Holds every include under src/ to the README's layer table, as the configure step holds the
# links: a file includes its own library, what its library may link, and the Qt modules of its
# layer (none in the core; Gui but not Widgets in the renderer and keldcg-cli). Prints each
# include the table does not allow, with its file and line, and fails if there is one.
#   bash tools/check_includes.sh [SRC_DIR] [QT_HEADERS_DIR]
# QT_HEADERS_DIR (the folder holding QtWidgets/) tells a Widgets header from a Gui one by where it
# is; without it only <QtWidgets/...> and <QtPrintSupport/...> spellings are caught there.
set -euo pipefail
src=${1:-$(cd "$(dirname "$0")/.." && pwd)/src}
qt_headers=${2:-}

core="common settings rules character charfile inventory dice report"
# What each library's folder may include besides itself; the core folders besides common may
# include the core.
declare -A may=(
  [common]=""
  [report/render]="$core"
  [ui]="$core"
  [binding]="$core ui"
  [sheet]="$core ui binding"
  [inventory/window]="$core ui binding"
  [dice/window]="$core ui"
  [report/window]="$core ui report/render"
  [cli]="$core report/render"
  [app]="*"
)
for folder in settings rules character charfile inventory dice report; do
  may[$folder]=$core
done
# Which Qt the folder may use: none, gui (Core and Gui) or all.
qt_of() {
  case $1 in
    common | settings | rules | character | charfile | inventory | dice | report) echo none ;;
    report/render | cli) echo gui ;;
    *) echo all ;;
  esac
}
# The library folder a path under src/ belongs to: the longest folder of the table it lies in.
library_of() {
  local path=$1 best="" folder
  for folder in "${!may[@]}"; do
    if [[ $path == "$folder"/* && ${#folder} -gt ${#best} ]]; then
      best=$folder
    fi
  done
  echo "$best"
}
# Whether a Qt header is one of a module a Gui-only folder may not use.
widgets_header() {
  local header=$1 module
  [[ $header =~ ^Qt(Widgets|PrintSupport|Svg|Test)/ ]] && return 0
  [[ -n $qt_headers ]] || return 1
  for module in QtWidgets QtPrintSupport QtSvg QtTest; do
    [[ -f $qt_headers/$module/$header ]] && return 0
  done
  return 1
}

refused=0
refuse() {
  echo "$1: $2" >&2
  refused=$((refused + 1))
}
while IFS= read -r file; do
  rel=${file#"$src"/}
  own=$(library_of "$rel")
  if [[ -z $own ]]; then
    refuse "src/$rel" "is in no library's folder"
    continue
  fi
  qt=$(qt_of "$own")
  line=0
  while IFS= read -r text; do
    line=$((line + 1))
    [[ $text =~ ^[[:space:]]*#[[:space:]]*include[[:space:]]*([\"\<])([^\"\>]+)[\"\>] ]] || continue
    kind=${BASH_REMATCH[1]} header=${BASH_REMATCH[2]}
    if [[ $kind == '"' ]]; then
      # moc's output for the file itself.
      [[ $header != */* && $header == *.moc ]] && continue
      target=$(library_of "$header")
      if [[ -z $target ]]; then
        refuse "src/$rel:$line" "\"$header\" names no library's folder"
      elif [[ $target != "$own" && ${may[$own]} != "*" && " ${may[$own]} " != *" $target "* ]]; then
        refuse "src/$rel:$line" "$own may not include \"$header\" ($target)"
      fi
    elif [[ $header =~ ^Q ]]; then
      if [[ $qt == none ]]; then
        refuse "src/$rel:$line" "$own is core and may not include Qt's <$header>"
      elif [[ $qt == gui ]] && widgets_header "$header"; then
        refuse "src/$rel:$line" "$own may use Qt Gui only, not <$header>"
      fi
    fi
  done < "$file"
done < <(find "$src" -type f \( -name '*.cpp' -o -name '*.h' \) | sort)

if ((refused > 0)); then
  echo "check_includes.sh: $refused include(s) across layers the table does not allow" >&2
  exit 1
fi
echo "check_includes.sh: every include under $src keeps to the layer table"
