#!/usr/bin/python3
"""ztr.spsolve against scipy's SuperLU (scipy.sparse.linalg.spsolve, and splu with the
minimum-degree ordering on A'+A) in one process, side by side, and the package's overhead per
Solver.solve call on a small system.

    ZTR_LIBRARY=build/x86_64/libztr.so PYTHONPATH=python /usr/bin/python3 \\
        bench/python_spsolve.py [--repeat N] [--grids 30,50] [--testdata DIR] [--splu-max-n N]

Each case is timed in rounds that alternate the solvers, so that the machine's load falls on
all of them alike; the tables give medians and the ratio peer / ztr (above 1: ztr faster).
Times include everything a caller of spsolve waits for (conversion, analysis, factorization,
solve).  The residual column is ||b - A x||_inf / (||A||_inf ||x||_inf + ||b||_inf).
"""

import argparse
import ctypes
import os
import statistics
import sys
import time
from pathlib import Path

import numpy as np
import scipy.io
import scipy.sparse as sp
import scipy.sparse.linalg as sla

sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "python"))
import ztr  # noqa: E402
from ztr.solver import backward_error  # noqa: E402

TESTDATA = ["bcsstk13.mtx", "bcsstk16.mtx", "cryg2500.mtx", "watt_2.mtx", "olm1000.mtx",
            "rajat01.mtx", "impcol_a.mtx", "LFAT5.mtx"]
OVERHEAD_GRID = 10  # the small system of the overhead measurement: a 10 x 10 grid, n = 100
OVERHEAD_CALLS = 2000
OVERHEAD_HANDLES = 6


def laplacian3d(k):
    """The 7-point Laplacian on a k^3 grid."""
    t = sp.diags([-1.0, 2.0, -1.0], [-1, 0, 1], shape=(k, k))
    eye = sp.identity(k)
    a = sp.kron(t, sp.kron(eye, eye)) + sp.kron(eye, sp.kron(t, eye)) + sp.kron(eye,
                                                                              sp.kron(eye, t))
    return sp.csr_matrix(a)


def solvers(n, splu_max_n):
    s = {
        "ztr.spsolve": lambda A, b: ztr.spsolve(A, b),
        "scipy spsolve": lambda A, b: sla.spsolve(A.tocsc(), b),
    }
    if n <= splu_max_n:
        s["scipy splu mmd(A'+A)"] = (
            lambda A, b: sla.splu(A.tocsc(), permc_spec="MMD_AT_PLUS_A").solve(b))
    return s


def time_case(A, repeat, splu_max_n):
    b = A @ np.ones(A.shape[0])
    runs = solvers(A.shape[0], splu_max_n)
    times = {k: [] for k in runs}
    err = {}
    for _ in range(repeat):
        for name, f in runs.items():
            t = time.perf_counter()
            x = f(A, b)
            times[name].append(time.perf_counter() - t)
            err[name] = float(np.max(backward_error(A, b, x)))
            print(f"  ({name}: {times[name][-1]:.3f} s)", file=sys.stderr, flush=True)
    return {k: statistics.median(v) for k, v in times.items()}, err


def overhead():
    """Per-call times on OVERHEAD_HANDLES solvers of one small system: Solver.solve; the same
    solve through a bare ctypes call of KORVINE with every address prepared (the solver's own
    buffers, so that the library's work is the same); a bare 16-argument ctypes call of a
    trivial C function.  Medians of interleaved rounds, per handle, in the calling thread's
    processor time: on a loaded machine wall-clock rounds include the times the process was
    descheduled, which dwarf a few microseconds."""
    k = OVERHEAD_GRID
    t1 = sp.diags([-1.0, 2.0, -1.0], [-1, 0, 1], shape=(k, k))
    A = sp.csr_matrix(sp.kron(t1, sp.identity(k)) + sp.kron(sp.identity(k), t1))
    b = np.ones(A.shape[0])
    lib = ztr._library.library()
    nop = ctypes.CDLL(None).labs  # extra arguments of a C call are harmless on this ABI
    nop.argtypes = [ctypes.c_void_p] * 16
    nop.restype = ctypes.c_long
    per_handle = []
    for _ in range(OVERHEAD_HANDLES):
        s = ztr.Solver(A)
        h = s._h
        ad, ints = h.addr, h.ints
        h.vb[:] = b
        args = (ad[8], ad[0], ad[1], ad[2], ad[3], ad[4], ad[9], ad[10], ad[11], ad[12], ad[5],
                ad[13], ad[6], ad[14], ad[15], ad[7])

        def raw():
            ints[3], ints[5], ints[6] = 33, 1, 0
            lib.KORVINE(*args)

        def bare():
            nop(*args)

        rounds = {"Solver.solve": [], "ctypes KORVINE": [], "ctypes trivial": []}
        calls = OVERHEAD_CALLS // 10
        for _ in range(10):
            for name, f in (("Solver.solve", lambda: s.solve(b)), ("ctypes KORVINE", raw),
                            ("ctypes trivial", bare)):
                t = time.thread_time()
                for _ in range(calls):
                    f()
                rounds[name].append((time.thread_time() - t) / calls * 1e6)
        s.close()
        per_handle.append({k: statistics.median(v) for k, v in rounds.items()})
    return per_handle


def main():
    p = argparse.ArgumentParser()
    p.add_argument("--repeat", type=int, default=3)
    p.add_argument("--grids", default="30,50")
    p.add_argument("--testdata", default=str(Path(__file__).resolve().parents[2] / "shared" /
                                             "testdata"))
    p.add_argument("--splu-max-n", type=int, default=30000,
                   help="the splu peer only up to this order (its ordering is slow in 3-D)")
    a = p.parse_args()
    print(f"load average before: {os.getloadavg()[0]:.2f}; library {ztr.library_path()}; "
          f"threads {ztr.get_max_threads()}")
    cases = [(f"7-point {k}^3", lambda k=int(k): laplacian3d(k)) for k in a.grids.split(",") if k]
    td = Path(a.testdata)
    for name in TESTDATA:
        if (td / name).is_file():
            cases.append((name, lambda f=td / name: sp.csr_matrix(scipy.io.mmread(str(f)))))
    print("\n| matrix | n | ztr s | scipy spsolve s | splu mmd s | spsolve/ztr | splu/ztr | "
          "backward error ztr, spsolve |")
    print("|---|---|---|---|---|---|---|---|")
    for name, make in cases:
        A = make()
        t, e = time_case(A, a.repeat, a.splu_max_n)
        z = t["ztr.spsolve"]
        sps = t.get("scipy spsolve")
        spl = t.get("scipy splu mmd(A'+A)")

        def f(v):
            return "-" if v is None else f"{v:.3f}"

        def r(v):
            return "-" if v is None else f"{v / z:.1f}"

        es = e.get("scipy spsolve")
        print(f"| {name} | {A.shape[0]} | {z:.3f} | {f(sps)} | {f(spl)} | {r(sps)} | {r(spl)} | "
              f"{e['ztr.spsolve']:.1e}, {'-' if es is None else f'{es:.1e}'} |", flush=True)
    per_handle = overhead()
    print(f"\nper call on {OVERHEAD_HANDLES} solvers of n = {OVERHEAD_GRID ** 2} (microseconds of "
          "the thread's processor time, medians of 10 interleaved rounds each):")
    print("| solver | Solver.solve | bare KORVINE call | package overhead | with the ctypes "
          "call |")
    print("|---|---|---|---|---|")
    for i, o in enumerate(per_handle):
        over = o["Solver.solve"] - o["ctypes KORVINE"]
        print(f"| {i} | {o['Solver.solve']:.1f} | {o['ctypes KORVINE']:.1f} | {over:.1f} | "
              f"{over + o['ctypes trivial']:.1f} |")
    print(f"load average after: {os.getloadavg()[0]:.2f}")


if __name__ == "__main__":
    main()
