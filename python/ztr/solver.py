"""The sparse direct solver: ``Solver``, ``spsolve`` and ``factorized``.

A ``Solver`` owns one solver handle: it analyses and factors A when it is made, solves as
often as asked, refactors a matrix of the same pattern, and releases the handle exactly once,
by ``close()``, at the end of a ``with`` block, or when it is garbage-collected.
"""

import threading
import warnings
import weakref
from collections import namedtuple

import numpy as np
import scipy.sparse as sp

from . import _matrix
from ._capture import capture
from ._errors import AccuracyWarning, NotPositiveDefiniteError, ZtrError, solver_error
from ._library import library

Inertia = namedtuple("Inertia", "positive negative zero")

PHASE_ANALYSE_FACTOR = 12
PHASE_FACTOR = 22
PHASE_SOLVE = 33
PHASE_RELEASE = -1
IPARM_SIZE = 64
HANDLE_WORDS = 64
# Message level of the calls whose text is kept: the report and error explanations.
MSGLVL_REPORT = 1

# iparm entries (counted from zero) the package sets or reads.
IP_USE_GIVEN = 0
IP_REORDER = 1
IP_THREADS = 2
IP_USER_PERM = 4
IP_REFINE_STEPS = 6
IP_REFINE_MAX = 7
IP_PERTURB = 9
IP_SCALING = 10
IP_TRANSPOSE = 11
IP_MATCHING = 12
IP_PERTURBED = 13
IP_PEAK_ANALYSIS = 14
IP_KEPT_ANALYSIS = 15
IP_FACTOR_MEMORY = 16
IP_PIVOTING = 20
IP_POSITIVE = 21
IP_NEGATIVE = 22
IP_CHECK = 26
IP_SINGLE = 27
IP_ZERO_BASED = 34
# iparm[11] values asking an analysis for the transposed solve A^T x = b and the
# conjugate-transposed one A^H x = b (the same for real matrices).
TRANSPOSED_SOLVE = 1
CONJUGATE_TRANSPOSED_SOLVE = 2

REORDERINGS = {"md": 0, "nd": 2, "pnd": 3}

# Slots of the per-handle array of by-address integers; after them in Handle.addr, the
# addresses of the handle's arrays.
_MAXFCT, _MNUM, _MTYPE, _PHASE, _N, _NRHS, _MSGLVL, _ERROR = range(8)
_PT, _DATA, _INDPTR, _INDICES, _PERM, _IPARM, _VB, _VX = range(8, 16)

_NNZ_LU = "number of non-zeros in L+U:"


def default_iparm(mtype):
    """The solver's defaults for mtype, written here (iparm[0] = 1) so that the package's
    own settings (zero-based input above all) survive every call."""
    ip = np.zeros(IPARM_SIZE, dtype=np.int32)
    ip[IP_USE_GIVEN] = 1
    ip[IP_REORDER] = 2
    ip[17] = ip[18] = -1
    if mtype in (1, 3):
        ip[IP_PERTURB] = 13
    elif mtype in (11, 13):
        ip[IP_PERTURB] = 13
        ip[IP_SCALING] = 1
        ip[IP_MATCHING] = 1
    elif mtype in (-2, -4, 6):
        ip[IP_PERTURB] = 8
        ip[IP_PIVOTING] = 1
    ip[IP_ZERO_BASED] = 1
    return ip


def _korvine(lib, pt, ints, iparm, keep, b=0, x=0):
    """One call of the solver; keep holds the CSR arrays and the permutation."""
    base = ints.ctypes.data
    indptr, indices, data, perm = keep
    lib.KORVINE(pt.ctypes.data, base, base + 4, base + 8, base + 12, base + 16, data.ctypes.data,
                indptr.ctypes.data, indices.ctypes.data, perm.ctypes.data, base + 20,
                iparm.ctypes.data, base + 24, b, x, base + 28)
    return int(ints[_ERROR])


def _release(lib, pt, ints, iparm, keep):
    """Phase -1 on a handle: the finalizer, which must not refer to the handle object."""
    ints[_PHASE] = PHASE_RELEASE
    ints[_MSGLVL] = 0
    _korvine(lib, pt, ints, iparm, keep)


class _Handle:
    """One solver handle with its parameter array and its own copies of the CSR arrays."""

    def __init__(self, mtype, n, indptr, indices, data, perm, reorder, refine, transposed=0):
        self.lib = library()
        self.mtype = mtype
        self.n = n
        self.single = data.dtype in (np.float32, np.complex64)
        self.dtype = data.dtype
        self.pt = np.zeros(HANDLE_WORDS, dtype=np.uintp)
        self.ints = np.zeros(8, dtype=np.int32)
        self.ints[[_MAXFCT, _MNUM, _MTYPE, _N]] = (1, 1, mtype, n)
        self.iparm = default_iparm(mtype)
        self.iparm[IP_SINGLE] = 1 if self.single else 0
        self.iparm[IP_REFINE_MAX] = refine
        self.iparm[IP_CHECK] = 1
        self.iparm[IP_TRANSPOSE] = transposed
        if perm is not None:
            self.iparm[IP_USER_PERM] = 1
            self.perm = perm
        else:
            self.iparm[IP_REORDER] = reorder
            self.perm = np.zeros(n, dtype=np.int32)
        self.vb = np.zeros(n, dtype=self.dtype)
        self.vx = np.zeros(n, dtype=self.dtype)
        self.keep = [None] * 4
        base = self.ints.ctypes.data
        self.addr = [base + 4 * k for k in range(8)] + [0] * 8
        for slot, arr in ((_PT, self.pt), (_IPARM, self.iparm), (_VB, self.vb), (_VX, self.vx)):
            self.addr[slot] = arr.ctypes.data
        self.set_values(indptr, indices, data)
        self.lock = threading.Lock()
        self.factored = False
        self.report = ""
        self._finalizer = weakref.finalize(self, _release, self.lib, self.pt, self.ints,
                                           self.iparm, self.keep)

    def set_values(self, indptr, indices, data):
        # The finalizer holds the same list: the arrays it passes are the current ones.
        self.indptr, self.indices, self.data = indptr, indices, data
        self.keep[:] = [indptr, indices, data, self.perm]
        for slot, arr in ((_DATA, data), (_INDPTR, indptr), (_INDICES, indices),
                          (_PERM, self.perm)):
            self.addr[slot] = arr.ctypes.data

    def call(self, phase, msglvl=0, b=0, x=0, nrhs=1):
        """Runs one phase; the solver's error code and, with a message level, its text."""
        ints = self.ints
        ints[_PHASE] = phase
        ints[_MSGLVL] = msglvl
        ints[_NRHS] = nrhs
        ints[_ERROR] = 0
        if msglvl:
            with capture() as out:
                err = _korvine(self.lib, self.pt, ints, self.iparm, self.keep, b, x)
            return err, out.text
        return _korvine(self.lib, self.pt, ints, self.iparm, self.keep, b, x), ""

    def factor(self, phase):
        with self.lock:
            self.factored = False
            err, text = self.call(phase, MSGLVL_REPORT)
            self.report = text
            if err != 0:
                raise solver_error(err, text, phase, self.mtype)
            self.factored = True

    def _solve(self, b, x, nrhs):
        """Phase 33 from address b into address x; the caller holds the lock."""
        if not self.factored:
            raise ZtrError("the solver holds no valid factorization")
        ints = self.ints
        ints[_PHASE] = PHASE_SOLVE
        ints[_MSGLVL] = 0
        ints[_NRHS] = nrhs
        ints[_ERROR] = 0
        a = self.addr
        self.lib.KORVINE(a[_PT], a[_MAXFCT], a[_MNUM], a[_MTYPE], a[_PHASE], a[_N], a[_DATA],
                         a[_INDPTR], a[_INDICES], a[_PERM], a[_NRHS], a[_IPARM], a[_MSGLVL], b, x,
                         a[_ERROR])
        err = int(ints[_ERROR])
        if err != 0:
            # The silent call has no text; ask again with the explanation on.
            err2, text = self.call(PHASE_SOLVE, MSGLVL_REPORT, b, x, nrhs)
            raise solver_error(err2 or err, text, PHASE_SOLVE, self.mtype)

    def solve(self, bf, nrhs):
        """x for the column-major right-hand sides bf (in the handle's dtype)."""
        x = np.empty(bf.shape, dtype=self.dtype, order="F")
        with self.lock:
            self._solve(bf.ctypes.data, x.ctypes.data, nrhs)
        return x

    def solve_vector(self, b):
        """x for one right-hand side, through the handle's own buffers: the cheap path."""
        with self.lock:
            np.copyto(self.vb, b, casting="same_kind")
            self._solve(self.addr[_VB], self.addr[_VX], 1)
            return self.vx.copy()

    def close(self):
        with self.lock:
            self.factored = False
            self._finalizer()

    @property
    def closed(self):
        return not self._finalizer.alive


def _reorder_code(reorder, n):
    """(iparm[1], user permutation or None) for reorder=."""
    if reorder is None:
        return 2, None
    if isinstance(reorder, str):
        try:
            return REORDERINGS[reorder.lower()], None
        except KeyError:
            raise ValueError(f"unknown reorder={reorder!r}; use one of {sorted(REORDERINGS)}, "
                             "0 to 3, or a permutation") from None
    if isinstance(reorder, (int, np.integer)) and not isinstance(reorder, (bool, np.bool_)):
        if reorder not in (0, 1, 2, 3):
            raise ValueError(f"reorder={reorder} is not 0, 1, 2 or 3")
        return int(reorder), None
    p = np.asarray(reorder)
    if p.shape != (n,) or p.dtype.kind not in "iu":
        raise ValueError(f"a permutation for reorder= must be {n} integers")
    if not np.array_equal(np.sort(p), np.arange(n)):
        raise ValueError("reorder= is not a permutation of 0..n-1")
    return 2, np.ascontiguousarray(p, dtype=np.int32)


class Solver:
    """A factorization of the sparse matrix A, ready to solve A x = b.

    mtype: the solver's matrix type (1, 2, -2, 11; complex 3, 4, -4, 6, 13), a spelling
    ('pos', 'sym', 'her', 'gen', 'structsym'; for a complex matrix 'sym' is 6, 'her' -4,
    'pos' 4), or None to choose: a symmetric matrix with a positive diagonal is tried as 2
    and, when it is not positive definite, factored as -2; other symmetric matrices -2;
    Hermitian 4 (positive diagonal) then -4, else -4; complex symmetric 6; everything else
    11 or 13.
    threads: when given, the library's thread count (process-wide, as set_num_threads) for
    this solver's calls.  reorder: 'nd' (nested dissection, default), 'md' (minimum degree),
    'pnd', an iparm[1] value 0 to 3, or a fill-reducing permutation of range(n), which the
    solver takes as its own (iparm[4] = 1).  refine: the maximum number of iterative
    refinement steps (0 automatic; negative: with an extended-precision residual).  dtype:
    the value type; by default float32 for a float32 (or complex64) matrix, else float64
    (complex128).

    Symmetric types read the upper triangle of A only.  The report and the texts of the
    exceptions are what the library prints while a factorization runs, taken from standard
    output (descriptor 1) for that time: whatever else the process writes there meanwhile
    lands in the report instead.
    """

    def __init__(self, A, mtype=None, threads=None, reorder=None, refine=0, dtype=None):
        A = _matrix.as_square_csr(A)
        self.shape = A.shape
        self._n = A.shape[0]
        self.dtype = _matrix.working_dtype(A.dtype if dtype is None else dtype)
        complex_ = self.dtype.kind == "c"
        if A.dtype.kind == "c" and not complex_:
            raise TypeError("a complex matrix needs a complex dtype")
        if complex_ and A.dtype.kind != "c":
            A = A.astype(self.dtype)  # a complex solve of a real matrix: complex types
        self._threads = None if threads is None else int(threads)
        if self._threads is not None and self._threads < 1:
            raise ValueError("threads must be at least 1")
        self._reorder, self._perm = _reorder_code(reorder, self._n)
        self._refine = int(refine)
        chosen = _matrix.resolve_assume(mtype, complex_)
        if chosen is None:
            self._auto = True
            first, self._fallback = _matrix.detect_type(A)
        else:
            self._auto = False
            first, self._fallback = chosen, None
        self._h = None
        self._ht = {}  # iparm[11] value: the handle analysed for that transposed solve
        self.fallback_reason = None
        self._A = A
        self._closed = False
        if self._n == 0:
            self._mtype = first
            return
        self._build(first)
        self._A = None if self._mtype in _matrix.SYMMETRIC_STORAGE else A

    def _apply_threads(self):
        if self._threads is not None:
            library().ZTR_Set_Num_Threads(self._threads)

    def _new_handle(self, mtype, A, transposed=0):
        indptr, indices, data = _matrix.solver_arrays(A, mtype, self.dtype)
        return _Handle(mtype, self._n, indptr, indices, data, self._perm, self._reorder,
                       self._refine, transposed)

    def _build(self, mtype):
        """Analysis and factorization as mtype, with the automatic fallback."""
        self._apply_threads()
        h = self._new_handle(mtype, self._A)
        try:
            h.factor(PHASE_ANALYSE_FACTOR)
        except ZtrError as e:
            h.close()
            fallback = self._fallback
            if fallback is None or not isinstance(e, NotPositiveDefiniteError):
                raise
            self._fallback = None
            # The text only: the exception's traceback would tie the solver into a cycle.
            self.fallback_reason = str(e)
            return self._build(fallback)
        self._h = h
        self._mtype = mtype

    def _check_open(self):
        if self._closed:
            raise ValueError("the solver is closed")

    @property
    def mtype(self):
        """The matrix type the factorization used."""
        return self._mtype

    def solve(self, b, transpose=False):
        """x with A x = b; transpose=True or 'T' solves A^T x = b, 'H' A^H x = b (the same as
        'T' for a real matrix), False or 'N' A x = b.  b: a vector of n values or an n x k
        array (or a sparse matrix, returned as one); x has b's shape and the solver's dtype."""
        op = _transpose_code(transpose)
        if sp.issparse(b):
            x = self.solve(b.toarray(), transpose)
            return sp.csc_matrix(x.reshape(self._n, -1))
        b = np.asarray(b)
        if b.ndim not in (1, 2) or b.shape[0] != self._n:
            raise ValueError(f"b has shape {b.shape}; expected ({self._n},) or ({self._n}, k)")
        if b.dtype.kind == "c" and self.dtype.kind != "c":
            raise TypeError("a complex right-hand side needs a complex solver")
        if b.dtype.kind not in "biufc":
            raise TypeError(f"b's dtype {b.dtype} is not numeric")
        self._check_open()
        if self._n == 0:
            return np.zeros(b.shape, dtype=self.dtype)
        nrhs = 1 if b.ndim == 1 else b.shape[1]
        if self._n * nrhs >= _matrix.INDEX_MAX:
            # The solver counts the values of b in 32-bit integers.
            raise ValueError(f"{nrhs} right-hand sides of {self._n} values are too many for "
                             "32-bit indexing; solve them in groups")
        if nrhs == 0:
            return np.zeros(b.shape, dtype=self.dtype)
        h = self._h
        conj = False
        if self.dtype.kind != "c" and op == "H":
            op = "T"
        if op != "N":
            if self._mtype in _matrix.SYMMETRIC_STORAGE:
                # A^T = A for the symmetric types (2, -2, 6) and A^H = A for the Hermitian
                # ones (4, -4); the other transpose is conj(A): conj(x) solves A with conj(b).
                conj = (op == "T") == (self._mtype in (4, -4))
                if conj:
                    b = b.conj()
            else:
                h = self._transposed(TRANSPOSED_SOLVE if op == "T" else
                                     CONJUGATE_TRANSPOSED_SOLVE)
        if self._threads is not None:
            self._apply_threads()
        if b.ndim == 1:
            x = h.solve_vector(b)
        else:
            # The solver reads b column after column: a Fortran-ordered copy in its dtype.
            x = h.solve(np.array(b, dtype=self.dtype, order="F", copy=True), nrhs)
        return x.conj() if conj else x

    def __call__(self, b):
        return self.solve(b)

    def _transposed(self, mode):
        """The handle analysed for the transposed solve of iparm[11] = mode, made at the
        first need."""
        if mode not in self._ht:
            self._apply_threads()
            ht = self._new_handle(self._mtype, self._A, transposed=mode)
            try:
                ht.factor(PHASE_ANALYSE_FACTOR)
            except ZtrError:
                ht.close()
                raise
            self._ht[mode] = ht
        return self._ht[mode]

    def _handles(self):
        return [h for h in [self._h, *self._ht.values()] if h is not None]

    def refactor(self, A_new):
        """Factor A_new, which must have the pattern of A, on the same analysis (phase 22).
        When the type was chosen automatically as positive definite and A_new is not, the
        matrix is analysed again as indefinite, as the constructor would have done."""
        self._check_open()
        A_new = _matrix.as_square_csr(A_new)
        if A_new.shape != self.shape:
            raise ValueError(f"A_new has shape {A_new.shape}, the solver {self.shape}")
        if A_new.dtype.kind == "c" and self.dtype.kind != "c":
            raise TypeError("a complex matrix needs a complex solver")
        self._apply_threads()
        for h in self._handles():
            indptr, indices, data = _matrix.solver_arrays(A_new, self._mtype, self.dtype)
            if not (np.array_equal(indptr, h.indptr) and np.array_equal(indices, h.indices)):
                raise ValueError("A_new does not have the sparsity pattern of the factored "
                                 "matrix; make a new Solver")
            h.set_values(h.indptr, h.indices, data)
            try:
                h.factor(PHASE_FACTOR)
            except ZtrError as e:
                if not (self._auto and self._mtype in _matrix.DEFINITE_FALLBACK and
                        isinstance(e, NotPositiveDefiniteError)):
                    raise
                self._refactor_indefinite(A_new)
                return self
        if self._A is not None:
            self._A = A_new
        return self

    def _refactor_indefinite(self, A_new):
        for h in self._handles():
            h.close()
        self._h = None
        self._ht = {}
        self._A = A_new
        self._fallback = None
        self._build(_matrix.DEFINITE_FALLBACK[self._mtype])
        if self._mtype in _matrix.SYMMETRIC_STORAGE:
            self._A = None

    def _ip(self, k):
        self._check_open()
        return 0 if self._h is None else int(self._h.iparm[k])

    @property
    def inertia(self):
        """(positive, negative, zero) eigenvalue counts of a real symmetric or Hermitian
        matrix (types 2, -2, 4, -4; the zero count is what the solver's counts leave over);
        None for other types."""
        self._check_open()
        if self._mtype in (2, 4):
            return Inertia(self._n, 0, 0)
        if self._mtype not in (-2, -4):
            return None
        pos, neg = self._ip(IP_POSITIVE), self._ip(IP_NEGATIVE)
        return Inertia(pos, neg, self._n - pos - neg)

    @property
    def perturbed_pivots(self):
        """Pivots the last factorization perturbed (iparm[13])."""
        return self._ip(IP_PERTURBED)

    @property
    def refinement_steps(self):
        """Iterative refinement steps of the last solve (iparm[6])."""
        return self._ip(IP_REFINE_STEPS)

    @property
    def threads(self):
        """The thread count the solver reported (iparm[2])."""
        return self._ip(IP_THREADS)

    @property
    def peak_memory_kb(self):
        """Peak memory of the solver in kilobytes: the larger of the analysis peak and the
        analysis data kept plus the factorization's memory (iparm[14] to iparm[16])."""
        return max(self._ip(IP_PEAK_ANALYSIS),
                   self._ip(IP_KEPT_ANALYSIS) + self._ip(IP_FACTOR_MEMORY))

    @property
    def nnz_factors(self):
        """Non-zeros of the factors, L+U (for the symmetric types: of L), as the solver's
        report states them; n for a diagonal matrix, which needs no factor."""
        self._check_open()
        for line in ("" if self._h is None else self._h.report).splitlines():
            if _NNZ_LU in line:
                return int(line.split(_NNZ_LU)[1])
        return self._n

    def report(self):
        """The solver's report of the last analysis and factorization (message level 1)."""
        self._check_open()
        return "" if self._h is None else self._h.report

    def close(self):
        """Releases the solver's memory now; later calls raise ValueError.  Idempotent."""
        for h in self._handles():
            h.close()
        self._closed = True

    @property
    def closed(self):
        return self._closed

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()
        return False

    def __repr__(self):
        state = "closed" if self._closed else f"mtype={self._mtype}"
        return f"<ztr.Solver {self.shape[0]}x{self.shape[1]} {self.dtype} {state}>"


def _transpose_code(transpose):
    """'N', 'T' or 'H' for solve's transpose argument."""
    if isinstance(transpose, (bool, np.bool_)):
        return "T" if transpose else "N"
    if isinstance(transpose, str) and transpose.upper() in ("N", "T", "H"):
        return transpose.upper()
    raise ValueError(f"transpose={transpose!r} is not False, True, 'N', 'T' or 'H'")


def factorized(A, **kwargs):
    """A function solving A x = b, as scipy.sparse.linalg.factorized; it keeps the
    factorization (a Solver, released when the function is) alive."""
    return Solver(A, **kwargs).solve


def backward_error(A, b, x):
    """The normwise backward error ||b - A x|| / (||A|| ||x|| + ||b||), infinity norms, of
    each column (a vector for an n x k b)."""
    b2 = b.reshape(b.shape[0], -1)
    x2 = x.reshape(x.shape[0], -1).astype(np.result_type(x, np.float64))
    r = b2 - A @ x2
    norm_a = abs(A).sum(axis=1).max() if A.nnz else 0.0
    den = norm_a * abs(x2).max(axis=0) + abs(b2).max(axis=0)
    num = abs(r).max(axis=0)
    with np.errstate(invalid="ignore", divide="ignore"):
        return np.where(den > 0, num / np.where(den > 0, den, 1), np.where(num > 0, np.inf, 0))


def _warn_if_inaccurate(A, b, x, perturbed):
    """Warns when a factorization with perturbed pivots gave a solution that does not solve
    the system: the solver reports success, the caller must still learn of it.  The measure
    is the relative residual ||b - A x|| / ||b||: a backward error would call the huge
    solution of a singular system accurate."""
    if x.size == 0:
        return
    b2 = b.reshape(b.shape[0], -1)
    r = b2 - A @ x.reshape(x.shape[0], -1)
    nb = abs(b2).max(axis=0)
    nr = abs(r).max(axis=0)
    with np.errstate(invalid="ignore", divide="ignore"):
        rel = np.where(nb > 0, nr / np.where(nb > 0, nb, 1), np.where(nr > 0, np.inf, 0)).max()
    if not rel <= np.sqrt(np.finfo(x.dtype).eps):
        warnings.warn(f"the factorization perturbed {perturbed} pivot(s) and the relative "
                      f"residual is {rel:.2e}: the matrix is singular or nearly so",
                      AccuracyWarning, stacklevel=3)


def spsolve(A, b, assume=None, threads=None):
    """x with A x = b for a sparse square A, as scipy.sparse.linalg.spsolve: b a vector or an
    n x k array or sparse matrix; x a vector when b is a vector or has one column, else of
    b's shape (sparse when b is).  Single precision when A and b both are.  assume: the
    matrix type (see Solver), chosen automatically by default.  When the factorization had to
    perturb pivots and the relative residual exceeds the square root of the precision, an
    AccuracyWarning says so (scipy warns of a singular matrix there)."""
    A = _matrix.as_square_csr(A)
    b_sparse = sp.issparse(b)
    bd = b.toarray() if b_sparse else np.asarray(b)
    if bd.ndim not in (1, 2) or bd.shape[0] != A.shape[0]:
        raise ValueError(f"matrix - rhs dimension mismatch ({A.shape} - {bd.shape})")
    dtype = _matrix.working_dtype(A.dtype, bd.dtype)
    vector = bd.ndim == 1 or bd.shape[1] == 1
    with Solver(A, mtype=assume, threads=threads, dtype=dtype) as s:
        x = s.solve(bd)
        perturbed = s.perturbed_pivots
    if perturbed > 0:
        _warn_if_inaccurate(A, bd, x, perturbed)
    if vector:
        return x.ravel()
    return sp.csc_matrix(x) if b_sparse else x
