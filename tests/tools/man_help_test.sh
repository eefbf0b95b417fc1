#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# keldcg-cli --help and its manual page list the same commands, and the page describes every
# option that a command's --help names, in that command's part of the page.
#   man_help_test.sh KELDCG-CLI PAGE
set -euo pipefail
cli=$1
page=$2
fail=0

# --help lists the commands under "Subcommands:", one per line, indented by two spaces.
help_commands=$("$cli" --help | awk '/^Subcommands:/ { on = 1; next } /^[^ ]/ { on = 0 } on && /^  [^ ]/ { print $1 }' | sort)
# The page has a .SS heading per command in its COMMANDS section; roff writes "-" as "\-".
text=$(sed 's/\\-/-/g; s/\\f[BIRP]//g' "$page")
page_commands=$(awk '/^\.SH / { on = ($2 == "COMMANDS") } on && /^\.SS / { gsub(/"/, ""); print $2 }' <<< "$text" | sort)

[ -n "$help_commands" ] || { echo "FAIL: keldcg-cli --help lists no commands"; exit 1; }
if [ "$help_commands" != "$page_commands" ]; then
  echo "FAIL: the commands differ (< only in --help, > only in the manual page):"
  diff <(echo "$help_commands") <(echo "$page_commands") | grep '^[<>]' || true
  fail=1
fi

for command in $page_commands; do
  grep -qx -- "$command" <<< "$help_commands" || continue
  section=$(awk -v c="$command" '/^\.S[HS] / { on = ($1 == ".SS" && $2 == c); next } on' <<< "$text")
  options=$("$cli" "$command" --help | grep -oE '^ +(-[a-zA-Z],)?--[a-z0-9-]+' | grep -oE -- '--[a-z0-9-]+$' \
    | grep -vx -- '--help' || true)
  for option in $options; do
    grep -qE -- "(^|[^a-z0-9-])$option([^a-z0-9-]|$)" <<< "$section" \
      || { echo "FAIL: $command's $option is not described under $command in the manual page"; fail=1; }
  done
done
exit $fail
