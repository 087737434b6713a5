#!/usr/bin/env bash
# The release: builds every file users download and gathers them in release/ with a SHA256SUMS
# file (check them there with `sha256sum -c SHA256SUMS`). Each artefact is one line below: the
# preset that builds it, its target, and what the target writes into the preset's build folder.
set -euo pipefail
cd "$(dirname "$0")/.."
version=$(sed -n 's/^project(Velorund VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
release=release

# Builds TARGET of PRESET (set up first) and copies PATH, a file or a folder in the preset's build
# folder, into the release.
artefact() {
    local preset=$1 target=$2 path=$3
    bash tools/setup.sh "$preset"
    cmake --build --preset "$preset" --target "$target"
    cp -r "build/$preset/$path" "$release/"
}

rm -rf "$release"
mkdir "$release"
artefact windows package "Velorund-$version-windows-x64.zip"
artefact native package "velorund_${version}_$(dpkg --print-architecture).deb"
artefact web velorund_web_zip "Velorund-$version-web.zip"

(cd "$release" && find . -type f ! -name SHA256SUMS -printf '%P\0' | sort -z | xargs -0 sha256sum >SHA256SUMS)
echo "$release/:"
cat "$release/SHA256SUMS"
