"""Dense helpers over the library's LAPACKE drivers, shaped like their scipy.linalg namesakes.

Every input is checked (shape, numeric real dtype, finite values) and copied into a
column-major float64 array that the library works on, so the caller's arrays are never
changed and may have any layout.  A failure becomes an exception carrying the driver's code.
"""

import warnings

import numpy as np

from ._errors import LapackArgumentError, LapackError, LapackMemoryError, LinAlgError
from ._library import library

COL_MAJOR = 102
# LAPACKE's codes for failed workspace and transposed-copy allocations.
WORK_MEMORY = -1010
COPY_MEMORY = -1011
INT_MAX = np.iinfo(np.int32).max
# dsyevr's tolerance: 0 asks for its own default.
DEFAULT_ABSTOL = 0.0


class LinAlgWarning(RuntimeWarning):
    """A result that is valid but of limited use (an exactly singular LU factor)."""


def _matrix(a, name, square=False, check_finite=True):
    """a as a fresh column-major float64 copy, after the checks."""
    a = np.asarray(a)
    if a.ndim != 2:
        raise ValueError(f"{name} must be a 2-D array, got {a.ndim} dimension(s)")
    if a.dtype.kind == "c":
        raise TypeError(f"{name} is complex; the dense helpers handle real matrices only")
    if a.dtype.kind not in "biuf":
        raise TypeError(f"{name} has dtype {a.dtype}, not a real numeric type")
    if square and a.shape[0] != a.shape[1]:
        raise ValueError(f"{name} must be square, has shape {a.shape}")
    if max(a.shape, default=0) > INT_MAX or a.size > INT_MAX:
        raise ValueError(f"{name} of shape {a.shape} is too large for 32-bit indices")
    out = np.array(a, dtype=np.float64, order="F", copy=True)
    if check_finite and not np.all(np.isfinite(out)):
        raise ValueError(f"{name} must not contain infs or NaNs")
    return out


def _check(routine, info, positive_what=None):
    """Raises for a non-zero info (positive_what(info) words a positive code)."""
    if info == 0:
        return
    if info in (WORK_MEMORY, COPY_MEMORY):
        raise LapackMemoryError(routine, info, "not enough memory for the workspace")
    if info < 0:
        raise LapackArgumentError(routine, info, f"argument {-info} is invalid")
    raise LinAlgError(routine, info, positive_what(info) if positive_what else "failed")


def _uplo(lower):
    return b"L" if lower else b"U"


def lu_factor(a, check_finite=True):
    """LU factorization with partial pivoting, as scipy.linalg.lu_factor: (lu, piv) with L
    (unit diagonal) below and U on and above the diagonal of lu; row i was interchanged with
    row piv[i] (zero-based).  An exactly singular U gives a LinAlgWarning, as in scipy."""
    lu = _matrix(a, "a", check_finite=check_finite)
    m, n = lu.shape
    piv = np.zeros(min(m, n), dtype=np.int32)
    if lu.size == 0:
        return lu, piv
    info = library().LAPACKE_dgetrf(COL_MAJOR, m, n, lu.ctypes.data, max(1, m), piv.ctypes.data)
    if info > 0:
        warnings.warn(f"Diagonal number {info} is exactly zero. Singular matrix.",
                      LinAlgWarning, stacklevel=2)
    else:
        _check("LAPACKE_dgetrf", info)
    return lu, piv - 1


def inv(a, check_finite=True):
    """The inverse of the square matrix a; LinAlgError for a singular one."""
    x = _matrix(a, "a", square=True, check_finite=check_finite)
    n = x.shape[0]
    if n == 0:
        return x
    lib = library()
    piv = np.zeros(n, dtype=np.int32)

    def singular(i):
        return f"singular matrix: U({i},{i}) is exactly zero"

    _check("LAPACKE_dgetrf",
           lib.LAPACKE_dgetrf(COL_MAJOR, n, n, x.ctypes.data, n, piv.ctypes.data), singular)
    _check("LAPACKE_dgetri", lib.LAPACKE_dgetri(COL_MAJOR, n, x.ctypes.data, n, piv.ctypes.data),
           singular)
    return x


def qr(a, mode="full", check_finite=True):
    """QR factorization, as scipy.linalg.qr without pivoting: mode 'full' gives (Q, R) with
    Q m x m; 'economic' (Q, R) with Q m x k, R k x n, k = min(m, n); 'r' gives (R,) with R
    m x n, as 'full' does."""
    if mode not in ("full", "economic", "r"):
        raise ValueError(f"mode must be 'full', 'economic' or 'r', not {mode!r}")
    f = _matrix(a, "a", check_finite=check_finite)
    m, n = f.shape
    k = min(m, n)
    tau = np.zeros(max(1, k))
    lib = library()
    if f.size:
        _check("LAPACKE_dgeqrf",
               lib.LAPACKE_dgeqrf(COL_MAJOR, m, n, f.ctypes.data, max(1, m), tau.ctypes.data))
    rows = k if mode == "economic" else m
    R = np.triu(f[:rows, :])
    if mode == "r":
        return (R,)
    cols = m if mode == "full" else k
    Q = np.zeros((m, cols), order="F")
    Q[:, :k] = f[:, :k]
    if m and cols:
        _check("LAPACKE_dorgqr",
               lib.LAPACKE_dorgqr(COL_MAJOR, m, cols, k, Q.ctypes.data, max(1, m),
                                  tau.ctypes.data))
    return Q, R


def cholesky_pivoted(a, lower=False, tol=-1.0, check_finite=True):
    """Cholesky factorization with complete pivoting of the symmetric positive semidefinite
    a, of which only the lower (lower=True) or upper triangle is read: (c, piv, rank) with
    a[piv][:, piv] = c.T @ c (upper) or c @ c.T (lower); c is triangular and zero beyond the
    first rank rows (upper) or columns (lower).  The factorization stops when the largest
    remaining diagonal entry falls to tol (negative: n * eps * max(diag(a)))."""
    c = _matrix(a, "a", square=True, check_finite=check_finite)
    tol = float(tol)
    if not np.isfinite(tol):
        raise ValueError("tol must be finite")
    n = c.shape[0]
    piv = np.zeros(n, dtype=np.int32)
    rank = np.zeros(1, dtype=np.int32)
    if n == 0:
        return c, piv, 0
    info = library().LAPACKE_dpstrf(COL_MAJOR, _uplo(lower), n, c.ctypes.data, n,
                                    piv.ctypes.data, rank.ctypes.data, tol)
    if info != 1:  # 1 only says the rank is below n
        _check("LAPACKE_dpstrf", info)
    r = int(rank[0])
    c = np.tril(c) if lower else np.triu(c)
    c[r:, r:] = 0.0
    return c, piv - 1, r


def _select(w, v, subset_by_index, subset_by_value):
    """The eigenpairs the subset asks for, from a full set."""
    if subset_by_index is not None:
        lo, hi = subset_by_index
        keep = slice(lo, hi + 1)
    elif subset_by_value is not None:
        lo, hi = subset_by_value
        keep = (w > lo) & (w <= hi)
    else:
        return w, v
    return w[keep], (None if v is None else v[:, keep])


def _check_subsets(n, subset_by_index, subset_by_value):
    if subset_by_index is not None and subset_by_value is not None:
        raise ValueError("give subset_by_index or subset_by_value, not both")
    if subset_by_index is not None:
        lo, hi = (int(i) for i in subset_by_index)
        if not 0 <= lo <= hi < n:
            raise ValueError(f"subset_by_index must satisfy 0 <= lo <= hi < {n}, "
                             f"got {subset_by_index}")
        return (lo, hi), None
    if subset_by_value is not None:
        lo, hi = (float(v) for v in subset_by_value)
        if not (lo < hi) or np.isnan(lo) or np.isnan(hi):
            raise ValueError(f"subset_by_value must be (lo, hi) with lo < hi, got "
                             f"{subset_by_value}")
        return None, (lo, hi)
    return None, None


def eigh(a, b=None, lower=True, eigvals_only=False, type=1, subset_by_index=None,
         subset_by_value=None, method="dc", check_finite=True):
    """Eigenvalues (ascending) and eigenvectors of the symmetric a, or of the generalized
    problem a x = w b x (type 1), a b x = w x (2), b a x = w x (3) with b symmetric positive
    definite, as scipy.linalg.eigh; only the lower (or upper) triangles are read.
    method: 'dc' divide and conquer, 'mrrr' relatively robust representations (standard
    problem only), 'qr' the QL/QR iteration (generalized problem only).  subset_by_index
    (lo, hi): the eigenvalues lo..hi (zero-based, inclusive); subset_by_value (lo, hi): those
    in (lo, hi].  Returns w, or (w, v) with the eigenvectors in the columns of v."""
    A = _matrix(a, "a", square=True, check_finite=check_finite)
    n = A.shape[0]
    by_index, by_value = _check_subsets(n, subset_by_index, subset_by_value)
    jobz = b"N" if eigvals_only else b"V"
    uplo = _uplo(lower)
    lib = library()
    if b is not None:
        if method not in ("dc", "qr"):
            raise ValueError(f"method {method!r} does not solve the generalized problem; use "
                             "'dc' or 'qr'")
        if type not in (1, 2, 3):
            raise ValueError(f"type must be 1, 2 or 3, not {type!r}")
        B = _matrix(b, "b", square=True, check_finite=check_finite)
        if B.shape != A.shape:
            raise ValueError(f"a has shape {A.shape} but b {B.shape}")
        w = np.zeros(n)
        if n:
            routine = "LAPACKE_dsygvd" if method == "dc" else "LAPACKE_dsygv"
            f = getattr(lib, routine)
            info = f(COL_MAJOR, type, jobz, uplo, n, A.ctypes.data, n, B.ctypes.data, n,
                     w.ctypes.data)

            def what(i):
                if i > n:
                    return f"the leading minor of order {i - n} of b is not positive definite"
                return "the eigensolver did not converge"

            _check(routine, info, what)
        w, v = _select(w, None if eigvals_only else A, by_index, by_value)
        return w if eigvals_only else (w, v)
    if method not in ("dc", "mrrr"):
        raise ValueError(f"method must be 'dc' or 'mrrr' for the standard problem, not "
                         f"{method!r}")
    if n == 0:
        w = np.zeros(0)
        return w if eigvals_only else (w, np.zeros((0, 0)))
    if method == "dc":
        w = np.zeros(n)
        _check("LAPACKE_dsyevd",
               lib.LAPACKE_dsyevd(COL_MAJOR, jobz, uplo, n, A.ctypes.data, n, w.ctypes.data),
               lambda i: "the eigensolver did not converge")
        w, v = _select(w, None if eigvals_only else A, by_index, by_value)
        return w if eigvals_only else (w, v)
    rng, vl, vu, il, iu = b"A", 0.0, 0.0, 1, n
    if by_index is not None:
        rng, il, iu = b"I", by_index[0] + 1, by_index[1] + 1
    elif by_value is not None:
        rng, (vl, vu) = b"V", by_value
    ncols = iu - il + 1 if rng == b"I" else n
    w = np.zeros(n)
    z = np.zeros((n, max(1, ncols)), order="F")
    m = np.zeros(1, dtype=np.int32)
    isuppz = np.zeros(2 * n, dtype=np.int32)
    info = lib.LAPACKE_dsyevr(COL_MAJOR, jobz, rng, uplo, n, A.ctypes.data, n, vl, vu, il, iu,
                              DEFAULT_ABSTOL, m.ctypes.data, w.ctypes.data, z.ctypes.data, n,
                              isuppz.ctypes.data)
    _check("LAPACKE_dsyevr", info, lambda i: "the eigensolver did not converge")
    k = int(m[0])
    return w[:k].copy() if eigvals_only else (w[:k].copy(), z[:, :k].copy())


__all__ = ["LapackError", "LinAlgWarning", "lu_factor", "inv", "qr", "cholesky_pivoted", "eigh"]
