#!/usr/bin/env bash
# Builds the Debian package with cpack and checks it as a user would meet it: the files it holds,
# its control fields, lintian's verdict, and the programs, manual page and bash completion
# unpacked into a scratch root (nothing is installed on this machine).
#   deb_package_test.sh CPACK BUILD_DIR SOURCE_DIR VERSION WITH_GIMP_PLUGIN(0|1)
set -euo pipefail
cpack=$1 build=$2 source=$3 version=$4 with_gimp=$5
work=$build/deb-check
rm -rf "$work"
mkdir -p "$work"
fail() { echo "FAILED: $*" >&2; exit 1; }

"$cpack" --config "$build/CPackConfig.cmake" -B "$work" >"$work/cpack.log" 2>&1 || fail "$(cat "$work/cpack.log")"
deb=$work/velorund_${version}_$(dpkg --print-architecture).deb
[ -f "$deb" ] || fail "cpack wrote no $deb"

# The files, each where Debian and GIMP look for it.
expected="./usr/bin/velorund
./usr/share/bash-completion/completions/velorund
./usr/share/doc/velorund/changelog.gz
./usr/share/doc/velorund/copyright
./usr/share/man/man1/velorund.1.gz"
if [ "$with_gimp" = 1 ]; then
    expected+=$'\n./usr/lib/gimp/2.0/plug-ins/velorund-gimp/velorund-gimp'
fi
files=$(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ { print $6 }' | sort)
[ "$files" = "$(sort <<<"$expected")" ] || fail "the package holds:"$'\n'"$files"

# The control fields: the version the changelog names, and the libraries found by dpkg-shlibdeps.
[ "$(dpkg-deb -f "$deb" Package Version)" = $'Package: velorund\nVersion: '"$version" ] ||
    fail "control: $(dpkg-deb -f "$deb" Package Version)"
[ "$(dpkg-parsechangelog -l "$source/packaging/changelog" -S Version)" = "$version" ] ||
    fail "packaging/changelog does not start with version $version"
depends=$(dpkg-deb -f "$deb" Depends)
libraries=(libc6 'libstdc\+\+6' libpng16 libtiff libjpeg libwebp[0-9] libwebpmux libwebpdemux liblcms2)
[ "$with_gimp" = 1 ] && libraries+=(libgimp2.0)
for library in "${libraries[@]}"; do
    grep -qE "(^|, )$library[^,]* \(>= " <<<"$depends" || fail "Depends lacks $library: $depends"
done

# lintian: no errors and no warnings (those left would be explained beside the CPack settings).
lintian --fail-on error,warning "$deb" 2>/dev/null || fail "lintian: $(lintian "$deb" 2>/dev/null)"

# The unpacked tool: its version, and a warp with the very bytes of the build's tool.
root=$work/root
dpkg-deb -x "$deb" "$root"
[ "$("$root/usr/bin/velorund" --version)" = "velorund $version" ] || fail "velorund --version"
"$root/usr/bin/velorund" --quiet --rect 96,96,256,256 "$source/examples/astronaut.png" "$work/packaged.png"
"$build/tools/velorund" --quiet --rect 96,96,256,256 "$source/examples/astronaut.png" "$work/built.png"
cmp "$work/packaged.png" "$work/built.png" || fail "the packaged tool's warp differs from the build's"
if [ "$with_gimp" = 1 ]; then
    # Run outside GIMP, the plug-in says so: it loads with every library it links.
    plugin=$root/usr/lib/gimp/2.0/plug-ins/velorund-gimp/velorund-gimp
    [[ $("$plugin" 2>&1) == *"must be run by GIMP"* ]] || fail "the packaged GIMP plug-in does not start"
fi

# The manual page renders without a warning and names every option the tool's help lists.
options=$("$root/usr/bin/velorund" --help | grep -oP '(?<![\w-])--?[a-z][a-z-]*' | sort -u)
manual=$(MANWIDTH=100 man --warnings -l "$root/usr/share/man/man1/velorund.1.gz" 2>"$work/man-warnings")
[ ! -s "$work/man-warnings" ] || fail "man: $(cat "$work/man-warnings")"
for option in $options; do
    grep -qE -- "(^|[^a-z-])$option([^a-z-]|$)" <<<"$manual" || fail "the manual page lacks $option"
done

# The completion loads in bash, offers every option of the help and completes --format values
# and files of the formats the tool reads.
mkdir "$work/files"
touch "$work/files/"{a.png,b.TIFF,c.jpeg,d.webp,e.txt}
completions() {
    (cd "$work/files" && bash -c 'source "$0"; COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1)); _velorund
                                  printf "%s\n" "${COMPREPLY[@]}"' \
        "$root/usr/share/bash-completion/completions/velorund" velorund "$@" 2>/dev/null | sort | xargs)
}
offered=$(completions -)
for option in $options; do
    [[ " $offered " == *" $option "* ]] || fail "completion offers \"$offered\", not $option"
done
[ "$(completions --format '')" = "jpg png tif webp" ] || fail "--format completes to $(completions --format '')"
[ "$(completions --quiet '')" = "a.png b.TIFF c.jpeg d.webp" ] || fail "files complete to $(completions --quiet '')"
echo "$deb: $(wc -l <<<"$files") files, lintian clean, tool, manual page and completion checked"
