// The two-stage reduction to tridiagonal form: full to band (DSYRDB) and band to
// tridiagonal (DSBRDB) keep the spectrum of matrices with a known one, for both triangles and
// band widths from 1 to a third of the order, and leave the other triangle untouched.
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <string>
#include <vector>

#include "lapack/sygv/syrdb.h"
#include "lapack/tridiagonal/dsterf.h"
#include "spd_matrices.h"

namespace ztr {
namespace {

using Matrix = std::vector<double>;
using test::known_spectrum;
constexpr double kBound = 30.0;

double at(const Matrix& m, int ld, int i, int j) {
  return m[i + static_cast<std::size_t>(j) * ld];
}

TEST(Dsyrdb, BandThenTridiagonalKeepsTheSpectrum) {
  for (char uplo : {'L', 'U'})
    for (int n : {2, 3, 17, 100})
      for (int kd : {1, 2, 5, 16, 33}) {
        if (kd >= n) continue;
        const int lda = n + 2;
        std::vector<double> lambda;
        const Matrix a0 = known_spectrum(n, lda, static_cast<std::uint64_t>(n + kd), &lambda);
        Matrix a = a0;
        std::vector<double> d(n), e(n), work(static_cast<std::size_t>((3 * kd + 3) * n));
        int info = -9;
        ztr_lapack_dsyrdb("N", &uplo, n, kd, a.data(), lda, d.data(), e.data(), nullptr, nullptr, 1,
                          work.data(), static_cast<int>(work.size()), &info);
        ASSERT_EQ(info, 0);
        const std::string what =
            std::string(1, uplo) + " n " + std::to_string(n) + " kd " + std::to_string(kd);
        for (int j = 0; j < n; ++j)
          for (int i = 0; i < lda; ++i) {
            if (i >= n || (uplo == 'L' ? i < j : i > j)) {
              ASSERT_EQ(at(a, lda, i, j), at(a0, lda, i, j)) << what;
            }
          }
        int n1 = n;
        dsterf(&n1, d.data(), e.data(), &info);
        ASSERT_EQ(info, 0);
        for (int i = 0; i < n; ++i)
          EXPECT_LT(std::fabs(d[i] - lambda[i]) / (3.0 * n * DBL_EPSILON), kBound) << what;
      }
}

}  // namespace
}  // namespace ztr
