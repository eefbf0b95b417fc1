#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Gives every source file the licence's SPDX line: the first line of a C++ or CMake file, the line
# after the #! line of a script. Files that have it are left as they are.
#
#   bash tools/spdx.sh            add the line where it is missing
#   bash tools/spdx.sh --check    list the files without it and fail (run by the tests)
set -euo pipefail
cd "$(dirname "$0")/.."
check=0
case ${1:-} in
--check) check=1 ;;
"") ;;
*)
  echo "usage: bash tools/spdx.sh [--check]" >&2
  exit 2
  ;;
esac
licence="SPDX-License-Identifier: GPL-3.0-or-later"

# The sources: C++, CMake and shell under the project's own folders (build folders lie outside
# them). Test data and fuzz corpora are not sources.
sources() {
  find src tests bench fuzz tools cmake \( -path tests/data -o -path fuzz/corpus \) -prune -o \
    -type f \( -name '*.cpp' -o -name '*.h' -o -name '*.cmake' -o -name CMakeLists.txt -o -name '*.sh' \) -print
  echo CMakeLists.txt
  [ -f .ci/run ] && echo .ci/run
  return 0
}

missing=0
while IFS= read -r file; do
  case $file in
  *.cpp | *.h) line="// $licence" ;;
  *) line="# $licence" ;;
  esac
  # After a #! line, the line goes second.
  at=1
  [[ $(head -c 2 "$file") == "#!" ]] && at=2
  [[ $(sed -n "${at}p" "$file") == "$line" ]] && continue
  if ((check)); then
    echo "no licence line: $file (bash tools/spdx.sh adds it)"
    missing=1
  elif ((at == 2)); then
    sed -i "1a $line" "$file"
  else
    sed -i "1i $line" "$file"
  fi
done < <(sources | sort)
exit $missing
