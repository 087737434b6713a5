#!/usr/bin/env bash
# The tests: builds both presets and runs every test of each.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/setup.sh native windows
cmake --build --preset native
cmake --build --preset windows
ctest --preset native
ctest --preset windows
