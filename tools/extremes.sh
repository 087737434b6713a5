#!/usr/bin/env bash
# Extreme images through the command-line tool (native build): the largest shapes the host's
# 16-bit rectangles allow, huge images with their time and peak memory, and a sweep of memory
# limits (ulimit -v) from too small to enough, under each of which the tool must end with exit
# 0, 1 or 2, say why when it fails, and leave no file behind. Writes its figures, one line per
# case, to build/native/extremes/results.txt; exits 1 when any case misbehaves.
#   bash tools/extremes.sh --ci   # the edge shapes at 8-bit gray and the sweep (what the tests run)
#   bash tools/extremes.sh        # also 16000 x 16000 8-bit RGB and 8000 x 8000 float RGBA
set -euo pipefail
cd "$(dirname "$0")/.."
tool=$PWD/build/native/tools/velorund
work=$PWD/build/native/extremes
rm -rf "$work"
mkdir -p "$work"
results=$work/results.txt
: > "$results"
status=0

# One run of the tool, without a pixel limit: its exit code, wall time and peak memory, and
# what it left.
# Usage: run NAME LIMIT_KB INPUT OUTPUT
run() {
  local name=$1 limit=$2 input=$3 output=$4
  local out=$work/$name
  rm -f "$output"
  set +e
  (
    [ "$limit" = none ] || ulimit -v "$limit"
    /usr/bin/time -f '%e %M' -o "$out.time" "$tool" --quiet --force --max-megapixels 0 "$input" "$output"
  ) > "$out.stdout" 2> "$out.stderr"
  local code=$?
  set -e
  local seconds kb
  read -r seconds kb < <(tail -1 "$out.time" 2>/dev/null || echo "0 0")
  local left
  left=$(find "$(dirname "$output")" -maxdepth 1 -name ".$(basename "$output").*" | wc -l)
  find "$(dirname "$output")" -maxdepth 1 -name ".$(basename "$output").*" -delete
  local verdict=ok
  case $code in
    0) [ -s "$output" ] || verdict="no output" ;;
    1 | 2) { [ -s "$out.stderr" ] && [ ! -e "$output" ]; } || verdict="unclear failure" ;;
    *) verdict="exit $code" ;;
  esac
  [ "$left" -eq 0 ] || verdict="left $left temporary files"
  [ "$verdict" = ok ] || status=1
  printf '%s limit=%s exit=%s seconds=%s peak_mb=%s verdict=%s message=%s\n' "$name" "$limit" "$code" \
    "$seconds" "$((kb / 1024))" "$verdict" "$(head -n 1 "$out.stderr" | cut -c 1-400)" | tee -a "$results"
}

# Sample images: uncompressed TIFF strips written by Python (ImageMagick's policy refuses sides
# past 16K), a gradient that moves from row to row.
make_image() {  # NAME WIDTH HEIGHT TYPE (gray8, rgb8, rgbaf)
  local file=$work/$1.tif
  python3 - "$file" "$2" "$3" "$4" <<'PY'
import struct, sys
path, width, height, kind = sys.argv[1], int(sys.argv[2]), int(sys.argv[3]), sys.argv[4]
channels, bits, fmt = {"gray8": (1, 8, 1), "rgb8": (3, 8, 1), "rgbaf": (4, 32, 3)}[kind]
def row(y):
    if bits == 8:
        return bytes((x * 255 // max(width - 1, 1) + y + c * 85) % 256 for x in range(width) for c in range(channels))
    return b"".join(struct.pack("<4f", x / width, (y % 256) / 255, 0.5, 0.8) for x in range(width))
rows = [row(y) for y in range(min(height, 64))]
row_bytes = len(rows[0])
tags = [(256, 4, 1, width), (257, 4, 1, height), (258, 3, 1, bits), (259, 3, 1, 1),
        (262, 3, 1, 2 if channels > 2 else 1), (273, 4, 1, 0), (277, 3, 1, channels),
        (278, 4, 1, height), (279, 4, 1, row_bytes * height), (339, 3, 1, fmt)]
if channels == 4: tags.append((338, 3, 1, 2))
tags.sort()
data_at = 8 + 2 + 12 * len(tags) + 4
with open(path, "wb") as out:
    out.write(b"II*\0" + struct.pack("<IH", 8, len(tags)))
    for tag, kind_, count, value in tags:
        value = data_at if tag == 273 else value
        out.write(struct.pack("<HHI", tag, kind_, count) + (struct.pack("<HH", value, 0) if kind_ == 3 else struct.pack("<I", value)))
    out.write(struct.pack("<I", 0))
    for y in range(height):
        out.write(rows[y % len(rows)])
PY
  echo "$file"
}

# The host rectangles' largest sides, at 8-bit gray.
for shape in 32767x64 64x32767; do
  input=$(make_image "edge-$shape" "${shape%x*}" "${shape#*x}" gray8)
  run "edge-$shape-gray8" none "$input" "$work/edge-$shape-out.tif"
done

# Huge images.
if [ "${1:-}" != --ci ]; then
  input=$(make_image huge-16000-rgb8 16000 16000 rgb8)
  run huge-16000x16000-rgb8 none "$input" "$work/huge-rgb8-out.tif"
  input=$(make_image huge-8000-rgbaf 8000 8000 rgbaf)
  run huge-8000x8000-rgba-float none "$input" "$work/huge-rgbaf-out.tif"
fi

# Memory limits from too small to enough, on a 2000 x 1500 RGB image.
input=$(make_image sweep 2000 1500 rgb8)
for mb in 16 24 32 40 48 56 64 96 128 192 256 384 512 1024; do
  run "sweep-${mb}mb" $((mb * 1024)) "$input" "$work/sweep-out.png"
done
exit $status
