#!/usr/bin/env python3
"""Reads ztr_bench_dgemm's JSON output (--benchmark_format=json) on standard input and prints
a Markdown table: GFLOP/s of ZTR and of the peer for every shape, and their ratio."""
import json
import re
import sys

print("| m | n | k | threads | ZTR GFLOP/s | peer GFLOP/s | ratio |")
print("|---:|---:|---:|---:|---:|---:|---:|")
for b in json.load(sys.stdin)["benchmarks"]:
    m = re.match(r"dgemm/m:(\d+)/n:(\d+)/k:(\d+)/threads:(\d+)", b["name"])
    if not m or "ztr_GFLOPs" not in b:
        continue
    peer = f'{b["peer_GFLOPs"]:.1f}' if "peer_GFLOPs" in b else "-"
    ratio = f'{b["ratio"]:.2f}' if "ratio" in b else "-"
    print(f"| {' | '.join(m.groups())} | {b['ztr_GFLOPs']:.1f} | {peer} | {ratio} |")
