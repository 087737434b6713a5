#!/usr/bin/env python3
"""Times whole velorund processes the way a user runs the tool, on uncompressed 8-bit RGB TIFF
photographs: 2048 x 2048 and 6000 x 4000 on every thread and on one (the median wall time of
three runs and the largest peak resident memory), then a series from 1 to 24 megapixels that
shows how the cost grows with the pixel count. Other velorund executables given on the command
line (an older build, say) are timed on the same files in the same run, for a before-and-after
table. Prints Markdown.

    python3 bench/cli_speed.py [OTHER_VELORUND...]
"""
import os
import statistics
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
TOOL = os.path.join(ROOT, "build/native/tools/velorund")
PHOTO = os.path.join(ROOT, "build/native/bench/velorund-bench-photo")
RUNS = 3
SIZES = [(2048, 2048), (6000, 4000)]
SERIES = [(1224, 816), (1732, 1155), (2449, 1633), (3464, 2309), (4243, 2828), (4899, 3266), (6000, 4000)]


def timed(command):
    """Wall seconds and peak resident kilobytes of one process, which must succeed."""
    start = time.perf_counter()
    process = subprocess.Popen(command, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    _, status, usage = os.wait4(process.pid, 0)
    seconds = time.perf_counter() - start
    if os.waitstatus_to_exitcode(status) != 0:
        sys.exit(f"failed: {' '.join(command)}: {process.stderr.read().decode()}")
    return seconds, usage.ru_maxrss


def measure(tool, photo, out, threads):
    """Median seconds and largest peak megabytes of RUNS runs; threads None for the tool's default."""
    command = [tool, "--quiet", "--force"] + (["--threads", str(threads)] if threads else []) + [photo, out]
    runs = [timed(command) for _ in range(RUNS)]
    return statistics.median(s for s, _ in runs), max(k for _, k in runs) / 1000.0


def knows_threads(tool):
    return "--threads" in subprocess.run([tool, "--help"], capture_output=True, text=True).stdout


def main():
    subprocess.run(["cmake", "--build", "--preset", "native", "--target", "velorund", "velorund-bench-photo"],
                   cwd=ROOT, check=True, stdout=subprocess.DEVNULL)
    tools = [TOOL] + sys.argv[1:]
    with tempfile.TemporaryDirectory() as work:
        def photo_of(width, height):
            path = os.path.join(work, f"photo-{width}x{height}.tif")
            if not os.path.exists(path):
                subprocess.run([PHOTO, os.path.join(ROOT, "examples/astronaut.png"), str(width), str(height), path],
                               check=True)
            return path

        out = os.path.join(work, "out.tif")
        print(f"Whole velorund processes, uncompressed 8-bit RGB TIFF, median of {RUNS} runs; "
              f"{os.cpu_count()} hardware threads.\n")
        print("| tool | image | threads | time | peak memory |")
        print("|---|---|---|---|---|")
        for tool in tools:
            for width, height in SIZES:
                photo = photo_of(width, height)
                for threads in ([None, 1] if knows_threads(tool) else [None]):
                    seconds, megabytes = measure(tool, photo, out, threads)
                    label = "all" if threads is None and knows_threads(tool) else str(threads or 1)
                    print(f"| {tool} | {width} x {height} | {label} | {seconds:.2f} s | {megabytes:.1f} MB |",
                          flush=True)

        print(f"\nCost against size, {TOOL}, every thread:\n")
        print("| image | megapixels | time | time per megapixel | peak memory |")
        print("|---|---|---|---|---|")
        for width, height in SERIES:
            seconds, megabytes = measure(TOOL, photo_of(width, height), out, None)
            megapixels = width * height / 1e6
            print(f"| {width} x {height} | {megapixels:.1f} | {seconds:.2f} s | {1000 * seconds / megapixels:.0f} ms | "
                  f"{megabytes:.1f} MB |", flush=True)


if __name__ == "__main__":
    main()
