// The Householder building blocks: the reflector's sign rule and its accuracy at the edge of
// the exponent range, and block reflectors (every side, transpose and direction, in one and
// in several column blocks of T, with an H = I among them) against the reflectors applied one
// by one.
#include <gtest/gtest.h>

#include <cmath>
#include <cstddef>
#include <vector>

#include "lapack/householder/householder.h"
#include "qr_checks.h"

namespace ztr {
namespace {

using test::kUnitRoundoff;

TEST(Dlarfg, SignRuleZeroVectorAndTinyInput) {
  // n = 1 and a zero x: H = I, alpha untouched.
  double alpha = -2.5, zero[2] = {0.0, 0.0}, tau = 7;
  ztr_lapack_dlarfg(1, &alpha, zero, 1, &tau);
  EXPECT_EQ(tau, 0.0);
  ztr_lapack_dlarfg(3, &alpha, zero, 1, &tau);
  EXPECT_EQ(tau, 0.0);
  EXPECT_EQ(alpha, -2.5);
  // H*(alpha; x) = (beta; 0) with beta of the sign opposite to alpha's, for either sign, at
  // ordinary scale and at a scale whose squares underflow (the rescaling must keep v exact
  // to rounding), and with a strided x: v = (1, x0, x2), H*y = y - tau*v*(v'*y).
  for (double scale : {1.0, 1e-300})
    for (double sign : {1.0, -1.0}) {
      const double y[3] = {sign * 3 * scale, 4 * scale, 12 * scale}, norm = 13 * scale;
      double x[4] = {y[1], -99, y[2], -99};
      alpha = y[0];
      ztr_lapack_dlarfg(3, &alpha, x, 2, &tau);
      EXPECT_NEAR(alpha / norm, -sign, 4 * kUnitRoundoff);
      EXPECT_NEAR(tau, (alpha - y[0]) / alpha, 4 * kUnitRoundoff);
      const double v[3] = {1.0, x[0], x[2]}, w = v[0] * y[0] + v[1] * y[1] + v[2] * y[2];
      for (int i = 0; i < 3; ++i)
        EXPECT_NEAR((y[i] - tau * v[i] * w) / norm, i == 0 ? alpha / norm : 0.0, 8 * kUnitRoundoff)
            << scale << " " << i;
      EXPECT_EQ(x[1], -99);
      EXPECT_EQ(x[3], -99);
    }
}

// The reflectors' vectors with their implied parts filled in: columnwise storage, count rows,
// forward (unit at row j) or backward (unit at row count-k+j); tau = 2/(v'v), so every H is
// orthogonal (the third one excepted, see below).
struct Reflectors {
  int count, k;
  bool forward;
  std::vector<double> v;     // as the routines read it (implied parts hold garbage)
  std::vector<double> full;  // with the unit and zeros written out
  std::vector<double> tau;
};

Reflectors make_reflectors(int count, int k, bool forward, std::uint64_t seed) {
  Reflectors r{count,
               k,
               forward,
               test::random_matrix(count, k, count, seed),
               std::vector<double>(static_cast<std::size_t>(count) * k),
               std::vector<double>(k)};
  for (int j = 0; j < k; ++j) {
    const int unit = forward ? j : count - k + j;
    double vv = 0;
    for (int i = 0; i < count; ++i) {
      const std::size_t at = i + static_cast<std::size_t>(j) * count;
      double& f = r.full[at];
      f = i == unit ? 1.0 : ((forward ? i < unit : i > unit) ? 0.0 : r.v[at]);
      if (i == unit || (forward ? i < unit : i > unit)) r.v[at] = 1e30;  // must not be read
      vv += f * f;
    }
    r.tau[j] = 2.0 / vv;
  }
  // One H = I among several: its column of T must be zero (T starts as garbage).
  if (k >= 5) r.tau[2] = 0.0;
  return r;
}

// C := H(j)*C (left) or C*H(j) (right) by the definition.
void apply_one(const Reflectors& r, int j, bool left, int m, int n, std::vector<double>& c) {
  const double* v = r.full.data() + static_cast<std::size_t>(j) * r.count;
  auto C = [&](int i, int l) -> double& { return c[i + static_cast<std::size_t>(l) * m]; };
  if (left) {
    for (int l = 0; l < n; ++l) {
      double w = 0;
      for (int i = 0; i < m; ++i) w += v[i] * C(i, l);
      for (int i = 0; i < m; ++i) C(i, l) -= r.tau[j] * v[i] * w;
    }
  } else {
    for (int i = 0; i < m; ++i) {
      double w = 0;
      for (int l = 0; l < n; ++l) w += C(i, l) * v[l];
      for (int l = 0; l < n; ++l) C(i, l) -= r.tau[j] * w * v[l];
    }
  }
}

TEST(Dlarfb, BlockReflectorEqualsTheReflectorsOneByOne) {
  const int m = 70, n = 50;
  std::uint64_t seed = 3;
  // k = 40 spans several column blocks of T (the couplings are matrix multiplies).
  for (int k : {1, 5, 40}) {
    for (bool forward : {true, false}) {
      for (bool left : {true, false}) {
        for (bool trans : {false, true}) {
          const int count = left ? m : n;
          const Reflectors r = make_reflectors(count, k, forward, ++seed);
          std::vector<double> t(static_cast<std::size_t>(k) * k, 1e30);
          ztr_lapack_dlarft(forward ? "F" : "B", "C", count, k, r.v.data(), count, r.tau.data(),
                            t.data(), k);
          const std::vector<double> c0 = test::random_matrix(m, n, m, ++seed);
          std::vector<double> c = c0, want = c0;
          const int ldwork = left ? n : m;
          std::vector<double> work(static_cast<std::size_t>(ldwork) * k);
          ztr_lapack_dlarfb(left ? "L" : "R", trans ? "T" : "N", forward ? "F" : "B", "C", m, n, k,
                            r.v.data(), count, t.data(), k, c.data(), m, work.data(), ldwork);
          // Q = H(1)...H(k) (forward) or H(k)...H(1) (backward); op(Q) on the given side.
          // The reflector nearest to C goes first.
          const bool first_is_last = forward == (left != trans);
          for (int s = 0; s < k; ++s) apply_one(r, first_is_last ? k - 1 - s : s, left, m, n, want);
          const double err =
              test::one_norm_diff(m, n, c.data(), m, want.data(), m) /
              (test::one_norm_diff(m, n, c0.data(), m, nullptr, 0) * count * kUnitRoundoff);
          EXPECT_LT(err, 30.0) << "k " << k << (forward ? " F" : " B") << (left ? " L" : " R")
                               << (trans ? " T" : " N");
        }
      }
    }
  }
}

}  // namespace
}  // namespace ztr
