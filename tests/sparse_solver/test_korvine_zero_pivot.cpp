// Symmetric indefinite factorization without pivot perturbation (iparm[9] = 0): a pivot that
// is exactly zero cannot be factored, and is reported instead of being divided by.
#include <gtest/gtest.h>

#include "tests/sparse_solver/korvine_support.h"

namespace ztr::test {
namespace {

TEST(KorvineIndefinite, ExactZeroPivotWithoutPerturbationFails) {
  // [4 0 1; 0 0 0; 1 0 4]: nothing to pivot on in the second column.
  Input<double> in{3, {1, 3, 4, 5}, {1, 3, 2, 3}, {4.0, 1.0, 0.0, 4.0}};
  std::vector<double> b{1, 1, 1}, x(3);
  Korvine k(-2, {{9, 0}}, 1);
  EXPECT_EQ(k.call_captured(13, in, b.data(), x.data()), -4);
  EXPECT_TRUE(k.printed("*** Error in KORVINE: zero pivot\n")) << k.out;
}

}  // namespace
}  // namespace ztr::test
