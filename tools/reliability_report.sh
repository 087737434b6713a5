#!/usr/bin/env bash
# Writes docs/reliability.md from figures it measures: the fault walk (the native test that makes
# every host call of whole runs fail in turn), the fuzzers (tools/fuzz.sh, SECONDS each, default
# 600), and the extreme images with the memory-limit sweep (tools/extremes.sh, full).
#   bash tools/reliability_report.sh [SECONDS]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-600}
bash tools/setup.sh native
cmake --build --preset native

# The fault walk.
start=$(date +%s)
walk=$(build/native/tests/velorund_tests --gtest_filter='FaultInjection.*' | grep '^fault walk:')
walk_seconds=$(($(date +%s) - start))
walk_runs=$(sed -E 's/.* ([0-9]+) filter runs.*/\1/' <<< "$walk")
walk_faults=$(sed -E 's/.* ([0-9]+) injected faults.*/\1/' <<< "$walk")

# The fuzzers and the extremes; a finding or a misbehaving case is reported, not hidden.
fuzz_status=passed
bash tools/fuzz.sh "$seconds" > /dev/null || fuzz_status="FAILED (findings in build/fuzz/runs/findings)"
extremes_status=passed
bash tools/extremes.sh > /dev/null || extremes_status="FAILED (see build/native/extremes)"
field() { sed -E "s/.* $1=([^ ]*).*/\1/" <<< "$2"; }
fuzz_line() { grep "^$1 fuzzer:" build/fuzz/runs/summary.txt; }
cases=build/native/extremes/results.txt

{
cat <<TEXT
# Reliability

What was tried against the module, the in-process host and the command-line tool, how often,
and what they did. Every figure here is measured by \`bash tools/reliability_report.sh\`, which
wrote this file on $(date -u +%Y-%m-%d) ($(nproc) cores).

How many small planted faults the tests catch, and which tests catch each, is in
\`docs/planted-faults.md\` (\`tools/mutants.py\`).

## Every host call made to fail

\`tests/run/fault_injection_test.cpp\` records every host call of a normal run, then repeats the
run once for each call that can fail, with that call failing, in a freshly loaded module
(\`hostapp/testing/fault_walk.h\`), and after each a normal run in the same loaded module. Documents:
8, 16 and 32-bit, gray and RGB, flat and layer, with and without a selection, one tile and two
tiles across (600 x 36), and one host without a buffer suite; each at 1 and 2 threads.

**$walk_faults injected faults, $walk_runs filter runs, $walk_seconds s** (native build; the
sanitize build walks a sample under the address and undefined-behaviour sanitizers, where a
run takes some ten times longer: for each document and thread count, the first failure of each
kind of call in each selector that ends as each row of the table below says).

| call made to fail | how | what the module did |
|---|---|---|
| \`newProc\` (globals, parameter block) | null handle | -108 at that selector; nothing else obtained |
| \`lockProc\` of the globals, at any selector | null | -108 at that selector; the globals handle disposed when it was new |
| \`allocateProc\` / buffer \`lockProc\` (global memory failing too) of the row records, job array or run tables | refused | 1 at Start, everything released, rectangles emptied |
| the same, of the source image's table or tiles | refused | 999 at Start; the run buffers left to the host |
| the same, of the block of rows rendered ahead (obtained at the end of Start, a step the failure table does not name) | refused | -108 at Start; the run buffers left to the host |
| the same, of the map grid (obtained and built once at Start) | refused | 0: the run completes, the disc shows the source's centre |
| \`advanceState\`, any call in Start or Continue | returns -25 | -25 passed on; the host buffers left to the host |
| \`abortProc\`, any poll | answers cancel | -128 in Continue, everything released, rectangles emptied |
| \`progressProc\`, \`abortProc\` missing | null | same image (host profiles, \`tests/hostapp/host_profiles_test.cpp\`) |

Each faulty run is checked for its result and the selector that ended it; where the module
leaves its memory to the host, the host's count of the buffers it freed equals what the module
held (by the host's log); no global memory outlives the run except where the module could not
reach its globals (then it goes back at the next run); no block is freed twice or unknown; and
the next normal run in the same module gives the recorded image bit for bit and leaves nothing.

## Fuzzing

libFuzzer (clang 14) with the address and undefined-behaviour sanitizers, the fuzz preset; seeds
and regression cases in \`tests/fuzz/corpus/\`. The tests replay each fuzzer's corpus and then
make a fixed number of executions from a fixed random seed (\`bash tools/fuzz.sh --replay\`) rather
than run for a time from a random one, so that a new finding turns up in exploring rather than in
an unrelated change.
This report explored for $seconds s each from random seeds (\`bash tools/fuzz.sh $seconds\`):
$fuzz_status.

- $(fuzz_line host)
- $(fuzz_line file)

The host fuzzer (\`tests/fuzz/host_fuzzer.cpp\`, \`hostapp/testing/byte_host.h\`) makes a document of
1 to 4096 pixels a side (at most $(sed -n 's/.*kByteHostMaxPixels = 1 << \([0-9]*\).*/2^\1/p' hostapp/testing/byte_host.h) pixels, so that a run takes milliseconds), every
\`imageMode\`, depth, \`planes\`, \`filterCase\`, \`haveMask\`, layer plane counts, row order
and padding, suites offered or not, of other versions and counts, with a null procedure or a
refused request, missing procedures, scripted host errors and cancels, and selector calls in
any order, then a whole run. Coverage counts the module's and the host's edges; the pixel loops
of the sampler and the warp engine are left uninstrumented for speed. The file fuzzer
(\`tests/fuzz/file_fuzzer.cpp\`) loads arbitrary bytes as PNG, TIFF, JPEG or WebP under a 256 MB
allocation limit and a pixel limit of 2^18 (512 x 512, so that every honest picture fits the
allocation limit and a larger claim is a lie to find); coverage counts the tool's own code (the
system's image libraries are not instrumented).

## Extreme images and memory limits

The command-line tool (native build, without a pixel limit) on images written by
\`tools/extremes.sh\`: $extremes_status.

| case | exit | seconds | peak memory (MB) |
|---|---|---|---|
TEXT
grep -v '^sweep' "$cases" | while read -r line; do
  echo "| ${line%% *} | $(field exit "$line") | $(field seconds "$line") | $(field peak_mb "$line") |"
done
cat <<TEXT

Under \`ulimit -v\` (a 2000 x 1500 RGB TIFF; each run must end with exit 0, 1 or 2, a message when
it fails, no output and no temporary file):

| limit (MB) | exit | message |
|---|---|---|
TEXT
grep '^sweep' "$cases" | while read -r line; do
  echo "| $(( $(field limit "$line") / 1024 )) | $(field exit "$line") | $(sed -E 's/.*message=(velorund: [^:]*: )?//' <<< "$line") |"
done
cat <<'TEXT'

## Faults found and fixed

| fault | found by | fix | regression |
|---|---|---|---|
| After a run that ended in an error with its buffers left to the host, the next call stopped worker threads inside the freed run tables: a hang, or a use of freed memory | the fault walk | only workers started in the current call are stopped; a run that ends in an error lets go of its buffers at once, and Prepare forgets what the last run held | the fault walk; host corpus `error-then-next-run` |
| A host without a buffer suite whose `advanceState` failed lost the run's global memory for good | the fault walk | the global memory a failed run held is given back (at once, or at the next run when the globals could not be reached); the host's buffers are only forgotten | the fault walk's host without a buffer suite |
| A 274-byte PNG whose chunk after the pixels claims 1.39 GB made libpng allocate it | the file fuzzer | libpng's allocations are bounded by what the file can hold (deflate's best ratio of its size, at least 4 MB) | file corpus `found-png-chunk-longer-than-file.png` |
| Under a memory limit the tool aborted when the system refused its writer thread, leaving its temporary file | the memory-limit sweep | the refused thread is reported as lack of memory, exit 2, the temporary file removed | the sweep in the tests |
| A 262-byte JPEG whose image data ends at an end marker, claiming 16716 x 20552 pixels, was decoded to its last row, libjpeg padding the missing rows, 1 GB | the file fuzzer (in CI) | image data that ends at a marker is refused as truncated, as data that ends with the file already was | file corpus `found-jpeg-data-ends-at-marker.jpg`; the tool's bad-input test |
| A small progressive JPEG that claims 16000 x 16000 pixels made libjpeg allocate 1.5 GB of coefficient buffers before it found the data missing | reading the JPEG path after the finding above | the pixel limit below; libjpeg's memory is held to the coefficients of the picture the header declares | file corpus `lying-progressive-16000.jpg` |
| A 186-byte TIFF whose one strip of 32767 rows claims 2 GB had its whole buffer allocated before libtiff read it | the file fuzzer | strips larger than 16 MB are read row by row through libtiff's scanline interface | file corpus `found-tiff-strip-larger-than-file.tif` |
| A 131-byte TIFF whose tile of 65536 x 65536 claims 855 MB of pixels from data past the end of the file had its buffer allocated | the file fuzzer | the pixel limit below, and a tile's buffer bounded by the image rows it covers | file corpus `found-tiff-tile-larger-than-file.tif` |
| A 38-byte lossless WebP of 16383 x 16383 pixels of one colour took over 60 s and 3 GB; a 125-byte arithmetic-coded JPEG of 16000 x 16000, 37 s and 1.85 GB. Meanwhile an honest 366-byte arithmetic-coded JPEG of 6000 x 4000 was refused by the JPEG memory rule, which assumed a bit of data per block | a hostile user's trial | a limit on decoded pixels read from every format's header before any pixel is decoded, 180 megapixels by default (\`--max-megapixels N\`, 0 for none), instead of guesses from the file's size where they refuse honest files; WebP decoded straight into the image | the tool's bad-input tests; file corpus `one-colour-512.webp`, `arithmetic-flat-512x384.jpg` |
| Ctrl-C during the read of a large picture was answered when the read ended (7.5 s and 1.6 GB with a small file of a large picture), and a batch waited for the file it read ahead | a user's trial | decoders ask about a stop between bands of rows (libjpeg through its progress monitor; libwebp, which cannot be interrupted, on a thread the load leaves) | the tool's signal tests |
| A batch wrote the warp of its first input over its second input, \`out/a.jpg\`, and only then reported the clash | a user's trial | every output path is decided first and compared with every input by device and inode; a clash refuses the batch with nothing written | the tool's batch tests |
| A malformed EXIF directory (a GPS pointer past the end) kept the thumbnail of the unturned picture; an orientation stored as a LONG or as two values was not applied, or kept; a PNG eXIf chunk with the JPEG prefix was dropped | a user's trial | orientation read as common readers read it (the first value of any whole-number type) and rewritten as one SHORT 1; the thumbnail's directory cut whatever else is malformed; the prefix skipped | the tool's photo tests; file corpus `exif-long-orientation-gps-past-end.jpg`, `exif-prefixed-two-orientations.png` |
| XMP over 64 KB went into a JPEG without a word; the extension segments of extended XMP were dropped | a user's trial | extended XMP written and joined; what an output cannot hold, and what the tool does not carry, named in one warning line | the tool's photo tests; file corpus `extended-xmp.jpg` |
| An animated PNG was read as its first picture; out-of-order restart markers were called truncation | a user's trial | animated PNG refused; such JPEG data called corrupt | the tool's bad-input test; file corpus `animated.png`, `restarts-out-of-order.jpg` |
TEXT
} > docs/reliability.md
echo "wrote docs/reliability.md"
