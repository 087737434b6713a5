#!/usr/bin/env bash
# The GIMP plug-in's peak memory (the largest resident size of its process) and its process's
# time, in gimp-console batch mode: a small image, 24-megapixel layers of each depth, and a layer
# too wide to take, which the plug-in refuses. Given other velorund-gimp executables (an older
# build, say), measures them too, for comparison.
#   bash bench/gimp_memory.sh [OTHER_VELORUND_GIMP...]
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --build --preset native --target velorund-gimp >/dev/null
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# width height layer-type precision, of RGB images
cases=("101 77 RGB-IMAGE PRECISION-U8-GAMMA"
       "6000 4000 RGB-IMAGE PRECISION-U8-GAMMA"
       "6000 4000 RGBA-IMAGE PRECISION-U16-GAMMA"
       "6000 4000 RGBA-IMAGE PRECISION-FLOAT-LINEAR"
       "6000 4000 RGB-IMAGE PRECISION-HALF-GAMMA"
       "40000 2 RGB-IMAGE PRECISION-U8-GAMMA")

for plugin in build/native/gimp/velorund-gimp "$@"; do
  echo "$plugin"
  home=$work/home
  folder=$home/plug-ins/velorund-gimp
  rm -rf "$home" "$work/peaks"
  mkdir -p "$home/gradients" "$folder"
  cp "$plugin" "$work/velorund-gimp"
  # GIMP starts the plug-in (kept outside its plug-in folder) through GNU time, which adds its
  # peak resident size (kB) and time to peaks. GIMP kills the process it started once the call
  # has returned, so time runs as a child of that one, and outlives it to report.
  printf '#!/bin/sh\n/usr/bin/time -a -o "%s" -f "%%M %%e" "%s" "$@"\n' "$work/peaks" "$work/velorund-gimp" \
    >"$folder/velorund-gimp"
  chmod +x "$folder/velorund-gimp"
  lines=2
  for c in "${cases[@]}"; do
    read -r width height type precision <<<"$c"
    GIMP2_DIRECTORY=$home gimp-console-2.10 -i -d -f --batch-interpreter plug-in-script-fu-eval -b "
      (let* ((image (car (gimp-image-new-with-precision $width $height RGB $precision)))
             (layer (car (gimp-layer-new image $width $height $type \"layer\" 100 LAYER-MODE-NORMAL))))
        (gimp-image-insert-layer image layer 0 0)
        (gimp-context-set-foreground '(200 30 90))
        (gimp-drawable-fill layer FILL-FOREGROUND)
        (plug-in-velorund RUN-NONINTERACTIVE image layer))" -b "(gimp-quit 0)" >"$work/log" 2>&1 || true
    # The run's line, which time adds once the plug-in has ended (and after the line of the
    # query at GIMP's first start with the plug-in).
    for _ in $(seq 1 50); do
      [ "$(wc -l <"$work/peaks" 2>/dev/null || echo 0)" -ge "$lines" ] && break
      sleep 0.1
    done
    lines=$((lines + 1))
    read -r peak seconds < <(tail -1 "$work/peaks")
    printf '  %5s x %-5s %-11s %-24s %7.1f MB %6.2f s\n' "$width" "$height" "$type" "$precision" \
      "$(awk "BEGIN { print $peak / 1024 }")" "$seconds"
  done
done
