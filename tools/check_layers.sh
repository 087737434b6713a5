#!/usr/bin/env bash
# The layer rule: a folder includes only from itself and the folders below it.
#   src/platform < src/host < src/image < src/sampling < src/warp < src/run < hostapp < tools, gimp, web
#     < hostapp/testing
# The host's test side (hostapp/testing) is for the tests, which are not checked: a front end
# that includes it points upward. Reads every quoted include of the C and C++ files in those
# folders under ROOT (default: the repository) and names each one that points upward; exits 1 if
# there is any. Includes of files beside the including one (no folder of the list) are not layer
# crossings.
set -euo pipefail
root="${1:-$(dirname "$0")/..}"

# The rank of a file or include path ("src/run/x.h" and "run/x.h" alike), empty outside the list.
rank_of() {
  case "${1#src/}" in
    platform/*) echo 0 ;; host/*) echo 1 ;; image/*) echo 2 ;; sampling/*) echo 3 ;; warp/*) echo 4 ;;
    run/*) echo 5 ;; hostapp/testing/*) echo 8 ;; hostapp/*) echo 6 ;; tools/* | gimp/* | web/*) echo 7 ;; *) echo "" ;;
  esac
}

violations=0
checked=0
for folder in src/platform src/host src/image src/sampling src/warp src/run hostapp tools gimp web; do
  [ -d "$root/$folder" ] || continue
  while IFS= read -r -d '' file; do
    checked=$((checked + 1))
    own=$(rank_of "${file#"$root"/}")
    while IFS=: read -r line target; do
      included=$(rank_of "$target")
      if [ -n "$included" ] && [ "$included" -gt "$own" ]; then
        echo "${file#"$root"/}:$line includes $target, a layer above ${folder}"
        violations=$((violations + 1))
      fi
    done < <(awk '/^[ \t]*#[ \t]*include[ \t]*"/ {
                    match($0, /"[^"]*"/); print FNR ":" substr($0, RSTART + 1, RLENGTH - 2) }' "$file")
  done < <(find "$root/$folder" -type f \( -name '*.h' -o -name '*.cpp' -o -name '*.c' \) -print0)
done

if [ "$violations" -gt 0 ]; then
  echo "$violations upward include(s) in $checked files"
  exit 1
fi
echo "layers point downward: $checked files checked"
