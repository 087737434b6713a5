#!/usr/bin/env bash
# Takes the README's picture of the about box: velorund-about-screenshot opens it through the
# module's About selector under wine, on a virtual desktop (so that the window has its frame and
# caption) on a virtual display, saves the screen around it, and closes it with Esc.
set -euo pipefail
cd "$(dirname "$0")/../.."
bash tools/setup.sh windows
cmake --build --preset windows --target velorund_module velorund-about-screenshot
build=$PWD/build/windows
shot=$build/about-box.bmp
WINEPREFIX=$build/wineprefix-screenshot WINEDEBUG=-all WINEDLLOVERRIDES=mscoree,mshtml= \
  xvfb-run -a -s "-screen 0 1024x768x24" /usr/lib/wine/wine64 explorer /desktop=velorund,800x600 \
  "$build/tools/velorund-about-screenshot.exe" "Z:$build/src/Velorund-150 64bit.8bf" "Z:$shot"
mkdir -p docs
python3 tools/windows/bmp_to_png.py "$shot" docs/about-box.png
echo "Saved docs/about-box.png"
