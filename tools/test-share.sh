#!/usr/bin/env bash
# The tests' share of the code: non-blank lines that are not // comments, in the tracked C, C++
# and JavaScript files under tests/ against those under src/, hostapp/, tools/, gimp/ and web/.
# Generated tables (src/warp/map_grid_table.cpp) are not code anybody writes and are left out,
# as are installed npm packages.
set -euo pipefail
cd "$(dirname "$0")/.."

count() {
  git ls-files -- "$@" | grep -E '\.(c|cc|cpp|cxx|h|hh|hpp|inl|js|mjs)$' | grep -v -E 'map_grid_table\.cpp$|node_modules/' |
    xargs -r cat | grep -c -v -E '^\s*(//.*)?$' || true
}

code_folders=(src hostapp tools gimp web)
tests=$(count tests)
code=$(count "${code_folders[@]}")
awk -v t="$tests" -v c="$code" -v f="${code_folders[*]}" 'BEGIN { printf "tests: %d lines, code: %d lines (%s; generated tables left out), share: %.1f%%\n", t, c, f, 100 * t / c }'
