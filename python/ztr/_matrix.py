"""Turning a scipy sparse matrix into the solver's CSR input, and choosing its matrix type.

The solver takes zero-based CSR arrays with 32-bit indices, column indices ascending and
unique within each row, and for the symmetric-storage types (2, -2, 4, -4, 6) the upper
triangle only.  Every row of a symmetric-storage matrix gets an explicit diagonal entry (zero
where A has none), so that the factorization never meets a row without its diagonal.
"""

import numpy as np
import scipy.sparse as sp

INDEX_MAX = np.iinfo(np.int32).max

REAL_TYPES = (1, 2, -2, 11)
COMPLEX_TYPES = (3, 4, -4, 6, 13)
SYMMETRIC_STORAGE = (2, -2, 4, -4, 6)
# Types whose factorization is a Cholesky factorization: their failure on a pivot means "not
# positive definite", and the automatic choice then falls back to the indefinite type.
DEFINITE_FALLBACK = {2: -2, 4: -4}

# assume= spellings, as (real type, complex type).
_ASSUME = {
    "gen": (11, 13),
    "general": (11, 13),
    "sym": (-2, 6),
    "symmetric": (-2, 6),
    "her": (-2, -4),
    "hermitian": (-2, -4),
    "pos": (2, 4),
    "spd": (2, 4),
    "hpd": (2, 4),
    "structsym": (1, 3),
}


def as_square_csr(A):
    """A as a canonical CSR matrix (sorted, summed duplicates) of a floating dtype."""
    if not sp.issparse(A):
        a = np.asarray(A)
        if a.ndim != 2:
            raise ValueError(f"the matrix must be 2-D, got {a.ndim} dimension(s)")
        A = sp.csr_matrix(a)
    if A.ndim != 2 or A.shape[0] != A.shape[1]:
        raise ValueError(f"matrix must be square (has shape {A.shape})")
    kind = A.dtype.kind
    if kind not in "biufc":
        raise TypeError(f"matrix dtype {A.dtype} is not numeric")
    A = sp.csr_matrix(A, copy=True)
    A.sum_duplicates()
    A.sort_indices()
    if not np.all(np.isfinite(A.data)):
        raise ValueError("the matrix must not contain infs or NaNs")
    if A.shape[0] >= INDEX_MAX or A.nnz >= INDEX_MAX:
        raise ValueError(f"matrix too large for 32-bit indices (n = {A.shape[0]}, nnz = {A.nnz})")
    return A


def working_dtype(*dtypes):
    """The solver's value type for these inputs: single precision only when every input is
    single precision (or narrower), as scipy does."""
    t = np.result_type(*dtypes)
    if t.kind in "biu":
        t = np.result_type(t, np.float64)
    if t.kind == "f":
        return np.dtype(np.float32) if t.itemsize <= 4 else np.dtype(np.float64)
    if t.kind == "c":
        return np.dtype(np.complex64) if t.itemsize <= 8 else np.dtype(np.complex128)
    raise TypeError(f"dtype {t} is not supported")


def _is_symmetric(A, hermitian):
    T = A.conj().T if hermitian else A.T
    return (A != T).nnz == 0


def detect_type(A):
    """(first type, fallback type or None) for the automatic choice: symmetric with a
    positive diagonal: 2, then -2; Hermitian with a positive real diagonal: 4, then -4; other
    symmetric or Hermitian matrices -2 or -4; complex symmetric (A = A^T, not Hermitian) 6;
    everything else 11 or 13."""
    complex_ = A.dtype.kind == "c"
    if complex_:
        if _is_symmetric(A, hermitian=True):
            d = A.diagonal()
            if np.all(d.real > 0) and np.all(d.imag == 0):
                return 4, -4
            return -4, None
        if _is_symmetric(A, hermitian=False):
            return 6, None
        return 13, None
    if _is_symmetric(A, hermitian=False):
        if np.all(A.diagonal() > 0):
            return 2, -2
        return -2, None
    return 11, None


def resolve_assume(assume, complex_):
    """The matrix type named by ``assume`` (a solver type number or one of the spellings of
    _ASSUME), or None for the automatic choice."""
    if assume is None:
        return None
    if isinstance(assume, str):
        try:
            real, cplx = _ASSUME[assume.lower()]
        except KeyError:
            raise ValueError(f"unknown assume={assume!r}; use one of {sorted(_ASSUME)} "
                             "or a matrix type number") from None
        return cplx if complex_ else real
    if isinstance(assume, (bool, np.bool_)) or not isinstance(assume, (int, np.integer)):
        raise TypeError(f"assume must be a string or an int, not {type(assume).__name__}")
    mtype = int(assume)
    if mtype not in REAL_TYPES + COMPLEX_TYPES:
        raise ValueError(f"matrix type {mtype} is not one of {REAL_TYPES + COMPLEX_TYPES}")
    if complex_ and mtype in REAL_TYPES:
        raise ValueError(f"matrix type {mtype} is real but the matrix is complex")
    return mtype


def solver_arrays(A, mtype, dtype):
    """(indptr, indices, data) of A for matrix type mtype: int32 indices, zero-based; the
    upper triangle with an explicit diagonal for the symmetric-storage types."""
    if mtype in SYMMETRIC_STORAGE:
        U = sp.triu(A, format="coo")
        n = A.shape[0]
        has = np.zeros(n, dtype=bool)
        has[U.row[U.row == U.col]] = True
        missing = np.flatnonzero(~has)
        row, col, val = U.row, U.col, U.data
        if missing.size:
            row = np.concatenate([row, missing])
            col = np.concatenate([col, missing])
            val = np.concatenate([val, np.zeros(missing.size, dtype=val.dtype)])
        A = sp.csr_matrix((val, (row, col)), shape=(n, n))
        A.sort_indices()
    indptr = np.ascontiguousarray(A.indptr, dtype=np.int32)
    indices = np.ascontiguousarray(A.indices, dtype=np.int32)
    data = np.ascontiguousarray(A.data, dtype=dtype)
    return indptr, indices, data
