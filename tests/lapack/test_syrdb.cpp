// The two-stage reduction to tridiagonal form: full to band (DSYRDB) and band to
// tridiagonal (DSBRDB) keep the spectrum of matrices with a known one, for both triangles and
// band widths from 1 to a third of the order, and leave the other triangle untouched.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "eigen_checks.h"
#include "lapack/sygv/syrdb.h"
#include "lapack/tridiagonal/dsterf.h"

namespace ztr {
namespace {

TEST(Dsyrdb, BandThenTridiagonalKeepsTheSpectrum) {
  for (char uplo : {'L', 'U'})
    for (int n : {2, 3, 17, 100})
      for (int kd : {1, 2, 5, 16, 33}) {
        if (kd >= n) continue;
        SCOPED_TRACE(std::string(1, uplo) + " n " + std::to_string(n) + " kd " +
                     std::to_string(kd));
        const int lda = n + 2;
        const test::Tridiagonal t = test::diagonal(n, test::Spectrum::kRandom, n + kd);
        const std::vector<double> a0 = test::dense_from(t, lda, n + kd);
        std::vector<double> a = a0, d(n), e(n), work(static_cast<std::size_t>((3 * kd + 3) * n));
        int info = -9;
        ztr_lapack_dsyrdb("N", &uplo, n, kd, a.data(), lda, d.data(), e.data(), nullptr, nullptr, 1,
                          work.data(), static_cast<int>(work.size()), &info);
        ASSERT_EQ(info, 0);
        for (int j = 0; j < n; ++j)
          for (int i = 0; i < lda; ++i)
            ASSERT_TRUE((i < n && (uplo == 'L' ? i >= j : i <= j)) ||
                        std::memcmp(&a[i + j * lda], &a0[i + j * lda], sizeof(double)) == 0)
                << i << "," << j;
        dsterf(&n, d.data(), e.data(), &info);
        ASSERT_EQ(info, 0);
        EXPECT_LT(test::value_error(1.0, n, d.data(), t.d.data(), n), test::kValueBound);
      }
}

}  // namespace
}  // namespace ztr
