#!/usr/bin/python3
"""Solving sparse systems from Python with the ztr package.

Run with the package on the path and the library findable, e.g. from a build tree:
    ZTR_LIBRARY=build/x86_64/libztr.so PYTHONPATH=python /usr/bin/python3 examples/python/solve.py
"""

import numpy as np
import scipy.sparse as sp

import ztr


def poisson(k):
    """The 5-point Laplacian on a k x k grid: symmetric positive definite, order k*k."""
    t = sp.diags([-1.0, 2.0, -1.0], [-1, 0, 1], shape=(k, k))
    eye = sp.identity(k)
    return sp.csr_matrix(sp.kron(t, eye) + sp.kron(eye, t))


def residual(A, x, b):
    return np.linalg.norm(A @ x - b) / np.linalg.norm(b)


A = poisson(30)
n = A.shape[0]
b = np.ones(n)

# One call, as with scipy.sparse.linalg.spsolve; the matrix type is chosen from A.
x = ztr.spsolve(A, b)
print(f"spsolve: n = {n}, residual below 1e-12: {residual(A, x, b) < 1e-12}")

# A Solver keeps the factorization: several right-hand sides, a transposed solve, a new
# matrix of the same pattern (phase 22 only), and the statistics of the factors.
with ztr.Solver(A) as s:
    B = np.random.default_rng(0).standard_normal((n, 3))
    X = s.solve(B)
    print(f"Solver: type {s.mtype}, three right-hand sides solved: {residual(A, X, B) < 1e-12}")
    A2 = A.copy()
    A2.data *= 2.0
    s.refactor(A2)
    print(f"refactor: solution halved: {np.allclose(s.solve(b), x / 2)}")
    print(f"factor non-zeros above A's triangle: {s.nnz_factors > (A.nnz + n) // 2}")

# A symmetric indefinite matrix: tried as positive definite, factored as indefinite, and the
# inertia (the signs of its eigenvalues) comes with the factorization.
shifted = sp.csr_matrix(poisson(6) - 1.0 * sp.identity(36))
with ztr.Solver(shifted) as s:
    w = np.linalg.eigvalsh(shifted.toarray())
    print(f"indefinite: type {s.mtype}, inertia {tuple(s.inertia)}, "
          f"eigenvalue signs {(int(np.sum(w > 0)), int(np.sum(w < 0)), 0)}")

# Failures are exceptions carrying the solver's code and its own text.
try:
    ztr.Solver(shifted, mtype="pos")
except ztr.NotPositiveDefiniteError as e:
    print(f"as positive definite: error {e.error}, error_num {e.error_num}: "
          f"{e.text.splitlines()[-1]}")

# Dense helpers on numpy arrays.
d = poisson(4).toarray()
w, v = ztr.eigh(d, subset_by_index=(0, 2), method="mrrr")
print(f"three smallest eigenvalues: {np.round(w, 6)}")
