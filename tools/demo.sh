#!/usr/bin/env bash
# The demo: builds the velorund command-line tool and warps the sample photograph in examples/
# into a disc, saved as out/demo-disc.png.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/setup.sh native
cmake --build --preset native --target velorund
mkdir -p out
./build/native/tools/velorund --force examples/astronaut.png out/demo-disc.png
echo "Result: out/demo-disc.png (examples/astronaut.png warped into a disc)"
