#!/usr/bin/env bash
# The filter against a peer, in one run on the same input: whole velorund processes and whole
# `vips mapim` processes (libvips, bilinear interpolation, every thread) through the filter's own
# map, written once by velorund-map-image as a two-band float TIFF, on uncompressed 8-bit RGB
# TIFF photographs of 2048 x 2048 and 6000 x 4000. Given the literal implementation's velorund
# (docs/performance.md says how to build it), it is timed beside them. The commands take turns,
# round after round, so that a load that comes and goes falls on all of them; each one's median
# wall time is printed, with the load average before and after and the ratios (how many times
# the other's time velorund's is).
#   bash bench/peers.sh [LITERAL_VELORUND]          VELORUND_PEER_ROUNDS (default 5) rounds
set -euo pipefail
cd "$(dirname "$0")/.."
literal=${1:-}
rounds=${VELORUND_PEER_ROUNDS:-5}
command -v vips >/dev/null || { echo "peers.sh: vips (libvips-tools) is not installed" >&2; exit 1; }
cmake --build --preset native --target velorund velorund-bench-photo velorund-map-image >/dev/null
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# The median of the numbers on standard input.
median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

echo "load average before: $(cut -d' ' -f1-3 /proc/loadavg); $(nproc) hardware threads; $rounds rounds"
echo
echo "| image | velorund | vips mapim | velorund against vips |${literal:+ literal | velorund against literal |}"
echo "|---|---|---|---|${literal:+---|---|}"
for size in 2048x2048 6000x4000; do
  width=${size%x*} height=${size#*x}
  photo=$work/photo-$size.tif map=$work/map-$size.tif
  build/native/bench/velorund-bench-photo examples/astronaut.png "$width" "$height" "$photo"
  build/native/bench/velorund-map-image "$width" "$height" "$map"
  names=(velorund vips ${literal:+literal})
  declare -A commands=(
    [velorund]="build/native/tools/velorund --quiet --force $photo $work/velorund.tif"
    [vips]="vips mapim $photo $work/vips.tif $map --interpolate bilinear"
    [literal]="$literal --quiet --force $photo $work/literal.tif")
  for name in "${names[@]}"; do : >"$work/$name.times"; done
  for ((round = 0; round < rounds; round++)); do
    for name in "${names[@]}"; do
      start=$EPOCHREALTIME
      ${commands[$name]} >/dev/null
      awk "BEGIN { print $EPOCHREALTIME - $start }" >>"$work/$name.times"
    done
  done
  declare -A seconds
  for name in "${names[@]}"; do seconds[$name]=$(median <"$work/$name.times" | awk '{ printf "%.3f", $1 }'); done
  row="| $width x $height | ${seconds[velorund]} s | ${seconds[vips]} s | $(awk "BEGIN { printf \"%.2f\", ${seconds[vips]} / ${seconds[velorund]} }") |"
  if [ -n "$literal" ]; then
    row+=" ${seconds[literal]} s | $(awk "BEGIN { printf \"%.1f\", ${seconds[literal]} / ${seconds[velorund]} }") |"
  fi
  echo "$row"
done
echo
echo "load average after: $(cut -d' ' -f1-3 /proc/loadavg)"
