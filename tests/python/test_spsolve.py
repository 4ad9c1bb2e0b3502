"""spsolve, factorized and Solver against scipy on the same matrices: residuals, shapes and
dtypes as scipy gives them, the automatic matrix type, inertia, refactoring, transposed solves,
the complex types, and the stored real and complex test matrices."""

import threading
import warnings

import numpy as np
import pytest
import scipy.io
import scipy.sparse as sp
import scipy.sparse.linalg as sla
from conftest import (EPS, EPS32, REPO, convection, laplacian, random_symmetric, read_testdata,
                      relative_residual)

# Backward-error bounds: a direct solver on these well-conditioned matrices reaches a small
# multiple of the unit roundoff; 1e3 leaves room for the growth of the orderings' fill.
TOL = 1e3 * EPS
TOL32 = 1e3 * EPS32


def systems():
    """(name, matrix, type the automatic choice must take)."""
    S, _ = random_symmetric(40, seed=3, shift=1.0)
    return [
        ("laplacian", laplacian(6), 2),
        ("indefinite", sp.csr_matrix(laplacian(5, dims=2) - 1.5 * sp.identity(25)), -2),
        ("random-symmetric", S, -2),
        ("convection", convection(7), 11),
    ]


@pytest.mark.parametrize("name,A,mtype", systems(), ids=[s[0] for s in systems()])
def test_automatic_type_solves_like_scipy(ztr, name, A, mtype):
    rng = np.random.default_rng(1)
    b = rng.standard_normal(A.shape[0])
    x = ztr.spsolve(A, b)
    ref = sla.spsolve(sp.csc_matrix(A), b)
    assert x.shape == ref.shape and x.dtype == ref.dtype
    assert relative_residual(A, x, b) <= TOL
    cond = np.linalg.cond(A.toarray())
    assert np.linalg.norm(x - ref) <= 10 * cond * TOL * np.linalg.norm(ref)
    with ztr.Solver(A) as s:
        assert s.mtype == mtype


def test_positive_diagonal_indefinite_falls_back_to_minus_2(ztr):
    # Symmetric, positive diagonal, but indefinite: tried as 2, factored as -2.
    A = sp.csr_matrix(laplacian(5, dims=2) - 1.5 * sp.identity(25))
    assert np.all(A.diagonal() > 0)
    with ztr.Solver(A) as s:
        assert s.mtype == -2
        assert "not SPD" in s.fallback_reason
    with ztr.Solver(laplacian(4)) as s:
        assert s.mtype == 2 and s.fallback_reason is None
    # A zero on the diagonal rules out a Cholesky factorization: not even tried.
    Z = sp.csr_matrix(laplacian(4).toarray() * (1 - np.eye(64)[0]) * (1 - np.eye(64)[:, [0]]) +
                      sp.csr_matrix(([1.0, 1.0], ([0, 1], [1, 0])), shape=(64, 64)))
    assert Z.diagonal()[0] == 0 and (Z != Z.T).nnz == 0
    with ztr.Solver(Z) as s:
        assert s.mtype == -2 and s.fallback_reason is None
    # A named type does not fall back.
    with pytest.raises(ztr.NotPositiveDefiniteError) as e:
        ztr.Solver(A, mtype="pos")
    assert e.value.error == -4 and e.value.error_num == -1
    assert "zero or negative pivot, A is not SPD-matrix" in e.value.text


@pytest.mark.parametrize("fmt", ["csr", "csc", "coo", "lil", "dok", "bsr", "dia", "dense"])
def test_every_input_format(ztr, fmt):
    A = convection(5)
    b = np.arange(25.0)
    M = A.toarray() if fmt == "dense" else A.asformat(fmt)
    x = ztr.spsolve(M, b)
    assert relative_residual(A, x, b) <= TOL


def test_right_hand_side_shapes_follow_scipy(ztr):
    A = laplacian(4, dims=2)
    n = A.shape[0]
    rng = np.random.default_rng(2)
    for b in (rng.standard_normal(n), rng.standard_normal((n, 1)), rng.standard_normal((n, 3)),
              sp.csc_matrix(rng.standard_normal((n, 2))), sp.csr_matrix(np.ones((n, 1)))):
        x = ztr.spsolve(A, b)
        ref = sla.spsolve(sp.csc_matrix(A), b)
        assert type(x) is type(ref) or (sp.issparse(x) and sp.issparse(ref))
        assert x.shape == ref.shape
        xd = x.toarray() if sp.issparse(x) else x
        rd = ref.toarray() if sp.issparse(ref) else ref
        assert np.allclose(xd, rd, rtol=1e-10, atol=1e-12)
    # Zero right-hand sides, an integer b, and a list.
    assert ztr.spsolve(A, np.zeros((n, 0))).shape == (n, 0)
    assert ztr.spsolve(A, np.arange(n)).dtype == np.float64
    assert ztr.spsolve(A, list(range(n))).shape == (n,)


def test_single_precision_when_both_are(ztr):
    A = laplacian(5)
    b = np.ones(A.shape[0])
    x32 = ztr.spsolve(A.astype(np.float32), b.astype(np.float32))
    assert x32.dtype == np.float32
    assert relative_residual(A, x32, b) <= TOL32
    # scipy's rule: one double input makes the solve double.
    x = ztr.spsolve(A.astype(np.float32), b)
    assert x.dtype == np.float64 and relative_residual(A, x, b) <= TOL
    assert ztr.spsolve(A.astype(np.int64), b).dtype == np.float64


def test_factorized_and_several_right_hand_sides(ztr):
    A = convection(6)
    solve = ztr.factorized(A)
    rng = np.random.default_rng(4)
    B = rng.standard_normal((A.shape[0], 4))
    X = solve(B)
    assert X.shape == B.shape
    for j in range(4):
        assert relative_residual(A, X[:, j], B[:, j]) <= TOL
        # Column by column gives the same answer as all together.
        assert np.allclose(solve(B[:, j]), X[:, j], rtol=1e-12, atol=0)
    # Strided and C-ordered right-hand sides are copied, never read wrongly.
    Bc = np.ascontiguousarray(B)
    assert np.array_equal(solve(Bc), X)
    assert np.allclose(solve(B[:, ::2]), X[:, ::2], rtol=1e-12, atol=0)
    B_before = B.copy()
    solve(B)
    assert np.array_equal(B, B_before)


def test_transposed_solve(ztr):
    A = convection(6, wind=0.7)
    b = np.linspace(-1.0, 1.0, A.shape[0])
    with ztr.Solver(A) as s:
        xt = s.solve(b, transpose=True)
        x = s.solve(b)
        assert relative_residual(A.T.tocsr(), xt, b) <= TOL
        assert relative_residual(A, x, b) <= TOL
        assert np.linalg.norm(xt - x) > 1e-3  # A is far from symmetric
        XT = s.solve(np.column_stack([b, 2 * b]), transpose=True)
        assert np.allclose(XT[:, 1], 2 * xt, rtol=1e-12, atol=1e-14)
    S = laplacian(4)
    b = np.linspace(-1.0, 1.0, S.shape[0])
    with ztr.Solver(S) as s:
        assert np.array_equal(s.solve(b, transpose=True), s.solve(b))


def test_inertia_against_the_signs_of_scipys_eigenvalues(ztr):
    for seed, shift in ((5, 0.0), (6, 1.0), (7, 1.6), (8, 3.0)):
        A, w = random_symmetric(50, seed=seed, shift=shift)
        with ztr.Solver(A, mtype="sym") as s:
            assert s.mtype == -2
            assert s.perturbed_pivots == 0
            pos, neg = int(np.sum(w > 0)), int(np.sum(w < 0))
            assert s.inertia == (pos, neg, 0), f"seed {seed}"
    with ztr.Solver(laplacian(3)) as s:
        assert s.inertia == (27, 0, 0)
    with ztr.Solver(convection(3)) as s:
        assert s.inertia is None
    # A diagonal matrix takes the solver's shortcut, which counts signs too.
    D = sp.diags([[2.0, -1.0, 5.0, -3.0]], [0], format="csr")
    with ztr.Solver(D) as s:
        assert s.inertia == (2, 2, 0)
        assert np.allclose(s.solve(np.ones(4)), 1 / D.diagonal())


def test_refactor_same_pattern(ztr):
    A = convection(6)
    b = np.ones(A.shape[0])
    with ztr.Solver(A) as s:
        s.solve(b, transpose=True)  # the transposed handle is refactored as well
        A2 = A.copy()
        A2.data = A2.data * np.linspace(1.0, 2.0, A2.nnz)
        assert s.refactor(A2) is s
        assert relative_residual(A2, s.solve(b), b) <= TOL
        assert relative_residual(A2.T.tocsr(), s.solve(b, transpose=True), b) <= TOL
        Other = sp.csr_matrix(A + sp.diags([1.0], [5], shape=A.shape))
        with pytest.raises(ValueError, match="sparsity pattern"):
            s.refactor(Other)
        with pytest.raises(ValueError, match="shape"):
            s.refactor(convection(5))
        # A failed refactor leaves the last factorization usable.
        assert relative_residual(A2, s.solve(b), b) <= TOL


def test_refactor_from_definite_to_indefinite(ztr):
    L = laplacian(5, dims=2)
    b = np.ones(25)
    with ztr.Solver(L) as s:
        assert s.mtype == 2
        Lneg = sp.csr_matrix(L - 1.5 * sp.identity(25))
        s.refactor(Lneg)
        assert s.mtype == -2
        assert relative_residual(Lneg, s.solve(b), b) <= TOL
        w = np.linalg.eigvalsh(Lneg.toarray())
        assert s.inertia == (np.sum(w > 0), np.sum(w < 0), 0)
    # A named positive definite type reports the failure instead.
    with ztr.Solver(L, mtype=2) as s:
        with pytest.raises(ztr.NotPositiveDefiniteError):
            s.refactor(Lneg)
        with pytest.raises(ztr.ZtrError, match="no valid factorization"):
            s.solve(b)


def test_reorder_and_threads_options(ztr):
    A = laplacian(6)
    b = np.ones(A.shape[0])
    for reorder in ("nd", "md", 0, 2, 3, np.random.default_rng(0).permutation(A.shape[0])):
        with ztr.Solver(A, reorder=reorder) as s:
            assert relative_residual(A, s.solve(b), b) <= TOL
    for bad in ("colamd", 4, np.arange(5), np.zeros(A.shape[0], dtype=int)):
        with pytest.raises(ValueError):
            ztr.Solver(A, reorder=bad)
    with ztr.Solver(A, threads=1) as s:
        assert s.threads == 1
    with pytest.raises(ValueError):
        ztr.Solver(A, threads=0)


def test_report_and_statistics(ztr):
    A = laplacian(6)
    with ztr.Solver(A) as s:
        r = s.report()
        assert "=== KORVINE: solving a symmetric positive definite system ===" in r
        assert "number of equations:           216" in r
        assert s.nnz_factors >= (A.nnz + A.shape[0]) // 2  # L holds at least A's triangle
        assert s.peak_memory_kb > 0
        assert s.perturbed_pivots == 0
        s.solve(np.ones(216))
        assert s.refinement_steps == 0


def test_threads_share_a_solver_and_make_their_own(ztr):
    A = convection(30)
    b = np.linspace(0.0, 1.0, A.shape[0])
    workers = 4
    with ztr.Solver(A) as shared:
        expected = shared.solve(b)
        results, errors = [], []
        start = threading.Barrier(workers)

        def work(seed):
            try:
                start.wait()
                for _ in range(100):
                    # Each thread its own right-hand side: a shared buffer would mix them.
                    x = shared.solve(b * (1 + seed))
                    results.append(np.allclose(x, expected * (1 + seed), rtol=1e-12, atol=0))
                own = ztr.Solver(A * (1 + seed))  # factorizations and captures at once
                results.append(np.allclose(own.solve(b), expected / (1 + seed), rtol=1e-10))
                results.append("real nonsymmetric" in own.report())
                own.close()
            except Exception as e:  # reported below: a thread's exception is otherwise lost
                errors.append(e)

        threads = [threading.Thread(target=work, args=(i,)) for i in range(workers)]
        for t in threads:
            t.start()
        for t in threads:
            t.join()
        assert not errors and len(results) == workers * 102 and all(results)


def test_non_finite_right_hand_sides_never_pass_as_success(ztr):
    # No check in the package (it would cost more than the call): the library either lets
    # the non-finite values show in the solution or reports them; it never hangs.
    for A in (laplacian(3), convection(3)):
        with ztr.Solver(A, refine=3) as s:
            b = np.ones(A.shape[0])
            b[2] = np.nan
            try:
                x = s.solve(b)
            except ztr.FactorizationError as e:
                assert e.error == -4
                continue
            assert np.isnan(x).any()


def test_edge_sizes(ztr):
    assert ztr.spsolve(sp.csr_matrix((0, 0)), np.zeros(0)).shape == (0,)
    assert ztr.spsolve(sp.csr_matrix([[4.0]]), [2.0]) == pytest.approx([0.5])
    with ztr.Solver(sp.csr_matrix([[-4.0]])) as s:
        assert s.inertia == (0, 1, 0)


def test_singular_matrices_are_reported(ztr):
    # A structurally singular unsymmetric matrix: the preordering names it.
    Z = sp.csr_matrix(np.array([[1.0, 2, 0], [0, 0, 0], [3, 0, 1]]))
    with pytest.raises(ztr.FactorizationError) as e:
        ztr.spsolve(Z, np.ones(3))
    assert e.value.error == -6 and "preordering failed" in e.value.text
    # A zero on the diagonal of a diagonal matrix.
    with pytest.raises(ztr.FactorizationError) as e:
        ztr.spsolve(sp.csr_matrix(np.diag([1.0, 0.0, 2.0])), np.ones(3))
    assert e.value.error == -7
    assert "*** something wrong with diagonal matrix row 2" in e.value.text
    # Numerically singular: the pivots perturbed, the solution is either refused or warned
    # about, never handed over silently.
    for G in (np.array([[1.0, 1.0], [1.0, 1.0]]), np.array([[1.0, 2.0], [1.0, 2.0]])):
        with warnings.catch_warnings(record=True) as caught:
            warnings.simplefilter("always")
            try:
                x = ztr.spsolve(sp.csr_matrix(G), np.array([1.0, 2.0]))
            except ztr.FactorizationError as e:
                assert e.error == -4 and e.text
                continue
        assert x.shape == (2,)
        assert any(issubclass(w.category, ztr.AccuracyWarning) and "perturbed" in str(w.message)
                   for w in caught)


@pytest.mark.parametrize("name", [
    "bcsstk13.mtx", "bcsstk16.mtx", "LFAT5.mtx", "cryg2500.mtx", "watt_2.mtx", "olm1000.mtx",
    "impcol_a.mtx", "rajat01.mtx"
])
def test_shared_matrices_against_scipy(ztr, name):
    A = read_testdata(name)
    n = A.shape[0]
    b = A @ np.ones(n)
    with warnings.catch_warnings():
        warnings.simplefilter("error", ztr.AccuracyWarning)
        x = ztr.spsolve(A, b)
    ref = sla.spsolve(sp.csc_matrix(A), b)
    ours, theirs = relative_residual(A, x, b), relative_residual(A, ref, b)
    # At least as good as the peer's up to a factor of ten, and small in itself.
    assert ours <= max(10 * theirs, 100 * EPS), (ours, theirs)
    assert ours <= 1e-10


@pytest.mark.parametrize("name,mtype", [("young1c.mtx", 13), ("c.mtx", 4)])
def test_complex_test_matrices_against_scipy(ztr, name, mtype):
    A = sp.csr_matrix(scipy.io.mmread(str(REPO / "tests" / "data" / name)))
    assert A.dtype == np.complex128
    b = A @ (1 + 1j * np.arange(A.shape[0]) / A.shape[0])
    with ztr.Solver(A) as s:
        assert s.mtype == mtype
        x = s.solve(b)
    ref = sla.spsolve(sp.csc_matrix(A), b)
    ours, theirs = relative_residual(A, x, b), relative_residual(A, ref, b)
    assert x.dtype == ref.dtype == np.complex128
    assert ours <= max(10 * theirs, 100 * EPS), (ours, theirs)


def test_shared_matrix_single_precision(ztr):
    A = read_testdata("LFAT5.mtx")
    b = (A @ np.ones(A.shape[0])).astype(np.float32)
    x = ztr.spsolve(A.astype(np.float32), b)
    assert x.dtype == np.float32
    assert relative_residual(A, x, b) <= TOL32


def test_shared_indefinite_matrix(ztr):
    A = read_testdata("tumorAntiAngiogenesis_2.mtx")
    b = A @ np.ones(A.shape[0])
    with ztr.Solver(A) as s:
        assert s.mtype == -2
        x = s.solve(b)
        assert np.all(np.isfinite(x))
        inertia = s.inertia
        assert inertia.positive + inertia.negative + inertia.zero == A.shape[0]
        # With no pivot perturbed the counts are exact (183 and 122 from a dense
        # eigendecomposition); perturbed pivots may move some of them.
        if s.perturbed_pivots == 0:
            assert inertia == (183, 122, 0)


@pytest.mark.parametrize("name", ["zenios.mtx", "gent113.mtx"])
def test_shared_singular_matrices_are_honest(ztr, name):
    A = read_testdata(name)
    b = A @ np.ones(A.shape[0])
    with warnings.catch_warnings(record=True) as caught:
        warnings.simplefilter("always")
        try:
            x = ztr.spsolve(A, b)
        except ztr.SolverError as e:
            assert e.error < 0 and e.text
            return
    assert np.all(np.isfinite(x))
    # Success is believable only with a small residual; otherwise a warning.
    if np.linalg.norm(A @ x - b, np.inf) > np.sqrt(EPS) * np.linalg.norm(b, np.inf):
        assert any(issubclass(w.category, ztr.AccuracyWarning) for w in caught)


def complex_systems():
    """(name, complex matrix, type the automatic choice must take): a Hermitian positive
    definite, a Hermitian indefinite, a complex symmetric and a complex unsymmetric matrix,
    all well conditioned."""
    rng = np.random.default_rng(11)
    n = 60
    R = sp.random(n, n, density=0.1, random_state=rng, format="csr")
    R = R + 1j * sp.random(n, n, density=0.1, random_state=rng, format="csr")
    herm = (R + R.conj().T) * 0.5
    hpd = sp.csr_matrix(herm + 4 * sp.identity(n))
    w = np.linalg.eigvalsh(herm.toarray())
    # A shift between two eigenvalues far apart, so that the signs are certain.
    gaps = np.diff(w)
    k = n // 3 + int(np.argmax(gaps[n // 3:2 * n // 3]))
    hind = sp.csr_matrix(herm - (w[k] + w[k + 1]) / 2 * sp.identity(n))
    csym = sp.csr_matrix((R + R.T) * 0.5 + (3 + 1j) * sp.identity(n))
    cgen = sp.csr_matrix(R + (3 - 2j) * sp.identity(n) + sp.diags([1j], [2], shape=(n, n)))
    return [("hpd", hpd, 4), ("hermitian-indefinite", hind, -4), ("complex-symmetric", csym, 6),
            ("complex-general", cgen, 13)]


@pytest.mark.parametrize("name,A,mtype", complex_systems(), ids=[s[0] for s in complex_systems()])
def test_complex_matrices_like_scipy(ztr, name, A, mtype):
    """Each complex type: the automatic choice, solves with A, A^T and A^H against scipy's
    solution (backward errors, and the forward error the condition number allows), several
    right-hand sides, single precision, and the inertia of the Hermitian types."""
    n = A.shape[0]
    rng = np.random.default_rng(12)
    b = rng.standard_normal(n) + 1j * rng.standard_normal(n)
    cond = np.linalg.cond(A.toarray())
    with ztr.Solver(A) as s:
        assert s.mtype == mtype
        for op, M in (("N", A), ("T", A.T), ("H", A.conj().T)):
            M = sp.csr_matrix(M)
            x = s.solve(b, transpose=op)
            ref = sla.spsolve(sp.csc_matrix(M), b)
            assert x.dtype == np.complex128
            assert relative_residual(M, x, b) <= TOL, op
            assert np.linalg.norm(x - ref) <= 10 * cond * TOL * np.linalg.norm(ref), op
        assert np.array_equal(s.solve(b, transpose=True), s.solve(b, transpose="T"))
        B = np.column_stack([b, b.conj(), 1j * b])
        X = s.solve(B, transpose="H")
        for j in range(3):
            assert relative_residual(sp.csr_matrix(A.conj().T), X[:, j], B[:, j]) <= TOL
        if mtype in (4, -4):
            w = np.linalg.eigvalsh(A.toarray())
            assert s.inertia == (np.sum(w > 0), np.sum(w < 0), 0)
        else:
            assert s.inertia is None
    x32 = ztr.spsolve(A.astype(np.complex64), b.astype(np.complex64))
    assert x32.dtype == np.complex64
    assert relative_residual(A, x32, b) <= TOL32
    # The assume= spellings name the complex types.
    spelled = {4: "hpd", -4: "her", 6: "sym", 13: "gen"}[mtype]
    assert relative_residual(A, ztr.spsolve(A, b, assume=spelled), b) <= TOL


def test_complex_right_hand_sides_and_dtypes(ztr):
    """scipy's dtype rules: a real matrix with a complex b is solved in complex arithmetic
    (as Hermitian when it is symmetric), a complex matrix with a real b too; a real solver
    refuses a complex b, and a real type a complex matrix."""
    L = laplacian(4, dims=2)
    b = np.linspace(0, 1, 16) + 1j
    x = ztr.spsolve(L, b)
    assert x.dtype == sla.spsolve(sp.csc_matrix(L), b).dtype == np.complex128
    assert relative_residual(L, x, b) <= TOL
    with ztr.Solver(L, dtype=np.complex128) as s:
        assert s.mtype == 4
    A = sp.csr_matrix(convection(4) * (1 + 0.5j))
    x = ztr.spsolve(A, np.ones(16))
    assert x.dtype == np.complex128 and relative_residual(A, x, np.ones(16)) <= TOL
    with ztr.Solver(L) as s, pytest.raises(TypeError):
        s.solve(b)
    with pytest.raises(ValueError, match="real but the matrix is complex"):
        ztr.Solver(A, mtype=11)
    with pytest.raises(ValueError, match="transpose"):
        ztr.Solver(A).solve(np.ones(16), transpose="C")


def test_complex_refactor_and_fallback(ztr):
    """A Hermitian matrix with a positive diagonal that is indefinite: tried as 4, factored
    as -4; refactoring a positive definite one into it does the same."""
    n = 25
    H = sp.csr_matrix(laplacian(5, dims=2) + sp.diags([0.5j], [1], shape=(n, n)) +
                      sp.diags([-0.5j], [-1], shape=(n, n)))
    Hneg = sp.csr_matrix(H - 2.5 * sp.identity(n))
    assert np.all(Hneg.diagonal().real > 0)
    b = np.ones(n) * (1 - 1j)
    with ztr.Solver(Hneg) as s:
        assert s.mtype == -4 and "not SPD" in s.fallback_reason
        assert relative_residual(Hneg, s.solve(b), b) <= TOL
    with ztr.Solver(H) as s:
        assert s.mtype == 4
        s.solve(b, transpose="T")
        s.refactor(Hneg)
        assert s.mtype == -4
        assert relative_residual(Hneg, s.solve(b), b) <= TOL
        assert relative_residual(sp.csr_matrix(Hneg.T), s.solve(b, transpose="T"), b) <= TOL
        w = np.linalg.eigvalsh(Hneg.toarray())
        assert s.inertia == (np.sum(w > 0), np.sum(w < 0), 0)
    C = complex_systems()[3][1]
    with ztr.Solver(C) as s:
        s.solve(b[:1].repeat(60), transpose="H")  # the handle for A^H is refactored too
        C2 = C.copy()
        C2.data = C2.data * np.linspace(1.0, 2.0, C2.nnz)
        s.refactor(C2)
        bb = np.ones(60, dtype=complex)
        assert relative_residual(C2, s.solve(bb), bb) <= TOL
        assert relative_residual(sp.csr_matrix(C2.conj().T), s.solve(bb, transpose="H"),
                                 bb) <= TOL
