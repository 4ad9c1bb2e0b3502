// The solver on complex matrices: every complex type in double and single precision on
// generated problems (complex Helmholtz grids, Hermitian positive definite and indefinite
// matrices of known inertia, complex convection-diffusion with zero diagonals, a structurally
// symmetric complex operator), transposed and conjugate-transposed solves, several
// right-hand sides, the complex diagonal shortcut, stored matrices, one and two threads, and
// allocation failures.
#include <gtest/gtest.h>

#include <algorithm>
#include <complex>
#include <fstream>
#include <limits>
#include <sstream>
#include <map>
#include <string>
#include <vector>

#include "tests/sparse_solver/korvine_support.h"
#include "testalloc.h"

namespace ztr::test {
namespace {

using C = std::complex<double>;
using CF = std::complex<float>;

// A complex matrix with its full pattern, zero-based rows with ascending columns.
struct CSparse {
  int n = 0;
  std::vector<int> ia{0}, ja;
  std::vector<C> a;
};

CSparse from_entries(int n, const std::map<std::pair<int, int>, C>& m) {
  CSparse s;
  s.n = n;
  for (int i = 0; i < n; ++i) {
    for (auto it = m.lower_bound({i, 0}); it != m.end() && it->first.first == i; ++it) {
      s.ja.push_back(it->first.second);
      s.a.push_back(it->second);
    }
    s.ia.push_back(static_cast<int>(s.ja.size()));
  }
  return s;
}

// The 7-point pattern of an nx x ny x nz grid with `diag` on the diagonal and `off(i, j)` for
// the neighbour j of i.
template <class Off>
CSparse grid(int nx, int ny, int nz, C diag, Off off) {
  std::map<std::pair<int, int>, C> m;
  const int n = nx * ny * nz;
  for (int z = 0; z < nz; ++z)
    for (int y = 0; y < ny; ++y)
      for (int x = 0; x < nx; ++x) {
        const int i = x + nx * (y + ny * z);
        m[{i, i}] = diag;
        auto link = [&](int j) { m[{i, j}] = off(i, j); };
        if (x > 0) link(i - 1);
        if (x + 1 < nx) link(i + 1);
        if (y > 0) link(i - nx);
        if (y + 1 < ny) link(i + nx);
        if (z > 0) link(i - nx * ny);
        if (z + 1 < nz) link(i + nx * ny);
      }
  return from_entries(n, m);
}

// Helmholtz: -Laplacian - k^2 with a small absorbing imaginary part (complex symmetric,
// indefinite for k^2 above the smallest eigenvalue of the Laplacian).
CSparse helmholtz(int nx, int ny, int nz) {
  return grid(nx, ny, nz, C(6.0 - 2.5, 0.05), [](int, int) { return C(-1, 0); });
}
// A magnetic Laplacian: the neighbours carry phases e^{i theta}, conjugate across the
// diagonal (Hermitian); positive definite for a diagonal above 6, indefinite below.
CSparse magnetic(int nx, int ny, int nz, double diag) {
  return grid(nx, ny, nz, C(diag, 0), [](int i, int j) {
    const double theta = 0.3 * (i + 2 * j) - 0.3 * (j + 2 * i);  // odd under i <-> j
    return -std::polar(1.0, theta);
  });
}
// Complex convection-diffusion (unsymmetric values on a symmetric pattern).
CSparse convection(int nx, int ny, int nz) {
  return grid(nx, ny, nz, C(6.5, 0.5), [](int i, int j) {
    return j > i ? C(-1.0 - 0.4, 0.2) : C(-1.0 + 0.4, -0.1);
  });
}

// A Hermitian matrix of known inertia: L*D*L^H with L unit lower triangular with two
// sub-diagonals (at 1 and at `far`) and D real with `negative` negative entries, so that by
// Sylvester's law of inertia it has exactly that many negative eigenvalues.
CSparse known_inertia(int n, int far, int negative) {
  std::vector<std::map<int, C>> l(n);  // l[i][j]: column j of row i, j <= i
  for (int i = 0; i < n; ++i) {
    l[i][i] = 1;
    if (i >= 1) l[i][i - 1] = C(0.5, 0.25 * ((i % 3) - 1));
    if (i >= far) l[i][i - far] = C(-0.3, 0.2);
  }
  std::vector<double> d(n);
  for (int i = 0; i < n; ++i) d[i] = (i * 7 % n) < negative ? -(1.0 + i % 4) : 1.0 + i % 5;
  std::map<std::pair<int, int>, C> m;
  for (int i = 0; i < n; ++i)
    for (int j = std::max(0, i - 2 * far); j <= i; ++j) {
      C v = 0;
      for (auto [k, lik] : l[i]) {
        auto it = l[j].find(k);
        if (it != l[j].end()) v += lik * d[k] * std::conj(it->second);
      }
      if (v != C(0)) m[{i, j}] = v, m[{j, i}] = std::conj(v);
    }
  return from_entries(n, m);
}

// B = P*A with rows 2k and 2k+1 exchanged for every k with k % 3 == 0: zero diagonals that
// only a matching repairs.
// With `rotate`, the exchanged rows are also multiplied by i (a real matrix gives rows of
// purely imaginary values, which a matching must weigh by their modulus).
CSparse swap_rows(const CSparse& s, bool rotate = false) {
  std::map<std::pair<int, int>, C> m;
  for (int i = 0; i < s.n; ++i) {
    int r = i;
    if ((i / 2) % 3 == 0 && (i ^ 1) < s.n) r = i ^ 1;
    for (int e = s.ia[i]; e < s.ia[i + 1]; ++e)
      m[{r, s.ja[e]}] = r != i && rotate ? s.a[e] * C(0, 1) : s.a[e];
  }
  return from_entries(s.n, m);
}

// The solver's input for type `mtype` in value type T with index base 1.
template <typename T>
Input<T> input_of(const CSparse& s, bool upper) {
  Input<T> in;
  in.n = s.n;
  in.ia.push_back(1);
  for (int i = 0; i < s.n; ++i) {
    for (int e = s.ia[i]; e < s.ia[i + 1]; ++e) {
      if (upper && s.ja[e] < i) continue;
      in.ja.push_back(s.ja[e] + 1);
      in.a.push_back(T(s.a[e]));
    }
    in.ia.push_back(static_cast<int>(in.ja.size()) + 1);
  }
  return in;
}

// max over columns of ||op(A) x - b||_inf / ((||A||_inf ||x||_inf + ||b||_inf) n eps), op by
// transpose mode: 0 A, 1 A^H, 2 A'.
template <typename T>
double backward_ratio(const CSparse& s, const std::vector<T>& x, const std::vector<T>& b,
                      int nrhs, int mode) {
  const double eps = std::numeric_limits<typename T::value_type>::epsilon();
  // The larger of the largest row and column sums: a norm of A and of its transposes.
  std::vector<double> rows(s.n), cols(s.n);
  for (int i = 0; i < s.n; ++i)
    for (int e = s.ia[i]; e < s.ia[i + 1]; ++e) {
      rows[i] += std::abs(s.a[e]);
      cols[s.ja[e]] += std::abs(s.a[e]);
    }
  const double norm = std::max(*std::max_element(rows.begin(), rows.end()),
                               *std::max_element(cols.begin(), cols.end()));
  double worst = 0;
  for (int c = 0; c < nrhs; ++c) {
    std::vector<C> r(s.n);
    double nx = 0, nb = 0;
    for (int i = 0; i < s.n; ++i) {
      r[i] = C(b[i + c * s.n]);
      nx = std::max(nx, static_cast<double>(std::abs(x[i + c * s.n])));
      nb = std::max(nb, static_cast<double>(std::abs(b[i + c * s.n])));
    }
    for (int i = 0; i < s.n; ++i)
      for (int e = s.ia[i]; e < s.ia[i + 1]; ++e) {
        const int j = s.ja[e];
        const C v = s.a[e];
        if (mode == 0)
          r[i] -= v * C(x[j + c * s.n]);
        else
          r[j] -= (mode == 1 ? std::conj(v) : v) * C(x[i + c * s.n]);
      }
    double nr = 0;
    for (const C& v : r) nr = std::max(nr, std::abs(v));
    worst = std::max(worst, nr / ((norm * nx + nb) * s.n * eps));
  }
  return worst;
}

template <typename T>
std::vector<T> rhs(int n, int nrhs) {
  std::vector<T> b(static_cast<std::size_t>(n) * nrhs);
  for (std::size_t i = 0; i < b.size(); ++i)
    b[i] = T(static_cast<float>(1 + i % 7), static_cast<float>(static_cast<int>(i % 5) - 2));
  return b;
}

struct Problem {
  const char* name;
  int mtype;
  CSparse m;
};

std::vector<Problem> problems() {
  return {{"Helmholtz grid", 6, helmholtz(8, 7, 6)},
          {"magnetic Laplacian, definite", 4, magnetic(8, 7, 6, 6.5)},
          {"magnetic Laplacian, indefinite", -4, magnetic(8, 7, 6, 1.5)},
          {"known inertia", -4, known_inertia(300, 17, 90)},
          {"convection-diffusion", 3, convection(8, 7, 6)},
          {"convection-diffusion, zero diagonals", 13, swap_rows(convection(8, 7, 6))},
          {"imaginary rows", 13,
           swap_rows(grid(8, 7, 6, C(6.5, 0), [](int i, int j) { return C(j > i ? -1.4 : -0.6, 0); }),
                     true)}};
}

template <typename T>
void solve_every_type(double bound) {
  for (const Problem& p : problems()) {
    SCOPED_TRACE(p.name);
    const bool upper = p.mtype % 2 == 0;
    Input<T> in = input_of<T>(p.m, upper);
    constexpr int nrhs = 3;
    std::vector<T> b = rhs<T>(p.m.n, nrhs), x(b.size());
    Korvine k(p.mtype, {{27, std::is_same_v<T, CF> ? 1 : 0}});
    ASSERT_EQ(k.call(13, in, b.data(), x.data(), nrhs), 0);
    EXPECT_LT(backward_ratio(p.m, x, b, nrhs, 0), bound);
    if (p.mtype == -4) {
      EXPECT_EQ(k.iparm[21] + k.iparm[22], p.m.n);
      if (p.m.n == 300) {
        EXPECT_EQ(k.iparm[22], 90) << "inertia";
      }
    }
    // A second factorization and solve on the same handle, the solution overwriting b.
    std::vector<T> bx = b;
    k.iparm[5] = 1;
    ASSERT_EQ(k.call(23, in, bx.data(), x.data(), nrhs), 0);
    EXPECT_LT(backward_ratio(p.m, bx, b, nrhs, 0), bound);
    k.iparm[5] = 0;
    // Transposed and conjugate-transposed solves (iparm[11] = 2 and 1), against the explicitly
    // transposed product: for the symmetric-storage types one of them is A itself, the other
    // conj(A).
    for (const int mode : {1, 2}) {
      k.iparm[11] = mode == 1 ? 2 : 1;
      ASSERT_EQ(k.call(13, in, b.data(), x.data(), nrhs), 0);
      EXPECT_LT(backward_ratio(p.m, x, b, nrhs, mode), bound) << "mode " << mode;
    }
  }
}

TEST(KorvineComplex, EveryTypeSolvesInDouble) { solve_every_type<C>(30.0); }
TEST(KorvineComplex, EveryTypeSolvesInSingle) { solve_every_type<CF>(30.0); }

// The inertia of a Hermitian indefinite matrix is that of D, and the matching's 2x2 pairs and
// its scaling keep it; the same matrix solved from one- and two-thread handles agrees.
TEST(KorvineComplex, HermitianInertiaWithMatchingAndThreads) {
  const CSparse m = known_inertia(500, 23, 211);
  Input<C> in = input_of<C>(m, true);
  std::vector<C> b = rhs<C>(m.n, 1), x1(b.size()), x2(b.size());
  const int given = ZTR_Get_Max_Threads();
  ZTR_Set_Num_Threads(1);
  Korvine k1(-4, {{12, 1}, {10, 1}});
  ASSERT_EQ(k1.call(13, in, b.data(), x1.data()), 0);
  EXPECT_EQ(k1.iparm[22], 211);
  EXPECT_EQ(k1.iparm[21], 500 - 211);
  EXPECT_LT(backward_ratio(m, x1, b, 1, 0), 30.0);
  ZTR_Set_Num_Threads(2);
  Korvine k2(-4, {{12, 1}, {10, 1}});
  ASSERT_EQ(k2.call(13, in, b.data(), x2.data()), 0);
  ZTR_Set_Num_Threads(given);
  for (int i = 0; i < m.n; ++i) EXPECT_NEAR(std::abs(x1[i] - x2[i]), 0.0, 1e-12 * std::abs(x1[i]));
}

// The paths around the direct solve on complex values: zero-based input with a returned
// permutation given back as the caller's, refinement in extended precision, the Krylov
// iterations (CG for the Hermitian definite type, CGS otherwise) on the factors of a nearby
// matrix, and the partial solve.
TEST(KorvineComplex, RefinementKrylovPartialSolveAndPermutations) {
  for (const int mtype : {4, 13}) {
    SCOPED_TRACE(mtype);
    const CSparse m = mtype == 4 ? magnetic(7, 6, 5, 6.5) : swap_rows(convection(7, 6, 5));
    const bool upper = mtype == 4;
    Input<C> in = input_of<C>(m, upper);
    std::vector<C> b = rhs<C>(m.n, 2), x(b.size()), full(b.size());
    {
      // Zero-based, with the ordering returned and then given back, and 80-bit refinement.
      Input<C> zero = in;
      for (int& v : zero.ia) --v;
      for (int& v : zero.ja) --v;
      std::vector<int> perm(m.n);
      Korvine k(mtype, {{34, 1}, {4, 2}, {7, -3}});
      ASSERT_EQ(k.call(13, zero, b.data(), full.data(), 2, perm.data()), 0);
      EXPECT_LT(backward_ratio(m, full, b, 2, 0), 30.0);
      EXPECT_GT(k.iparm[6], 0) << "refinement steps";
      Korvine given(mtype, {{34, 1}, {4, 1}});
      ASSERT_EQ(given.call(13, zero, b.data(), x.data(), 2, perm.data()), 0);
      EXPECT_LT(backward_ratio(m, x, b, 2, 0), 30.0);
    }
    {
      // The factors of A precondition the iteration on A + 0.01 i I.
      Korvine k(mtype, {{3, 61}});
      ASSERT_EQ(k.call(12, in, b.data(), x.data(), 2), 0);
      CSparse near = m;
      for (int i = 0; i < m.n; ++i)
        for (int e = m.ia[i]; e < m.ia[i + 1]; ++e)
          if (m.ja[e] == i) near.a[e] += C(mtype == 4 ? 0.01 : 0.0, mtype == 4 ? 0.0 : 0.01);
      Input<C> nin = input_of<C>(near, upper);
      ASSERT_EQ(k.call(33, nin, b.data(), x.data(), 2), 0) << k.iparm[19];
      EXPECT_GT(k.iparm[19], 0);
      EXPECT_LT(backward_ratio(near, x, b, 2, 0), 1e6) << "tolerance 1e-6";
    }
    {
      std::vector<int> perm(m.n);
      for (int i = 0; i < m.n; i += 4) perm[i] = 1;
      Korvine k(mtype, {{30, 1}});
      ASSERT_EQ(k.call(13, in, b.data(), x.data(), 2, perm.data()), 0);
      for (int c = 0; c < 2; ++c)
        for (int i = 0; i < m.n; i += 4)
          EXPECT_LT(std::abs(x[i + c * m.n] - full[i + c * m.n]), 1e-10 * std::abs(full[i + c * m.n]));
    }
  }
}

// A complex diagonal matrix takes the shortcut: x = b / a, and no inertia is reported.
TEST(KorvineComplex, DiagonalShortcut) {
  Input<C> in;
  in.n = 3;
  in.ia = {1, 2, 3, 4};
  in.ja = {1, 2, 3};
  in.a = {C(1, 1), C(0, -2), C(-4, 0)};
  std::vector<C> b = {C(2, 0), C(2, 2), C(1, 1)}, x(3);
  Korvine k(13);
  k.iparm[21] = k.iparm[22] = -5;
  ASSERT_EQ(k.call(13, in, b.data(), x.data()), 0);
  for (int i = 0; i < 3; ++i) EXPECT_LT(std::abs(x[i] - b[i] / in.a[i]), 1e-15);
  EXPECT_EQ(k.iparm[21], -5);
  EXPECT_EQ(k.iparm[11], -1);
  in.a[1] = 0;
  EXPECT_EQ(k.call(13, in, b.data(), x.data()), -7);
}

// A stored complex matrix (coordinate format; a Hermitian file holds the lower triangle).
CSparse read_complex_mtx(const std::string& path) {
  std::ifstream f(path);
  std::string line;
  std::getline(f, line);
  const bool hermitian = line.find("hermitian") != std::string::npos;
  while (std::getline(f, line) && line[0] == '%') {
  }
  int n = 0, cols = 0, nnz = 0;
  std::istringstream(line) >> n >> cols >> nnz;
  EXPECT_GT(n, 0) << path;
  std::map<std::pair<int, int>, C> m;
  for (int k = 0, i = 0, j = 0; k < nnz && f >> i >> j; ++k) {
    double re = 0, im = 0;
    f >> re >> im;
    m[{i - 1, j - 1}] = C(re, im);
    if (hermitian && i != j) m[{j - 1, i - 1}] = C(re, -im);
  }
  return from_entries(n, m);
}

// The stored complex matrices: the unsymmetric acoustics matrix as type 13, in both
// precisions, and the small Hermitian example as types 4 and -4.
TEST(KorvineComplex, StoredMatrices) {
  const CSparse young = read_complex_mtx(ZTR_SOURCE_DIR "/tests/data/young1c.mtx");
  ASSERT_EQ(young.n, 841);
  {
    Input<C> in = input_of<C>(young, false);
    std::vector<C> b = rhs<C>(young.n, 2), x(b.size());
    Korvine k(13);
    ASSERT_EQ(k.call(13, in, b.data(), x.data(), 2), 0);
    EXPECT_LT(backward_ratio(young, x, b, 2, 0), 30.0);
  }
  {
    Input<CF> in = input_of<CF>(young, false);
    std::vector<CF> b = rhs<CF>(young.n, 1), x(b.size());
    Korvine k(13, {{27, 1}});
    ASSERT_EQ(k.call(13, in, b.data(), x.data()), 0);
    EXPECT_LT(backward_ratio(young, x, b, 1, 0), 30.0);
  }
  const CSparse tiny = read_complex_mtx(ZTR_SOURCE_DIR "/tests/data/c.mtx");
  for (const int mtype : {4, -4}) {
    Input<C> in = input_of<C>(tiny, true);
    std::vector<C> b = rhs<C>(tiny.n, 1), x(b.size());
    Korvine k(mtype);
    ASSERT_EQ(k.call(13, in, b.data(), x.data()), 0) << mtype;
    EXPECT_LT(backward_ratio(tiny, x, b, 1, 0), 30.0) << mtype;
  }
}

// Every allocation failure of a complex solve is an error -2 (or a path without the buffer)
// with nothing leaked; the handle is still released.
TEST(KorvineComplex, AllocationFailuresAreReportedAndNothingLeaks) {
  Disarm disarm;
  for (const int mtype : {13, -4}) {
    SCOPED_TRACE(mtype);
    const CSparse m = mtype == 13 ? swap_rows(convection(5, 4, 3)) : magnetic(5, 4, 3, 1.5);
    Input<C> in = input_of<C>(m, mtype == -4);
    std::vector<C> b = rhs<C>(m.n, 1), x(b.size());
    long live = 0;
    for (int k = 0;; ++k) {
      Korvine solver(mtype, {{7, 2}, {12, 1}}, 1);
      if (k == 0) {
        ASSERT_EQ(solver.call_captured(13, in, b.data(), x.data()), 0);
        solver.release();
        live = ztr_testalloc_live();
        continue;
      }
      const long failures = ztr_testalloc_failures();
      ztr_testalloc_fail_nth(k, 0);
      const int err = solver.call_captured(13, in, b.data(), x.data());
      const bool hit = ztr_testalloc_failures() > failures;
      ztr_testalloc_reset();
      solver.release();
      ASSERT_EQ(ztr_testalloc_live(), live) << "allocation " << k;
      if (!hit) {
        ASSERT_EQ(err, 0);
        EXPECT_LT(backward_ratio(m, x, b, 1, 0), 30.0);
        break;
      }
      if (err == 0) continue;
      ASSERT_TRUE(err == -2 || err == -4) << "allocation " << k << "\n" << solver.out;
    }
  }
}

// The banner of every complex type.
TEST(KorvineComplex, ReportBanners) {
  const std::map<int, std::string> banners = {
      {3, "=== KORVINE: solving a complex structurally symmetric system ==="},
      {4, "=== KORVINE: solving a Hermitian positive definite system ==="},
      {-4, "=== KORVINE: solving a Hermitian indefinite system ==="},
      {6, "=== KORVINE: solving a complex symmetric system ==="},
      {13, "=== KORVINE: solving a complex nonsymetric system ==="}};
  const CSparse m = magnetic(4, 3, 2, 6.5);
  for (const auto& [mtype, text] : banners) {
    Input<C> in = input_of<C>(m, mtype % 2 == 0);
    std::vector<C> b = rhs<C>(m.n, 1), x(b.size());
    Korvine k(mtype, {}, 1);
    ASSERT_EQ(k.call_captured(13, in, b.data(), x.data()), 0) << mtype;
    EXPECT_TRUE(k.printed("\n" + text + "\n")) << k.out;
  }
}

}  // namespace
}  // namespace ztr::test
