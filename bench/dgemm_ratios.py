#!/usr/bin/env python3
"""Reads ztr_bench_dgemm's JSON output (--benchmark_format=json) on standard input and prints
a Markdown table: GFLOP/s of ZTR and of the peer for every shape, and their ratio."""
import json
import re
import sys

rows = {}
for b in json.load(sys.stdin)["benchmarks"]:
    m = re.match(r"(ztr|peer)/m:(\d+)/n:(\d+)/k:(\d+)/threads:(\d+)", b["name"])
    if not m or "GFLOPs" not in b or b.get("run_type") == "aggregate":
        continue
    key = tuple(int(x) for x in m.groups()[1:])
    # Best of the repetitions: on a shared machine the slow ones measure the neighbours.
    best = rows.setdefault(key, {})
    best[m.group(1)] = max(best.get(m.group(1), 0.0), b["GFLOPs"])

print("| m | n | k | threads | ZTR GFLOP/s | peer GFLOP/s | ratio |")
print("|---:|---:|---:|---:|---:|---:|---:|")
for (m, n, k, t), v in rows.items():
    z, p = v.get("ztr"), v.get("peer")
    ratio = f"{z / p:.2f}" if z and p else "-"
    zs = f"{z:.1f}" if z else "-"
    ps = f"{p:.1f}" if p else "-"
    print(f"| {m} | {n} | {k} | {t} | {zs} | {ps} | {ratio} |")
