// The symmetric indefinite block kernel on a block whose leading columns hold only rounding
// residue inside the block while the rows below the block are of normal size: a 2x2 pivot
// on that residue would divide the rows below by its determinant (residue squared); the
// columns must get perturbed 1x1 pivots of at least the threshold instead.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "sparse_solver/dense_blocks.h"

namespace ztr::test {
namespace {

TEST(KorvineKernels, BlockLdltPerturbsColumnsOfResidueInsteadOfPairingThem) {
  const int k = 3, len = 5;
  const double threshold = 1e-8;
  for (double residue : {1e-20, 1e-12}) {
    // Block rows 0..2: columns 0 and 1 are zero apart from the residue between them; row 2
    // and the rows below are ordinary.
    std::vector<double> a(static_cast<std::size_t>(len) * k, 0.0);
    auto at = [&](int i, int j) -> double& { return a[i + static_cast<std::size_t>(j) * len]; };
    at(1, 0) = residue;
    at(2, 2) = 2.0;
    at(3, 0) = 0.5, at(4, 0) = -0.25;
    at(3, 1) = 0.75, at(4, 1) = 0.5;
    at(3, 2) = 1.0, at(4, 2) = 1.0;
    std::vector<int> ipiv(k);
    std::vector<double> d(k), e(k);
    int perturbed = 0, pos = 0, neg = 0;
    block_ldlt<double>(k, len, a.data(), len, ipiv.data(), d.data(), e.data(), threshold,
                       &perturbed, &pos, &neg);
    EXPECT_EQ(perturbed, 2) << residue;
    EXPECT_EQ(pos + neg, k) << residue;
    for (int j = 0; j < k; ++j) {
      EXPECT_GT(ipiv[j], 0) << residue << " column " << j << " took a 2x2 pivot";
      EXPECT_GE(std::abs(d[j]), threshold) << residue;
    }
  }
}

}  // namespace
}  // namespace ztr::test
