#!/usr/bin/env bash
# Times the velorund tool's file handling on a 4000 x 3000 RGB photograph in each format: the
# read, filter and write split of `velorund --verbose`, and the whole run. Given another
# velorund executable (an older build, say), runs the same files through it too, for comparison.
#   bash bench/cli_files.sh [OTHER_VELORUND]
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --build --preset native --target velorund velorund-bench-photo >/dev/null
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
build/native/bench/velorund-bench-photo examples/astronaut.png 4000 3000 \
  "$work/photo.png" "$work/photo.tif" "$work/photo.jpg" "$work/photo.webp"
for tool in build/native/tools/velorund "$@"; do
  echo "$tool"
  flags=(--quiet --force)
  if "$tool" --help | grep -q -- --verbose; then flags+=(--verbose); fi
  for type in png tif jpg webp; do
    start=$EPOCHREALTIME
    if "$tool" "${flags[@]}" "$work/photo.$type" "$work/out.$type" 2>"$work/split.txt"; then
      printf '  %-4s %5.2f s  %s\n' "$type" "$(awk "BEGIN { print $EPOCHREALTIME - $start }")" \
        "$(sed 's/^velorund: [^:]*: //' "$work/split.txt")"
    else
      printf '  %-4s %s\n' "$type" "$(cat "$work/split.txt")"
    fi
  done
done
