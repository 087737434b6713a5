#!/usr/bin/env bash
# The demo: builds the module and the in-process host, then walks the module through a run and
# saves the warped document.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/setup.sh native
cmake --build --preset native --target velorund-walkthrough
mkdir -p out
./build/native/tools/velorund-walkthrough out/walkthrough-disc.pam
