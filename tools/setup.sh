#!/usr/bin/env bash
# Installs the Debian packages the build needs (as root), skipping the package index update
# when everything is already there, and for the web preset the npm packages, then configures
# the given presets.
set -euo pipefail
cd "$(dirname "$0")/.."

packages=$(grep -v -E '^\s*(#|$)' tools/debian-packages.txt)
missing=()
for p in $packages; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  sudo_cmd=""
  [ "$(id -u)" -eq 0 ] || sudo_cmd="sudo"
  $sudo_cmd env DEBIAN_FRONTEND=noninteractive apt-get update -q
  $sudo_cmd env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

# The web preset bundles fast-png from npm into the page, and its tests drive Chromium through
# puppeteer-core: both as package-lock.json pins them, installed again when it changes.
if [[ " $* " == *" web "* ]] && ! cmp -s package-lock.json node_modules/.installed-lock.json; then
  npm ci --no-audit --no-fund
  cp package-lock.json node_modules/.installed-lock.json
fi

for preset in "$@"; do
  cmake --preset "$preset" >/dev/null
done
