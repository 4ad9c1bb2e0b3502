"""Shared pieces of the Python package's tests: where the package, the library and the test
matrices are, and the generated matrices the tests solve."""

import os
import subprocess
import sys
from pathlib import Path

import numpy as np
import pytest
import scipy.io
import scipy.sparse as sp

REPO = Path(__file__).resolve().parents[2]
# Run by hand from a clean clone: the package from the tree, the x86_64 build's library.
sys.path.insert(0, str(REPO / "python"))
if "ZTR_LIBRARY" not in os.environ and (REPO / "build/x86_64/libztr.so").exists():
    os.environ["ZTR_LIBRARY"] = str(REPO / "build/x86_64/libztr.so")

EPS = np.finfo(np.float64).eps
EPS32 = np.finfo(np.float32).eps


def testdata_dir():
    """The shared test matrices: ZTR_TESTDATA, else ../shared/testdata beside the repository
    (or beside the folder of worktrees it sits in); None when absent."""
    candidates = [os.environ.get("ZTR_TESTDATA")]
    candidates += [str(p / "shared" / "testdata") for p in REPO.parents[:2]]
    for c in candidates:
        if c and Path(c, "README.md").is_file():
            return Path(c)
    return None


def read_testdata(name):
    d = testdata_dir()
    if d is None or not (d / name).is_file():
        pytest.skip(f"{name}: the shared test matrices are not here")
    return sp.csr_matrix(scipy.io.mmread(str(d / name)))


def laplacian(k, dims=3):
    """The 5- or 7-point Laplacian on a k^dims grid (SPD, order k^dims)."""
    one = sp.diags([-1.0, 2.0, -1.0], [-1, 0, 1], shape=(k, k))
    eye = sp.identity(k)
    A = one
    for _ in range(dims - 1):
        A = sp.kron(A, eye) + sp.kron(sp.identity(A.shape[0]), one)
    return sp.csr_matrix(A)


def convection(k, wind=0.4):
    """An unsymmetric 2-D convection-diffusion matrix of order k^2 (non-singular)."""
    one = sp.diags([-1.0 - wind, 2.0, -1.0 + wind], [-1, 0, 1], shape=(k, k))
    eye = sp.identity(k)
    return sp.csr_matrix(sp.kron(one, eye) + sp.kron(eye, one))


def random_symmetric(n, seed, shift=0.0, density=0.15):
    """A random sparse symmetric matrix with a full diagonal, minus shift on the diagonal;
    its eigenvalues are kept away from zero so that their signs are certain."""
    rng = np.random.default_rng(seed)
    R = sp.random(n, n, density=density, random_state=rng, format="csr")
    S = (R + R.T) * 0.5 + sp.diags(rng.uniform(0.5, 2.0, n))
    S = sp.csr_matrix(S - shift * sp.identity(n))
    w = np.linalg.eigvalsh(S.toarray())
    # Nudge the shift until no eigenvalue lies within 1e-3 of zero.
    while np.min(np.abs(w)) < 1e-3:
        S = sp.csr_matrix(S + 0.01 * sp.identity(n))
        w = np.linalg.eigvalsh(S.toarray())
    return S, w


def relative_residual(A, x, b):
    """||b - A x|| / (||A|| ||x|| + ||b||) in the infinity norms (normwise backward error)."""
    import ztr.solver
    return float(np.max(ztr.solver.backward_error(A, np.asarray(b), np.asarray(x))))


def run_child(code, extra_env=None, timeout=120):
    """Runs a Python snippet in a fresh interpreter with the package on its path (behaviour
    fixed once per process, and the test allocator, are tested in child processes)."""
    env = dict(os.environ)
    env["PYTHONPATH"] = os.pathsep.join([str(REPO / "python"), env.get("PYTHONPATH", "")])
    env["PYTHONDONTWRITEBYTECODE"] = "1"
    env.update(extra_env or {})
    r = subprocess.run([sys.executable, "-c", code], env=env, capture_output=True, text=True,
                       timeout=timeout)
    return r


@pytest.fixture(scope="session")
def ztr():
    import ztr as module
    try:
        module.library_path()
    except module.LibraryNotFoundError as e:
        pytest.skip(f"libztr.so not found: {e}")
    return module
