#!/usr/bin/env bash
# The demo: builds the module and the in-process host, then walks the module through a run.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/setup.sh native
cmake --build --preset native --target velorund-walkthrough
./build/native/tools/velorund-walkthrough
