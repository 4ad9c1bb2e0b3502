// The exports under hostile arguments: offsets beyond 32-bit arithmetic, non-finite inputs,
// negative and zero dimensions with unused null arrays.
#include <gtest/gtest.h>
#include <sys/mman.h>

#include <cmath>
#include <limits>
#include <memory>
#include <vector>

#include "include/ztr.h"
#include "tests/lapack/error_text.h"
#include "tests/lapack/lu_matrices.h"
#include "tests/reliability/workload.h"

namespace ztr::test {
namespace {

const double kInf = std::numeric_limits<double>::infinity();

// An array of `count` doubles reserved in the address space only: the pages a call touches
// become real (zero-filled), the rest costs nothing.  Null when the space cannot be reserved.
struct Unmap {
  std::size_t bytes;
  void operator()(double* p) const { munmap(p, bytes); }
};
using Reserved = std::unique_ptr<double[], Unmap>;
Reserved reserve(std::size_t count) {
  const std::size_t bytes = count * sizeof(double);
  void* p = mmap(nullptr, bytes, PROT_READ | PROT_WRITE,
                 MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
  return Reserved(p == MAP_FAILED ? nullptr : static_cast<double*>(p), Unmap{bytes});
}

// Leading dimensions and increments for which element offsets pass 2^31 within a few columns:
// every index must be computed in address-sized arithmetic.
TEST(HostileArguments, OffsetsBeyondThirtyTwoBits) {
  if (sizeof(void*) < 8) GTEST_SKIP() << "needs a 64-bit address space";
  const int ld = (1 << 27) + 3, n = 80;  // past 2^32 after 32 columns
  const std::size_t span = static_cast<std::size_t>(ld) * n;
  const Reserved a = reserve(span), b = reserve(span), c = reserve(span);
  // A memory checker, or a system that does not overcommit, may refuse 260 GB of address
  // space: nothing can be tested there.
  if (!(a && b && c)) GTEST_SKIP() << "cannot reserve the address space";
  auto at = [&](int i, int j) { return i + static_cast<std::size_t>(j) * ld; };
  for (int j = 0; j < n; ++j)
    for (int i = 0; i < n; ++i) {
      a[at(i, j)] = (i + 2 * j) % 5 - 2;
      b[at(i, j)] = (3 * i + j) % 7 - 3;
    }
  // C := A*B on small integers, exact.
  const double one = 1, zero = 0;
  DGEMM("N", "N", &n, &n, &n, &one, a.get(), &ld, b.get(), &ld, &zero, c.get(), &ld);
  int bad = 0;
  for (int j = 0; j < n; ++j)
    for (int i = 0; i < n; ++i)
      bad += c[at(i, j)] != ref_product('N', a.get(), ld, 'N', b.get(), ld, n, i, j).value;
  EXPECT_EQ(bad, 0) << "DGEMM";

  // The LU of a matrix with known factors, in both layouts, and its inverse.
  const KnownLu k = make_known_lu(n, n, 0, 3);
  for (int layout : {ZTR_COL_MAJOR, ZTR_ROW_MAJOR}) {
    auto el = [&](int i, int j) { return layout == ZTR_COL_MAJOR ? at(i, j) : at(j, i); };
    for (int j = 0; j < n; ++j)
      for (int i = 0; i < n; ++i) a[el(i, j)] = k.a[i + j * n];
    std::vector<int> ipiv(n);
    ASSERT_EQ(LAPACKE_dgetrf(layout, n, n, a.get(), ld, ipiv.data()), 0);
    bad = 0;
    for (int j = 0; j < n; ++j)
      for (int i = 0; i < n; ++i) bad += a[el(i, j)] != k.lu[i + j * n];
    EXPECT_EQ(bad, 0) << "LAPACKE_dgetrf " << layout;
    EXPECT_EQ(ipiv, k.ipiv);
    ASSERT_EQ(LAPACKE_dgetri(layout, n, a.get(), ld, ipiv.data()), 0);
    const std::size_t rs = layout == ZTR_COL_MAJOR ? 1 : ld, cs = layout == ZTR_COL_MAJOR ? ld : 1;
    EXPECT_LT(inverse_residual(n, k.a.data(), 1, n, a.get(), rs, cs), 30)
        << "LAPACKE_dgetri " << layout;
  }

  // The dot product with increments whose offsets pass 2^31, forwards and backwards.
  const int inc = 1 << 30;
  const Reserved x = reserve(static_cast<std::size_t>(inc) * 2 + 1);
  if (!x) GTEST_SKIP() << "cannot reserve the address space";
  x[0] = 1, x[inc] = 2, x[2 * static_cast<std::size_t>(inc)] = 4;
  const double y[3] = {1, 10, 100};
  EXPECT_EQ(cblas_ddot(3, x.get(), inc, y, 1), 421.0);
  EXPECT_EQ(cblas_ddot(3, x.get(), -inc, y, 1), 124.0);
}

// NaN and infinity reach exactly the outputs of the multiply that depend on them, and
// alpha = 0 reads neither A nor B.
TEST(HostileArguments, NonFiniteInputs) {
  const int n = 160;  // threaded paths on a multi-core machine
  std::vector<double> a = random_matrix(n, n, n, 1), b = random_matrix(n, n, n, 2);
  a[7 + 30 * n] = kNaN;   // row 7 of A
  b[40 + 90 * n] = kInf;  // row 40 of B: column 90 of C gets infinities or NaNs
  std::vector<double> c(static_cast<std::size_t>(n) * n, 0.0);
  const double one = 1, zero = 0, half = 0.5;
  DGEMM("N", "N", &n, &n, &n, &one, a.data(), &n, b.data(), &n, &zero, c.data(), &n);
  int misplaced = 0;
  for (int j = 0; j < n; ++j)
    for (int i = 0; i < n; ++i) {
      const double v = c[i + j * n];
      misplaced += i == 7 ? !std::isnan(v) : std::isfinite(v) == (j == 90);
    }
  EXPECT_EQ(misplaced, 0);
  // alpha = 0: C := beta*C, with A and B non-finite or absent.
  std::vector<double> a_bad(static_cast<std::size_t>(n) * n, kNaN), b_bad(a_bad.size(), kInf);
  std::vector<double> c2(c.size(), 6.0);
  DGEMM("T", "N", &n, &n, &n, &zero, a_bad.data(), &n, b_bad.data(), &n, &half, c2.data(), &n);
  EXPECT_EQ(c2, std::vector<double>(c.size(), 3.0));
  DGEMM("N", "N", &n, &n, &n, &zero, nullptr, &n, nullptr, &n, &half, c2.data(), &n);
  cblas_dgemm(ZTR_ROW_MAJOR, ZTR_TRANS, ZTR_NO_TRANS, n, n, n, 0, nullptr, n, nullptr, n, 2,
              c2.data(), n);
  EXPECT_EQ(c2, std::vector<double>(c.size(), 3.0));

  // The dot product on its threaded path: infinity times zero gives NaN.
  std::vector<double> x(6000, 1.0), y(6000, 0.5);
  x[5999] = kInf, y[5999] = 0;
  EXPECT_TRUE(std::isnan(cblas_ddot(6000, x.data(), 1, y.data(), 1)));

  // An infinite entry (the LAPACKE layer scans for NaN only) sends the bisection of selected
  // eigenvalues after an interval of no finite width: it must stop, with no undefined
  // conversion on the way (the sanitize preset watches).
  std::vector<double> s(64, -26.5), w(8), z(64);
  s[2 * 8 + 4] = kInf;
  int found = -1, isuppz[16];
  LAPACKE_dsyevr(ZTR_ROW_MAJOR, 'N', 'I', 'U', 8, s.data(), 8, 0, 0, 8, 8, 0, &found, w.data(),
                 z.data(), 8, isuppz);
  EXPECT_TRUE(found >= 0 && found <= 1);
  // An infinite diagonal entry: the counts that pick eigenvalues by index mean nothing, yet no
  // more than the one asked for may come back (z has one column).
  std::vector<double> u(64, -26.5), zu(8);
  u[4 * 8 + 4] = kInf;
  LAPACKE_dsyevr(ZTR_ROW_MAJOR, 'V', 'I', 'L', 8, u.data(), 8, 0, 0, 4, 4, 0, &found, w.data(),
                 zu.data(), 1, isuppz);
  EXPECT_TRUE(found >= 0 && found <= 1) << found;
  // All entries infinite: the scaled matrix has no finite norm and the bisection fails with a
  // code beyond the count of values; scaling back touches only the values found (w holds n).
  std::vector<double> t(8, -kInf), w2(2), z2(4);
  int isuppz2[4];
  EXPECT_GT(LAPACKE_dsyevr(ZTR_COL_MAJOR, 'N', 'I', 'U', 2, t.data(), 4, 0, 0, 2, 2, 0, &found,
                           w2.data(), z2.data(), 2, isuppz2),
            0);
}

// Negative dimensions of the LU exports are reported by the driver with its own position and
// touch nothing; zero dimensions are no work, print nothing and never read the arrays,
// which may then be null.
TEST(HostileArguments, NegativeAndZeroDimensions) {
  std::vector<double> a(4, 5.0);
  int ipiv[2] = {7, 7};
  EXPECT_EQ(captured([&] {
              EXPECT_EQ(LAPACKE_dgetrf(ZTR_COL_MAJOR, -1, 2, a.data(), 2, ipiv), -2);
              EXPECT_EQ(LAPACKE_dgetrf(ZTR_ROW_MAJOR, 2, -1, a.data(), 2, ipiv), -3);
              EXPECT_EQ(LAPACKE_dgetri(ZTR_COL_MAJOR, -1, a.data(), 2, ipiv), -2);
              EXPECT_EQ(LAPACKE_dgetri(ZTR_ROW_MAJOR, -1, a.data(), 2, ipiv), -2);
              EXPECT_EQ(cblas_ddot(-3, a.data(), 1, a.data(), 1), 0.0);
            }),
            "\nZTR ERROR: Parameter 1 was incorrect on entry to DGETRF.\n"
            "\nZTR ERROR: Parameter 2 was incorrect on entry to DGETRF.\n"
            "\nZTR ERROR: Parameter 1 was incorrect on entry to DGETRI.\n"
            "\nZTR ERROR: Parameter 1 was incorrect on entry to DGETRI.\n");
  EXPECT_EQ(a, std::vector<double>(4, 5.0));
  EXPECT_EQ(ipiv[0], 7);

  const int zero = 0, two = 2;
  const double one = 1, beta = 2;
  double c[4] = {1, 2, 3, 4};
  EXPECT_EQ(
      captured([&] {
        DGEMM("N", "N", &zero, &two, &two, &one, nullptr, &two, nullptr, &two, &one, nullptr, &two);
        DGEMM("N", "N", &two, &zero, &two, &one, nullptr, &two, nullptr, &two, &one, nullptr, &two);
        DGEMM("N", "N", &two, &two, &zero, &one, nullptr, &two, nullptr, &two, &beta, c, &two);
        cblas_dgemm(ZTR_ROW_MAJOR, ZTR_TRANS, ZTR_TRANS, 0, 0, 0, 1, nullptr, 1, nullptr, 1, 1,
                    nullptr, 1);
        for (int layout : {ZTR_COL_MAJOR, ZTR_ROW_MAJOR}) {
          EXPECT_EQ(LAPACKE_dgetrf(layout, 0, 3, nullptr, 3, nullptr), 0);
          EXPECT_EQ(LAPACKE_dgetrf(layout, 3, 0, nullptr, 3, nullptr), 0);
          EXPECT_EQ(LAPACKE_dgetri(layout, 0, nullptr, 1, nullptr), 0);
        }
        EXPECT_EQ(cblas_ddot(0, nullptr, 1, nullptr, 1), 0.0);
        ztr_cspblas_dcsrsymv("U", &zero, nullptr, nullptr, nullptr, nullptr, nullptr);
      }),
      "");
  EXPECT_TRUE(c[0] == 2.0 && c[3] == 8.0);  // k = 0: C := beta*C
}

}  // namespace
}  // namespace ztr::test
