#!/usr/bin/env python3
"""Turns the benchmark binary's JSON into the two reports tools/bench.sh writes: a Markdown
table and a plain JSON record of the figures.

    bench_report.py RAW.json OUT.json OUT.md
"""
import json
import sys


def time_ms(entry):
    scale = {"ns": 1e-6, "us": 1e-3, "ms": 1.0, "s": 1e3}[entry["time_unit"]]
    return entry["real_time"] * scale


def whole_runs(benchmarks):
    """The median of every whole run: run/WxH/FORMAT/threads:N/..."""
    runs = []
    for b in benchmarks:
        if not b["name"].startswith("run/") or b.get("aggregate_name") != "median":
            continue
        _, size, fmt, threads = b["run_name"].split("/")[:4]
        runs.append({
            "image": size,
            "format": fmt,
            "threads": threads.split(":")[1],
            "time_ms": round(time_ms(b), 1),
            "megapixels_per_s": round(b["Mpx/s"], 2),
            "peak_working_memory_mb": round(b["peak MB"], 1),
            "import_ms": round(b["import ms"], 1),
            "pyramid_ms": round(b["pyramid ms"], 1),
            "render_ms": round(b["render ms"], 1),
            "output_ms": round(b["output ms"], 1),
        })
    return runs


def micro(benchmarks):
    """Every other benchmark: its time per iteration and its rate counters."""
    rows = []
    for b in benchmarks:
        if b["name"].startswith("run/") or b.get("run_type") == "aggregate":
            continue
        known = {"real_time", "cpu_time", "iterations"}
        rates = {k: v for k, v in b.items() if isinstance(v, (int, float)) and k not in known
                 and not k.endswith("_index") and k not in ("repetitions", "repetition_index", "threads")}
        rows.append({"name": b["name"], "time_ns": round(time_ms(b) * 1e6, 1), "counters": rates})
    return rows


def rate_text(counters):
    parts = []
    for name, value in sorted(counters.items()):
        if name == "probes":
            parts.append(f"{value:g} probes")
        elif value >= 1e6:
            parts.append(f"{value / 1e6:.1f} M {name}/s")
        else:
            parts.append(f"{value / 1e3:.1f} k {name}/s")
    return ", ".join(parts)


def duration_text(ns):
    for unit, scale in (("ms", 1e6), ("us", 1e3)):
        if ns >= scale:
            return f"{ns / scale:.1f} {unit}"
    return f"{ns:.1f} ns"


def markdown(context, runs, rows):
    lines = [f"Benchmarks of {context['date']} on {context['num_cpus']} CPUs at {context['mhz_per_cpu']} MHz "
             f"(load average {', '.join(f'{x:.2f}' for x in context.get('load_avg', []))}).", ""]
    if runs:
        lines += ["Whole runs through the in-process host, median of three; time split as the host sees it.", "",
                  "| image | format | threads | time | Mpx/s | peak working memory | import | pyramid | render | output |",
                  "|---|---|---|---|---|---|---|---|---|---|"]
        for r in runs:
            lines.append(f"| {r['image']} | {r['format']} | {r['threads']} | {r['time_ms']:.0f} ms | "
                         f"{r['megapixels_per_s']:.2f} | {r['peak_working_memory_mb']:.1f} MB | {r['import_ms']:.0f} ms | "
                         f"{r['pyramid_ms']:.0f} ms | {r['render_ms']:.0f} ms | {r['output_ms']:.0f} ms |")
        lines.append("")
    if rows:
        lines += ["| microbenchmark | time | rate |", "|---|---|---|"]
        for r in rows:
            lines.append(f"| {r['name']} | {duration_text(r['time_ns'])} | {rate_text(r['counters'])} |")
        lines.append("")
    return "\n".join(lines)


def main():
    raw_path, json_path, md_path = sys.argv[1:4]
    with open(raw_path) as f:
        raw = json.load(f)
    context = raw["context"]
    runs, rows = whole_runs(raw["benchmarks"]), micro(raw["benchmarks"])
    record = {"date": context["date"], "cpus": context["num_cpus"], "mhz_per_cpu": context["mhz_per_cpu"],
              "whole_runs": runs, "microbenchmarks": rows}
    with open(json_path, "w") as f:
        json.dump(record, f, indent=1)
        f.write("\n")
    with open(md_path, "w") as f:
        f.write(markdown(context, runs, rows))
    print(f"wrote {md_path} and {json_path}")


if __name__ == "__main__":
    main()
