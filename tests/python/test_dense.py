"""The dense helpers against scipy.linalg on the same matrices: factorizations by their
reconstruction residuals, eigenvalues against scipy's within their perturbation bound, and
the checks on the inputs (shape, dtype, finiteness, layout)."""

import numpy as np
import pytest
import scipy.linalg as sl
from conftest import EPS

RNG = np.random.default_rng(11)


def spd(n, seed=0):
    r = np.random.default_rng(seed).standard_normal((n, n))
    return r @ r.T + n * np.eye(n)


def sym(n, seed=0):
    r = np.random.default_rng(seed).standard_normal((n, n))
    return (r + r.T) / 2


def bound(n, a):
    """A backward-error bound c * n * eps * ||a|| for the dense factorizations."""
    return 10 * n * EPS * max(1.0, np.linalg.norm(a, 2))


@pytest.mark.parametrize("shape", [(7, 7), (9, 5), (5, 9), (60, 60)])
def test_lu_factor_matches_scipy(ztr, shape):
    a = RNG.standard_normal(shape)
    lu, piv = ztr.lu_factor(a)
    ref_lu, ref_piv = sl.lu_factor(a)
    assert np.array_equal(piv, ref_piv)
    m, n = shape
    k = min(m, n)
    L = np.tril(lu[:, :k], -1) + np.eye(m, k)
    U = np.triu(lu[:k, :])
    pa = a.copy()
    for i, p in enumerate(piv):
        pa[[i, p]] = pa[[p, i]]
    assert np.linalg.norm(pa - L @ U) <= bound(max(shape), a)
    assert np.allclose(lu, ref_lu, rtol=1e-10, atol=1e-12)
    # scipy's solver accepts the factors.
    if m == n:
        b = RNG.standard_normal(n)
        assert np.allclose(a @ sl.lu_solve((lu, piv), b), b, atol=1e-9)


def test_lu_factor_of_a_singular_matrix_warns(ztr):
    a = np.array([[1.0, 2.0], [2.0, 4.0]])
    with pytest.warns(ztr.LinAlgWarning, match="Diagonal number 2 is exactly zero"):
        lu, piv = ztr.lu_factor(a)
    assert lu[1, 1] == 0.0


def test_inv(ztr):
    for n in (1, 4, 50):
        a = RNG.standard_normal((n, n)) + n * np.eye(n)
        x = ztr.inv(a)
        assert np.linalg.norm(a @ x - np.eye(n)) <= np.linalg.cond(a) * bound(n, a)
        assert np.allclose(x, sl.inv(a), rtol=1e-10, atol=1e-12)
    assert ztr.inv(np.zeros((0, 0))).shape == (0, 0)
    with pytest.raises(ztr.LinAlgError) as e:
        ztr.inv(np.array([[1.0, 2.0], [2.0, 4.0]]))
    assert e.value.info == 2 and "singular" in str(e.value)
    assert isinstance(e.value, np.linalg.LinAlgError)


@pytest.mark.parametrize("shape", [(8, 5), (5, 8), (6, 6), (40, 25)])
def test_qr_modes_match_scipy(ztr, shape):
    a = RNG.standard_normal(shape)
    for mode in ("full", "economic"):
        q, r = ztr.qr(a, mode=mode)
        rq, rr = sl.qr(a, mode=mode)
        assert q.shape == rq.shape and r.shape == rr.shape
        assert np.linalg.norm(q.T @ q - np.eye(q.shape[1])) <= bound(shape[0], q)
        assert np.linalg.norm(q @ r - a) <= bound(max(shape), a)
        assert np.array_equal(r, np.triu(r))
        # The factors are unique up to the signs of R's diagonal.
        s = np.sign(np.diag(r)) * np.sign(np.diag(rr))
        assert np.allclose(r * s[:, None] if r.shape[0] == s.size else r, rr, atol=1e-10)
    (r,) = ztr.qr(a, mode="r")
    assert r.shape == sl.qr(a, mode="r")[0].shape
    with pytest.raises(ValueError):
        ztr.qr(a, mode="raw")


def test_cholesky_pivoted_finds_the_rank(ztr):
    n, rank = 12, 7
    g = RNG.standard_normal((n, rank))
    a = g @ g.T  # positive semidefinite of rank 7
    for lower in (False, True):
        c, piv, r = ztr.cholesky_pivoted(a, lower=lower)
        assert r == rank
        assert sorted(piv) == list(range(n))
        pa = a[np.ix_(piv, piv)]
        back = c @ c.T if lower else c.T @ c
        assert np.linalg.norm(pa - back) <= 1e3 * n * EPS * np.linalg.norm(a)
        assert np.array_equal(c, np.tril(c) if lower else np.triu(c))
    c, piv, r = ztr.cholesky_pivoted(spd(10))
    assert r == 10
    # The first pivot is the largest diagonal entry.
    assert piv[0] == np.argmax(np.diag(spd(10)))
    # Only the named triangle is read.
    junk = np.triu(a) + np.tril(np.full((n, n), 7.0), -1)
    c2, piv2, r2 = ztr.cholesky_pivoted(junk, lower=False)
    c1, piv1, r1 = ztr.cholesky_pivoted(a, lower=False)
    assert r1 == r2 and np.array_equal(piv1, piv2) and np.array_equal(c1, c2)


@pytest.mark.parametrize("method", ["dc", "mrrr"])
def test_eigh_matches_scipy(ztr, method):
    n = 40
    a = sym(n, seed=2)
    w, v = ztr.eigh(a, method=method)
    ref = sl.eigh(a, eigvals_only=True)
    norm = np.linalg.norm(a, 2)
    assert np.max(np.abs(w - ref)) <= 10 * n * EPS * norm
    assert np.linalg.norm(a @ v - v * w) <= bound(n, a)
    assert np.linalg.norm(v.T @ v - np.eye(n)) <= 10 * n * EPS
    assert np.array_equal(ztr.eigh(a, method=method, eigvals_only=True), w) or \
        np.max(np.abs(ztr.eigh(a, method=method, eigvals_only=True) - w)) <= 10 * n * EPS * norm
    # Upper triangle only.
    w_up = ztr.eigh(np.triu(a), lower=False, method=method, eigvals_only=True)
    assert np.max(np.abs(w_up - ref)) <= 10 * n * EPS * norm


@pytest.mark.parametrize("method", ["dc", "mrrr"])
def test_eigh_subsets(ztr, method):
    n = 30
    a = sym(n, seed=3)
    ref = sl.eigh(a, eigvals_only=True)
    tol = 10 * n * EPS * np.linalg.norm(a, 2)
    w, v = ztr.eigh(a, subset_by_index=(3, 9), method=method)
    assert w.shape == (7,) and v.shape == (n, 7)
    assert np.max(np.abs(w - ref[3:10])) <= tol
    assert np.linalg.norm(a @ v - v * w) <= bound(n, a)
    lo, hi = (ref[4] + ref[5]) / 2, (ref[20] + ref[21]) / 2
    w = ztr.eigh(a, subset_by_value=(lo, hi), eigvals_only=True, method=method)
    assert np.max(np.abs(w - ref[5:21])) <= tol
    w = ztr.eigh(a, subset_by_value=(ref[-1] + 1, ref[-1] + 2), eigvals_only=True,
                 method=method)
    assert w.shape == (0,)
    for bad in ({"subset_by_index": (5, 2)}, {"subset_by_index": (0, n)},
                {"subset_by_value": (1.0, 1.0)}, {
                    "subset_by_index": (0, 1),
                    "subset_by_value": (0.0, 1.0)
                }):
        with pytest.raises(ValueError):
            ztr.eigh(a, method=method, **bad)


@pytest.mark.parametrize("method", ["dc", "qr"])
@pytest.mark.parametrize("itype", [1, 2, 3])
def test_generalized_eigh_matches_scipy(ztr, method, itype):
    n = 25
    a, b = sym(n, seed=4), spd(n, seed=5)
    w, v = ztr.eigh(a, b, type=itype, method=method)
    ref = sl.eigh(a, b, type=itype, eigvals_only=True)
    scale = np.linalg.norm(a, 2) * np.linalg.norm(b, 2) * np.linalg.cond(b)
    assert np.max(np.abs(w - ref)) <= 100 * n * EPS * scale
    lhs = {1: a @ v, 2: a @ b @ v, 3: b @ a @ v}[itype]
    rhs = {1: b @ v * w, 2: v * w, 3: v * w}[itype]
    assert np.linalg.norm(lhs - rhs) <= 100 * n * EPS * scale * np.linalg.norm(v)
    if itype == 1:
        assert np.linalg.norm(v.T @ b @ v - np.eye(n)) <= 100 * n * EPS * np.linalg.cond(b)
    ws = ztr.eigh(a, b, type=itype, method=method, subset_by_index=(0, 4), eigvals_only=True)
    assert np.max(np.abs(ws - ref[:5])) <= 100 * n * EPS * scale


def test_generalized_eigh_failures(ztr):
    a = sym(6, seed=6)
    b = np.diag([1.0, 2.0, -1.0, 1.0, 1.0, 1.0])
    with pytest.raises(ztr.LinAlgError) as e:
        ztr.eigh(a, b)
    assert e.value.info == 6 + 3
    assert "leading minor of order 3 of b is not positive definite" in str(e.value)
    with pytest.raises(ValueError, match="generalized"):
        ztr.eigh(a, spd(6), method="mrrr")
    with pytest.raises(ValueError, match="shape"):
        ztr.eigh(a, spd(5))
    with pytest.raises(ValueError):
        ztr.eigh(a, spd(6), type=4)
    with pytest.raises(ValueError):
        ztr.eigh(a, method="qr")


def test_inputs_are_checked_and_never_changed(ztr):
    a = spd(8)
    with pytest.raises(ValueError, match="square"):
        ztr.inv(np.ones((3, 4)))
    with pytest.raises(ValueError, match="2-D"):
        ztr.lu_factor(np.ones(4))
    with pytest.raises(TypeError, match="complex"):
        ztr.eigh(a + 1j * np.eye(8))
    with pytest.raises(TypeError):
        ztr.qr(np.array([["a", "b"], ["c", "d"]]))
    bad = a.copy()
    bad[2, 3] = np.nan
    for f in (ztr.lu_factor, ztr.inv, ztr.qr, ztr.cholesky_pivoted, ztr.eigh):
        with pytest.raises(ValueError, match="infs or NaNs"):
            f(bad)
    with pytest.raises(ValueError, match="tol"):
        ztr.cholesky_pivoted(a, tol=np.nan)
    # C order, transposed views, strided slices and integers: copied, same answers.
    big = np.zeros((16, 16))
    big[::2, ::2] = a
    view = big[::2, ::2]
    before = big.copy()
    assert np.allclose(ztr.inv(view), ztr.inv(np.asfortranarray(a)), rtol=1e-13, atol=0)
    assert np.allclose(ztr.eigh(view.T, eigvals_only=True), ztr.eigh(a, eigvals_only=True))
    assert np.array_equal(big, before)
    ai = np.array([[4, 1], [1, 3]])
    assert np.allclose(ztr.inv(ai), np.linalg.inv(ai))
