#!/usr/bin/env bash
# Serves the web page (build/web/page, made by `cmake --build --preset web`) on 127.0.0.1 with the
# headers that make it cross-origin isolated, so the filter runs on every thread. Any static file
# server serves the folder as well; without those headers the page runs on one thread.
#   bash tools/serve-web.sh [--port N] [--no-isolation] [FOLDER]
set -euo pipefail
cd "$(dirname "$0")/.."
exec node tools/web_server.mjs "$@"
