// The generalized symmetric-definite eigenproblem, DSYGV and DSYGVD and their LAPACKE
// exports: for every itype, triangle and job, the residual of the problem, B-orthonormality
// of the vectors and the eigenvalues against a spectrum built in; the small cases, a B that
// is not positive definite, argument errors with their texts and LAPACKE codes, the
// workspace queries and the row-major layout (allocation failures and leaks: the sweep).
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "blas/level3/level3.h"
#include "eigen_checks.h"
#include "error_text.h"
#include "include/ztr.h"
#include "lapack/sygv/sygv.h"

namespace ztr {
namespace {

using test::at;
using test::Matrix;
using test::max_abs;
using test::mul;
constexpr double kBound = 30.0;  // the usual LAPACK test threshold on scaled ratios

// B = F*F' with F lower triangular, dense and well conditioned, G = inv(F), C with the
// eigenvalues lambda, and A = F*C*F' (itype 1) or G'*C*G (itypes 2 and 3), so that lambda
// are the eigenvalues in every case.
struct Problem {
  int n;
  Matrix a, b, b_inverse;
  std::vector<double> lambda;  // ascending
};

Problem make_problem(int itype, int n, std::uint64_t seed) {
  const test::Tridiagonal t = test::diagonal(n, test::Spectrum::kRandom, seed);
  const Matrix c = test::dense_from(t, n, seed);
  test::Rng r(static_cast<test::Rng::result_type>(seed + 1));
  Matrix f(static_cast<std::size_t>(n) * n, 0.0), g = f;
  for (int j = 0; j < n; ++j) {
    at(f, n, j, j) = 1.5 + 0.5 * test::uniform(r);
    at(g, n, j, j) = 1.0;
    for (int i = j + 1; i < n; ++i) at(f, n, i, j) = test::uniform(r) / n;
  }
  const double one = 1.0;
  ztr_blas_dtrsm("L", "L", "N", "N", &n, &n, &one, f.data(), &n, g.data(), &n);
  Problem p{n, {}, mul(n, f, false, f, true), mul(n, g, true, g, false), t.d};
  p.a = itype == 1 ? mul(n, mul(n, f, false, c, false), false, f, true)
                   : mul(n, mul(n, g, true, c, false), false, g, false);
  for (int j = 0; j < n; ++j)  // exactly symmetric
    for (int i = j + 1; i < n; ++i) at(p.a, n, j, i) = at(p.a, n, i, j);
  return p;
}

// The problem's residual for the computed pairs (A*Z - B*Z*W, A*B*Z - Z*W or B*A*Z - Z*W),
// and ||Z'*M*Z - I|| with M = B (itypes 1, 2) or inv(B) (itype 3), scaled by n*eps and the
// sizes involved.
void expect_solution(int itype, const Problem& p, const Matrix& z, const std::vector<double>& w) {
  const int n = p.n;
  Matrix lhs = itype == 1   ? mul(n, p.a, false, z, false)
               : itype == 2 ? mul(n, p.a, false, mul(n, p.b, false, z, false), false)
                            : mul(n, p.b, false, mul(n, p.a, false, z, false), false);
  const Matrix rhs = itype == 1 ? mul(n, p.b, false, z, false) : z;
  for (int j = 0; j < n; ++j)
    for (int i = 0; i < n; ++i) at(lhs, n, i, j) -= rhs[i + static_cast<std::size_t>(j) * n] * w[j];
  EXPECT_LT(max_abs(lhs) / (max_abs(p.a) * max_abs(z) * n * n * test::kEps), kBound);
  Matrix g = mul(n, z, true, mul(n, itype == 3 ? p.b_inverse : p.b, false, z, false), false);
  for (int i = 0; i < n; ++i) at(g, n, i, i) -= 1.0;
  EXPECT_LT(max_abs(g) / (n * test::kEps * std::max(1.0, max_abs(z) * max_abs(z) * n)), kBound);
}

enum class Driver { kSygv, kSygvd };

int call(Driver d, int itype, char jobz, char uplo, int n, double* a, int lda, double* b, int ldb,
         double* w, double* work, int lwork, int* iwork, int liwork) {
  int info = -99;
  if (d == Driver::kSygv)
    dsygv(&itype, &jobz, &uplo, &n, a, &lda, b, &ldb, w, work, &lwork, &info);
  else
    dsygvd(&itype, &jobz, &uplo, &n, a, &lda, b, &ldb, w, work, &lwork, iwork, &liwork, &info);
  return info;
}

// One driver with its queried workspace.
int solve(Driver d, int itype, char jobz, char uplo, int n, double* a, double* b, double* w) {
  double wq = 0.0;
  int iq = 0;
  const int lda = std::max(1, n);
  const int info = call(d, itype, jobz, uplo, n, a, lda, b, lda, w, &wq, -1, &iq, -1);
  if (info != 0) return info;
  std::vector<double> work(std::max(1, static_cast<int>(wq)));
  std::vector<int> iwork(std::max(1, iq));
  return call(d, itype, jobz, uplo, n, a, lda, b, lda, w, work.data(),
              static_cast<int>(work.size()), iwork.data(), static_cast<int>(iwork.size()));
}

TEST(Sygv, EveryItypeTriangleAndJobSolvesTheProblem) {
  for (Driver d : {Driver::kSygv, Driver::kSygvd})
    for (int itype : {1, 2, 3})
      for (int n : {5, 90}) {
        const Problem p = make_problem(itype, n, static_cast<std::uint64_t>(itype * 100 + n));
        for (char uplo : {'L', 'U'})
          for (char jobz : {'V', 'N'}) {
            SCOPED_TRACE(std::string(d == Driver::kSygv ? "dsygv" : "dsygvd") + " itype " +
                         std::to_string(itype) + " " + uplo + jobz + " n " + std::to_string(n));
            Matrix a = p.a, b = p.b;
            std::vector<double> w(n);
            ASSERT_EQ(solve(d, itype, jobz, uplo, n, a.data(), b.data(), w.data()), 0);
            EXPECT_LT(test::value_error(max_abs(p.lambda), n, w.data(), p.lambda.data(), n) / 2,
                      kBound);
            if (jobz == 'V') expect_solution(itype, p, a, w);
          }
      }
}

TEST(Sygv, SmallOrdersABNotPositiveDefiniteAndArgumentErrors) {
  const Problem p = make_problem(1, 4, 3);
  for (Driver d : {Driver::kSygv, Driver::kSygvd}) {
    const bool divide = d == Driver::kSygvd;
    for (char jobz : {'N', 'V'}) {
      double a = 8.0, b = 4.0, w = 0.0;
      EXPECT_EQ(solve(d, 1, jobz, 'U', 1, &a, &b, &w), 0);
      EXPECT_EQ(w, 2.0);
      EXPECT_EQ(b, 2.0);  // the Cholesky factor
      EXPECT_EQ(a, jobz == 'V' ? 0.5 : a);
    }
    // n = 0: nothing to do, and the reported workspace is 1.
    double wq = 0.0, dummy = 0.0;
    int iq = 0;
    EXPECT_EQ(call(d, 1, 'V', 'L', 0, &dummy, 1, &dummy, 1, &dummy, &wq, -1, &iq, -1), 0);
    EXPECT_EQ(wq, 1.0);
    EXPECT_EQ(iq, divide ? 1 : iq);
    // B not positive definite at order 1 and at order 3: n + k, a untouched.
    for (int k : {1, 3}) {
      const Problem q = make_problem(1, 6, 7);
      Matrix a = q.a, b = q.b;
      at(b, 6, k - 1, k - 1) = -1.0;
      std::vector<double> w(6, -7.0);
      EXPECT_EQ(solve(d, 2, 'V', 'L', 6, a.data(), b.data(), w.data()), 6 + k);
      EXPECT_EQ(a, q.a);
    }
    struct Case {
      int itype;
      char jobz, uplo;
      int n, lda, ldb, lwork, liwork, info;
    };
    const int big = 1000;
    for (Case c :
         {Case{0, 'V', 'U', 4, 4, 4, big, big, -1}, Case{4, 'N', 'L', 4, 4, 4, big, big, -1},
          Case{1, 'X', 'U', 4, 4, 4, big, big, -2}, Case{2, 'V', 'X', 4, 4, 4, big, big, -3},
          Case{3, 'n', 'u', -1, 4, 4, big, big, -4}, Case{1, 'V', 'L', 4, 3, 4, big, big, -6},
          Case{1, 'V', 'L', 4, 4, 3, big, big, -8}, Case{1, 'V', 'L', 4, 4, 4, 1, big, -11},
          Case{1, 'V', 'L', 4, 4, 4, big, 1, divide ? -13 : 0}}) {
      if (c.info == 0) continue;
      Matrix a = p.a, b = p.b;
      std::vector<double> w(4, -7.0), work(big, 0.0);
      std::vector<int> iwork(big, 0);
      int info = 0;
      EXPECT_EQ(test::captured([&] {
                  info = call(d, c.itype, c.jobz, c.uplo, c.n, a.data(), c.lda, b.data(), c.ldb,
                              w.data(), work.data(), c.lwork, iwork.data(), c.liwork);
                }),
                test::xerbla_text(divide ? "DSYGVD" : "DSYGV ", -c.info));
      EXPECT_EQ(info, c.info);
      EXPECT_EQ(a, p.a);
      EXPECT_EQ(b, p.b);
      EXPECT_EQ(w[0], -7.0);
    }
  }
  // DSYGVD without vectors runs with the minimal workspace 2n + 1.
  Problem q = make_problem(1, 100, 11);
  std::vector<double> w(100), work(201);
  int iq = 0;
  EXPECT_EQ(call(Driver::kSygvd, 1, 'N', 'U', 100, q.a.data(), 100, q.b.data(), 100, w.data(),
                 work.data(), 201, &iq, 1),
            0);
  EXPECT_LT(test::value_error(max_abs(q.lambda), 100, w.data(), q.lambda.data(), 100), kBound);
}

using Export = int (*)(int, int, char, char, int, double*, int, double*, int, double*);

TEST(LapackeSygv, CodesLayoutsAndResults) {
  const int n = 30;
  const Problem p = make_problem(2, n, 5);
  for (Export f : {&LAPACKE_dsygv, &LAPACKE_dsygvd}) {
    const std::string name = f == &LAPACKE_dsygv ? "LAPACKE_dsygv" : "LAPACKE_dsygvd";
    SCOPED_TRACE(name);
    struct Case {
      int layout, itype, lda, ldb, nan_in_a, nan_in_b, code;
      std::string message;
    };
    for (const Case& c :
         {Case{100, 2, n, n, -1, -1, -1, "Wrong parameter 1 in " + name + "\n"},
          // NaNs in either triangle: a's is -6, b's -8, nothing printed.
          Case{ZTR_COL_MAJOR, 2, n, n, n * (n - 1), -1, -6, ""},
          Case{ZTR_ROW_MAJOR, 2, n, n, -1, n - 1, -8, ""},
          Case{ZTR_ROW_MAJOR, 2, n - 1, n, -1, -1, -7, "Wrong parameter 7 in " + name + "_work\n"},
          Case{ZTR_ROW_MAJOR, 2, n, n - 1, -1, -1, -9, "Wrong parameter 9 in " + name + "_work\n"},
          // A bad itype is the driver's parameter 1, the export's 2.
          Case{ZTR_COL_MAJOR, 0, n, n, -1, -1, -2,
               test::xerbla_text(name == "LAPACKE_dsygv" ? "DSYGV " : "DSYGVD", 1)}}) {
      Matrix a = p.a, b = p.b;
      std::vector<double> w(n);
      if (c.nan_in_a >= 0) a[c.nan_in_a] = test::kNaN;
      if (c.nan_in_b >= 0) b[c.nan_in_b] = test::kNaN;
      int info = 0;
      EXPECT_EQ(test::captured([&] {
                  info =
                      f(c.layout, c.itype, 'V', 'L', n, a.data(), c.lda, b.data(), c.ldb, w.data());
                }),
                c.message);
      EXPECT_EQ(info, c.code);
    }
    // Row-major input of the same symmetric matrices gives the transposed vectors.
    Matrix a = p.a, b = p.b, ar = p.a, br = p.b;
    std::vector<double> w(n), wr(n);
    ASSERT_EQ(f(ZTR_COL_MAJOR, 2, 'V', 'L', n, a.data(), n, b.data(), n, w.data()), 0);
    ASSERT_EQ(f(ZTR_ROW_MAJOR, 2, 'V', 'L', n, ar.data(), n, br.data(), n, wr.data()), 0);
    EXPECT_EQ(w, wr);
    for (int j = 0; j < n; ++j)
      for (int i = 0; i < n; ++i) ASSERT_EQ(at(a, n, i, j), at(ar, n, j, i));
    // B not positive definite: n + 1, positive, passed through.
    a = p.a, b = p.b, b[0] = -4.0;
    EXPECT_EQ(f(ZTR_COL_MAJOR, 1, 'N', 'U', n, a.data(), n, b.data(), n, w.data()), n + 1);
  }
}

}  // namespace
}  // namespace ztr
