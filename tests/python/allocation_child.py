"""Run in a child process whose library takes its memory from the test allocator
(libztr_alloc.so on LD_LIBRARY_PATH, the buffer pool off): every scenario named on the
command line must leave the library's count of live blocks where it found it.  Prints one
line per scenario, "<name> ok" or "<name> LEAK <blocks>", and "requests <n>" for the
sweeps' benefit."""

import ctypes
import gc
import sys
import warnings

import numpy as np
import scipy.sparse as sp

import ztr

alloc = ctypes.CDLL("libztr_alloc.so")
alloc.ztr_testalloc_live.restype = ctypes.c_long
alloc.ztr_testalloc_requests.restype = ctypes.c_long
alloc.ztr_testalloc_failures.restype = ctypes.c_long
alloc.ztr_testalloc_fail_nth.argtypes = [ctypes.c_long, ctypes.c_int]


def laplacian(k):
    one = sp.diags([-1.0, 2.0, -1.0], [-1, 0, 1], shape=(k, k))
    eye = sp.identity(k)
    return sp.csr_matrix(sp.kron(one, eye) + sp.kron(eye, one))


L = laplacian(6)
N = L.shape[0]
B = np.ones(N)
U = sp.csr_matrix(L + sp.diags([0.3], [1], shape=L.shape) - sp.diags([0.3], [-2], shape=L.shape))
INDEF = sp.csr_matrix(L - 1.5 * sp.identity(N))


def with_block():
    with ztr.Solver(L) as s:
        s.solve(B)
        s.solve(np.ones((N, 3)))


def garbage_collected():
    s = ztr.Solver(U)
    s.solve(B, transpose=True)  # a second handle
    del s
    gc.collect()


def factorized():
    f = ztr.factorized(U)
    f(B)
    del f
    gc.collect()


def release_is_immediate():
    # close() and the end of a with block release at once, not when the object dies.
    start = alloc.ztr_testalloc_live()
    s = ztr.Solver(U)
    s.solve(B, transpose=True)
    assert alloc.ztr_testalloc_live() > start
    s.close()
    assert alloc.ztr_testalloc_live() == start, "close() kept memory"
    with ztr.Solver(L) as t:
        t.solve(B)
    assert alloc.ztr_testalloc_live() == start, "the with block kept memory"
    assert s.closed and t.closed


def closed_twice():
    s = ztr.Solver(L)
    s.close()
    s.close()
    try:
        s.solve(B)
    except ValueError:
        pass


def failed_factorization():
    try:
        ztr.Solver(INDEF, mtype=2)
    except ztr.NotPositiveDefiniteError:
        return
    raise AssertionError("no error")


def fallback():
    with ztr.Solver(INDEF) as s:
        assert s.mtype == -2
        s.solve(B)


def refactor():
    with ztr.Solver(U) as s:
        s.solve(B, transpose=True)
        U2 = U.copy()
        U2.data *= 2
        s.refactor(U2)
        s.solve(B)
        s.refactor(U)


def refactor_to_indefinite():
    with ztr.Solver(L) as s:
        s.refactor(INDEF)
        assert s.mtype == -2


def diagonal():
    with ztr.Solver(sp.diags([[1.0, -2.0, 3.0]], [0], format="csr")) as s:
        s.solve(np.ones(3))
        s.refactor(sp.diags([[2.0, -2.0, 3.0]], [0], format="csr"))


HERM = sp.csr_matrix(INDEF + sp.diags([0.5j], [1], shape=L.shape) -
                     sp.diags([0.5j], [-1], shape=L.shape))
UC = sp.csr_matrix(U * (1 - 0.5j) + sp.diags([0.2j], [3], shape=L.shape))


def complex_solves():
    # Hermitian tried as positive definite, then indefinite; complex unsymmetric with its
    # transposed and conjugate-transposed handles; single precision.
    with ztr.Solver(HERM) as s:
        assert s.mtype == -4
        s.solve(B * 1j)
    s = ztr.Solver(UC)
    s.solve(B, transpose="T")
    s.solve(np.ones((N, 2)), transpose="H")
    s.refactor(UC * 2)
    del s
    gc.collect()
    ztr.spsolve(UC.astype(np.complex64), B.astype(np.complex64))


def singular():
    with warnings.catch_warnings():
        warnings.simplefilter("ignore")
        try:  # perturbed pivots: a warning, or an error where the solver refuses the result
            ztr.spsolve(sp.csr_matrix(np.array([[1.0, 2.0], [1.0, 2.0]])), np.array([1.0, 2.0]))
        except ztr.FactorizationError:
            pass
    try:
        ztr.spsolve(sp.csr_matrix(np.array([[1.0, 2, 0], [0, 0, 0], [3, 0, 1]])), np.ones(3))
    except ztr.FactorizationError:
        return
    raise AssertionError("no error")


def dense():
    a = np.random.default_rng(0).standard_normal((30, 30))
    s = a + a.T + 60 * np.eye(30)
    ztr.inv(a)
    ztr.qr(a)
    ztr.lu_factor(a)
    ztr.cholesky_pivoted(s)
    ztr.eigh(s)
    ztr.eigh(s, method="mrrr", subset_by_index=(2, 5))
    ztr.eigh(a + a.T, s)
    ztr.eigh(a + a.T, s, method="qr")


SCENARIOS = {f.__name__: f for f in (with_block, garbage_collected, factorized,
                                     release_is_immediate, closed_twice,
                                     failed_factorization, fallback, refactor,
                                     refactor_to_indefinite, diagonal, complex_solves,
                                     singular, dense)}


def sweep(name):
    """Fails each allocation of one scenario in turn: every run must end in success with a
    right answer or in one of the package's exceptions, and leak nothing."""
    run = SWEEPS[name]
    run()  # warm up the one-time state
    start = alloc.ztr_testalloc_live()
    r0 = alloc.ztr_testalloc_requests()
    run()
    total = alloc.ztr_testalloc_requests() - r0
    kinds = set()
    for k in range(1, total + 1):
        alloc.ztr_testalloc_fail_nth(k, 0)
        try:
            run()
            kinds.add("ok")
        except ztr.ZtrError as e:
            kinds.add(type(e).__name__)
        finally:
            alloc.ztr_testalloc_reset()
        gc.collect()
        live = alloc.ztr_testalloc_live()
        if live != start:
            print(f"sweep {name} LEAK {live - start} at {k}")
            return
    print(f"sweep {name} ok {total} {' '.join(sorted(kinds))}")


def sweep_solver():
    with ztr.Solver(U) as s:
        x = s.solve(B)
    assert np.linalg.norm(U @ x - B) <= 1e-10 * np.linalg.norm(B)


def sweep_indefinite():
    with ztr.Solver(INDEF) as s:
        x = s.solve(B)
    assert np.linalg.norm(INDEF @ x - B) <= 1e-10 * np.linalg.norm(B)


def sweep_dense():
    a = np.random.default_rng(1).standard_normal((20, 20)) + 20 * np.eye(20)
    x = ztr.inv(a)
    assert np.linalg.norm(a @ x - np.eye(20)) <= 1e-10
    w = ztr.eigh(a + a.T, eigvals_only=True)
    assert np.all(np.diff(w) >= 0)


def sweep_complex():
    with ztr.Solver(HERM) as s:
        x = s.solve(B * 1j)
    assert np.linalg.norm(HERM @ x - B * 1j) <= 1e-10 * np.linalg.norm(B)


SWEEPS = {"solver": sweep_solver, "indefinite": sweep_indefinite, "complex": sweep_complex,
          "dense": sweep_dense}


def main(names):
    r0 = alloc.ztr_testalloc_requests()
    for f in SCENARIOS.values():  # the one-time state of every path, made before counting
        f()
    gc.collect()
    print(f"requests {alloc.ztr_testalloc_requests() - r0}")
    for name in names:
        if name.startswith("sweep:"):
            sweep(name[len("sweep:"):])
            continue
        start = alloc.ztr_testalloc_live()
        for _ in range(2):
            SCENARIOS[name]()
        gc.collect()
        live = alloc.ztr_testalloc_live()
        print(f"{name} ok" if live == start else f"{name} LEAK {live - start}")


if __name__ == "__main__":
    main(sys.argv[1:])
