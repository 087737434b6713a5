#!/usr/bin/env bash
# The tests' share of the code: non-blank, non-comment C, C++ and JavaScript lines under tests/
# against those under src/, hostapp/, tools/ and the front ends' own folders. Comments are //
# lines and the // tails of lines; block comments are not used in this code.
set -euo pipefail
cd "$(dirname "$0")/.."

count() {
  local files
  files=$(find "$@" -type f \( -name '*.c' -o -name '*.cpp' -o -name '*.h' -o -name '*.hpp' -o -name '*.js' -o -name '*.mjs' \) 2>/dev/null)
  [ -n "$files" ] || { echo 0; return; }
  # shellcheck disable=SC2086
  sed -E 's://.*$::' $files | grep -c -v -E '^[[:space:]]*$' || true
}

code_folders=(src hostapp tools)
[ -d gimp ] && code_folders+=(gimp)
[ -d web ] && code_folders+=(web)
tests=$(count tests)
code=$(count "${code_folders[@]}")
awk -v t="$tests" -v c="$code" -v f="${code_folders[*]}" 'BEGIN { printf "tests: %d lines, code: %d lines (%s), share: %.1f%%\n", t, c, f, 100 * t / c }'
