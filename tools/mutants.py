#!/usr/bin/env python3
"""Plants small faults one at a time and reports which the native tests catch.

Each fault of the list (tools/mutants.txt, its format described at its top) is planted in a
copy of the source tree under build/mutants/tree, never in the tree itself; the copy's native
build (build/mutants/tree/build/native) is brought up to date incrementally, the native tests
run with ctest, and the tests that failed are recorded. The GIMP test and the Debian package's
test are left out: they need targets the copy does not build (the plug-in, the package's files),
and they reach no code that the list plants faults in beyond what the tool's tests run. Before the
first fault the unchanged copy is built and must pass every test.

The result is a Markdown table: for each fault, caught or survived, and the tests that caught
it. A fault caught only by the pinned digests (tests that compare whole outputs with stored
hashes, which say that something changed but not what) is marked as such.

Usage: python3 tools/mutants.py [--only NAME,...] [--quick] [--table FILE] [--jobs N]
  --only NAME,...  plant only the named faults
  --quick          stop each test run at the first failure: caught or survived only (the
                   tests named as catching a fault are then not all that would)
  --table FILE     also write the table to FILE
  --compare FILE   show the results of a table written earlier (FILE may be a document that
                   holds it) beside today's, and fail when a fault caught then gets through now
  --list FILE      another list of faults (default tools/mutants.txt)
  --check          only check that every fault of the list still fits the code
"""

import argparse
import os
import subprocess
import sys
import time
from dataclasses import dataclass, field

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
COPY = os.path.join(ROOT, "build", "mutants", "tree")
BUILD = os.path.join(COPY, "build", "native")
TARGETS = ["velorund_tests", "velorund_cli_tests", "velorund"]
EXCLUDED_TESTS = "^(gimp_plugin|debian_package)$"
# Tests that compare whole runs with stored digests.
PINNED_DIGEST_TESTS = {
    "HostProfiles.EveryProfileGivesTheDefaultHostsBitsAndLeaksNothing",
    "TextureSampler.SameBitsOnEveryBuild",
}


@dataclass
class Mutation:
    name: str
    path: str
    description: str
    before: str
    after: str
    line: int  # of the heading in the list, for messages


@dataclass
class Outcome:
    result: str  # "caught", "survived" or "does not build"
    failed: list = field(default_factory=list)
    seconds_build: float = 0.0
    seconds_tests: float = 0.0


def parse_list(path):
    mutations, entry = [], None

    def finish():
        if entry:
            m, before, after = entry
            mutations.append(Mutation(m[0], m[1], m[2], "\n".join(before), "\n".join(after), m[3]))

    with open(path, encoding="utf-8") as f:
        for number, raw in enumerate(f, 1):
            line = raw.rstrip("\n")
            if line.startswith("#"):
                continue
            if not line.strip():
                finish()
                entry = None
            elif line.startswith("- ") and entry:
                entry[1].append(line[2:])
            elif (line.startswith("+ ") or line == "+") and entry:
                entry[2].append(line[2:])
            elif entry is None and line.count(" | ") == 2:
                name, file, description = (part.strip() for part in line.split(" | "))
                entry = ((name, file, description, number), [], [])
            else:
                sys.exit(f"{path}:{number}: cannot read this line: {line!r}")
    finish()
    names = [m.name for m in mutations]
    if len(set(names)) != len(names):
        sys.exit(f"{path}: a name is used twice")
    return mutations


def read(path):
    with open(path, encoding="utf-8") as f:
        return f.read()


def write(path, text):
    # A plain write: the new modification time makes the build take the change.
    with open(path, "w", encoding="utf-8") as f:
        f.write(text)


def refuse_stale(mutations):
    """Every fault's text must occur exactly once in its file, or the list no longer fits."""
    problems = []
    for m in mutations:
        path = os.path.join(ROOT, m.path)
        where = f"line {m.line}, {m.name}"
        if not m.before:
            problems.append(f"{where}: no text to replace")
        elif not os.path.exists(path):
            problems.append(f"{where}: {m.path} does not exist")
        else:
            count = read(path).count(m.before)
            if count != 1:
                problems.append(f"{where}: its text occurs {count} times in {m.path}")
    if problems:
        sys.exit("Refused, the list does not fit the code:\n  " + "\n  ".join(problems))


def sync_copy():
    """Brings the copy to the tree's files (tracked and new ones, as they are now)."""
    listed = subprocess.run(["git", "ls-files", "-z", "--cached", "--others", "--exclude-standard"],
                            cwd=ROOT, check=True, capture_output=True).stdout.decode().split("\0")
    for relative in filter(None, listed):
        source, target = os.path.join(ROOT, relative), os.path.join(COPY, relative)
        if not os.path.isfile(source):
            continue
        with open(source, "rb") as f:
            content = f.read()
        if os.path.exists(target):
            with open(target, "rb") as f:
                if f.read() == content:
                    continue
        os.makedirs(os.path.dirname(target), exist_ok=True)
        with open(target, "wb") as f:
            f.write(content)
        os.chmod(target, os.stat(source).st_mode)


def build(jobs):
    if not os.path.exists(os.path.join(BUILD, "CMakeCache.txt")):
        subprocess.run(["cmake", "--preset", "native"], cwd=COPY, check=True, stdout=subprocess.DEVNULL)
    done = subprocess.run(["cmake", "--build", BUILD, "-j", str(jobs), "--target", *TARGETS],
                          capture_output=True, text=True)
    return done.returncode == 0, done.stdout[-3000:] + done.stderr[-3000:]


def run_tests(jobs, quick, timeout):
    failed_log = os.path.join(BUILD, "Testing", "Temporary", "LastTestsFailed.log")
    if os.path.exists(failed_log):
        os.remove(failed_log)
    command = ["ctest", "--test-dir", BUILD, "-j", str(jobs), "-E", EXCLUDED_TESTS, "--timeout", str(timeout)]
    if quick:
        command.append("--stop-on-failure")
    subprocess.run(command, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    if not os.path.exists(failed_log):
        return []
    with open(failed_log, encoding="utf-8") as f:
        return sorted(line.strip().split(":", 1)[1] for line in f if ":" in line)


def verdict(outcome):
    if outcome.result != "caught":
        return outcome.result
    if set(outcome.failed) <= PINNED_DIGEST_TESTS:
        return "caught (pinned digests only)"
    return "caught"


def earlier_results(path):
    """The results of a table this script wrote earlier (also inside a longer document)."""
    results = {}
    with open(path, encoding="utf-8") as f:
        for line in f:
            cells = [cell.strip() for cell in line.strip().strip("|").split("|")]
            if line.startswith("| `") and len(cells) >= 5:
                results[cells[0].strip("`")] = cells[-2]
    return results


def table(mutations, outcomes, before=None):
    heading = "| fault | file | what goes wrong |" + (" before |" if before is not None else "") + " result | caught by |"
    rows = [heading, "|---" * heading.count(" |") + "|"]
    for m in mutations:
        o = outcomes.get(m.name)
        if not o:
            continue
        earlier = f" {before.get(m.name, 'not planted')} |" if before is not None else ""
        rows.append(f"| `{m.name}` | `{m.path}` | {m.description} |{earlier} {verdict(o)} | "
                    f"{', '.join(o.failed) if o.failed else '-'} |")
    done = [outcomes[m.name] for m in mutations if m.name in outcomes]
    caught = sum(o.result == "caught" for o in done)
    digests = sum(verdict(o) == "caught (pinned digests only)" for o in done)
    survived = sum(o.result == "survived" for o in done)
    rows.append("")
    rows.append(f"{len(done)} faults: {caught} caught ({digests} of them only by pinned digests), "
                f"{survived} survived, {len(done) - caught - survived} did not build.")
    return "\n".join(rows) + "\n"


def regressions(mutations, outcomes, before):
    """Faults caught before that get through now."""
    return [m.name for m in mutations if m.name in outcomes and before.get(m.name, "").startswith("caught")
            and outcomes[m.name].result != "caught"]


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--list", default=os.path.join(ROOT, "tools", "mutants.txt"))
    parser.add_argument("--only", default="")
    parser.add_argument("--quick", action="store_true")
    parser.add_argument("--check", action="store_true")
    parser.add_argument("--table")
    parser.add_argument("--compare")
    parser.add_argument("--jobs", type=int, default=2)
    parser.add_argument("--timeout", type=int, default=300, help="seconds a test may take")
    args = parser.parse_args()

    mutations = parse_list(args.list)
    if args.only:
        wanted = set(args.only.split(","))
        unknown = wanted - {m.name for m in mutations}
        if unknown:
            sys.exit("Not in the list: " + ", ".join(sorted(unknown)))
        mutations = [m for m in mutations if m.name in wanted]
    refuse_stale(mutations)
    if args.check:
        print(f"{len(mutations)} faults, each fits the code once")
        return

    started = time.time()
    sync_copy()
    ok, log = build(args.jobs)
    if not ok:
        sys.exit("The unchanged tree does not build:\n" + log)
    failed = run_tests(args.jobs, False, args.timeout)
    if failed:
        sys.exit("The unchanged tree fails tests: " + ", ".join(failed))
    print(f"unchanged tree built and passed in {time.time() - started:.0f} s", flush=True)

    # Faults in the same file follow one another, so each file is rebuilt as rarely as can be.
    # The originals are the copy's, as synchronised: the tree may change while this runs.
    paths = list(dict.fromkeys(m.path for m in mutations))
    order = sorted(mutations, key=lambda m: paths.index(m.path))
    originals = {path: read(os.path.join(COPY, path)) for path in paths}
    outcomes, planted = {}, None
    try:
        for m in order:
            if planted and planted != m.path:
                write(os.path.join(COPY, planted), originals[planted])
            write(os.path.join(COPY, m.path), originals[m.path].replace(m.before, m.after, 1))
            planted = m.path

            outcome = Outcome("survived")
            t0 = time.time()
            built, log = build(args.jobs)
            outcome.seconds_build = time.time() - t0
            if not built:
                outcome.result = "does not build"
                print(log, file=sys.stderr)
            else:
                t1 = time.time()
                outcome.failed = run_tests(args.jobs, args.quick, args.timeout)
                outcome.seconds_tests = time.time() - t1
                outcome.result = "caught" if outcome.failed else "survived"
            outcomes[m.name] = outcome
            print(f"{m.name}: {verdict(outcome)} (build {outcome.seconds_build:.0f} s, tests "
                  f"{outcome.seconds_tests:.0f} s) {' '.join(outcome.failed)}", flush=True)
    finally:
        if planted:
            write(os.path.join(COPY, planted), originals[planted])

    before = earlier_results(args.compare) if args.compare else None
    text = table(mutations, outcomes, before)
    print()
    print(text)
    print(f"{time.time() - started:.0f} s in all")
    if args.table:
        write(args.table, text)
    if before is not None:
        lost = regressions(mutations, outcomes, before)
        if lost:
            sys.exit("Caught before, not now: " + ", ".join(lost))


if __name__ == "__main__":
    main()
