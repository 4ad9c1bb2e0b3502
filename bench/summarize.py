#!/usr/bin/env python3
"""Summarises a ztr_bench JSON run into the tables of docs/PERFORMANCE.md.

The machines these benchmarks run on are often shared, and interference only ever adds time,
so each benchmark is reported by its fastest repetition; rates are the bytes one call reads
divided by that time.  Ratios are taken between rows of the same run.

  ztr_bench --benchmark_repetitions=10 --benchmark_enable_random_interleaving=true \\
            --benchmark_min_time=0.05 --benchmark_format=json > run.json
  bench/summarize.py run.json
"""
import json
import sys
from collections import defaultdict

UNIT = {"ns": 1e-9, "us": 1e-6, "ms": 1e-3, "s": 1.0}


def load(path):
    best = {}
    for b in json.load(open(path))["benchmarks"]:
        if b.get("run_type") != "iteration":
            continue
        seconds = b["real_time"] * UNIT[b["time_unit"]]
        nbytes = b.get("bytes_per_second", 0) * seconds
        name = b["run_name"].removesuffix("/real_time")
        if name not in best or seconds < best[name][0]:
            best[name] = (seconds, nbytes)
    return best


def ratio(r, a, b):
    return r[a] / r[b] if a in r and b in r else float("nan")


def ddot_table(best, group="ddot"):
    rates = defaultdict(dict)
    for name, (seconds, nbytes) in best.items():
        parts = name.split("/")
        if parts[0] == group:
            rates[int(parts[2])][parts[1]] = nbytes / seconds / 1e9
    if not rates:
        return
    impls = sorted({i for r in rates.values() for i in r})
    print()
    print(f"{group}, GB/s")
    print("| n | " + " | ".join(impls) + " | t7 / peer 1 thread | cblas_ddot / peer 2 threads |")
    print("|---" * (len(impls) + 3) + "|")
    for n in sorted(rates):
        r = rates[n]
        cells = " | ".join(f"{r.get(i, float('nan')):.1f}" for i in impls)
        print(f"| {n:.0e} | {cells} | {ratio(r, 'ztr_t7', 'peer_1thread'):.2f} "
              f"| {ratio(r, 'ztr_cblas_ddot', 'peer_2threads'):.2f} |")


def csr_table(best):
    times = defaultdict(dict)
    for name, (seconds, _) in best.items():
        parts = name.split("/")
        if parts[0] == "csrsymv":
            times[(parts[2], parts[3])][parts[1]] = seconds * 1e3
    if not times:
        return
    print()
    print("| matrix | threads | ztr_cspblas_dcsrsymv (ms) | plain full CSR loop (ms) | speed-up over the plain loop |")
    print("|---|---|---|---|---|")
    for (matrix, threads), t in sorted(times.items()):
        print(f"| {matrix} | {threads.split(':')[1]} | {t['ztr_lower']:.2f} | {t['plain_full']:.2f} "
              f"| {t['plain_full'] / t['ztr_lower']:.2f} |")


if __name__ == "__main__":
    best = load(sys.argv[1])
    ddot_table(best)
    ddot_table(best, "ddot_inc2")
    csr_table(best)
