#!/usr/bin/env bash
# Takes the README's picture of the plug-in in GIMP: GIMP runs on a virtual display with a
# private configuration folder holding the built plug-in, warps the sample photograph through
# plug-in-velorund and shows it, the Filters > Distorts menu is opened with the keyboard, and
# the screen is saved and cut down to GIMP's window in docs/gimp-plugin.png.
set -euo pipefail
cd "$(dirname "$0")/.."
work=$PWD/build/native/gimp/screenshot
export GIMP2_DIRECTORY=$work/home

# On the virtual display (the script runs itself there): GIMP with the warped photograph, the
# menu opened, the screen saved.
if [ "${1:-}" = "--on-display" ]; then
  gimp-2.10 -d -f -s --batch-interpreter plug-in-script-fu-eval -b "
    (let* ((image (car (gimp-file-load RUN-NONINTERACTIVE \"$PWD/examples/astronaut.png\" \"astronaut.png\")))
           (layer (car (gimp-image-get-active-drawable image))))
      (plug-in-velorund RUN-NONINTERACTIVE image layer)
      (gimp-display-new image))" >"$work/gimp.log" 2>&1 &
  gimp=$!
  window=""
  for _ in $(seq 1 150); do
    window=$(xdotool search --name "astronaut" 2>/dev/null | head -1 || true)
    [ -n "$window" ] && break
    sleep 0.2
  done
  [ -n "$window" ] || { kill "$gimp"; echo "GIMP showed no image window; see $work/gimp.log" >&2; exit 1; }
  sleep 2
  xdotool windowfocus --sync "$window" key alt+r
  sleep 0.5
  xdotool key d
  sleep 1
  xwd -root -silent >"$work/screen.xwd"
  kill "$gimp"
  wait "$gimp" || true
  exit 0
fi

bash tools/setup.sh native
cmake --build --preset native --target velorund-gimp
for tool in xdotool xwd; do
  command -v "$tool" >/dev/null || { echo "$0 needs $tool (Debian packages xdotool and x11-apps)" >&2; exit 2; }
done
rm -rf "$work"
mkdir -p "$work/home/gradients"
gimptool-2.0 --install-bin build/native/gimp/velorund-gimp >/dev/null
xvfb-run -a -s "-screen 0 1280x800x24" bash gimp/screenshot.sh --on-display

# GIMP's window, cropped, and reduced to a palette to stay small.
mkdir -p docs
gimp-console-2.10 -i -d -f --batch-interpreter plug-in-script-fu-eval -b "
  (let ((image (car (gimp-file-load RUN-NONINTERACTIVE \"$work/screen.xwd\" \"screen.xwd\"))))
    (gimp-image-crop image 1024 768 200 32)
    (gimp-image-convert-indexed image CONVERT-DITHER-NONE CONVERT-PALETTE-GENERATE 255 FALSE FALSE \"\")
    (file-png-save2 RUN-NONINTERACTIVE image (car (gimp-image-get-active-drawable image))
                    \"$PWD/docs/gimp-plugin.png\" \"gimp-plugin.png\" 0 9 0 0 0 0 0 0 0))" \
  -b "(gimp-quit 0)" >"$work/convert.log" 2>&1
echo "Saved docs/gimp-plugin.png"
