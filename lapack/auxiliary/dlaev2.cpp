#include "lapack/auxiliary/dlaev2.h"

#include <cmath>

namespace ztr {

namespace {

// sqrt((a-c)^2 + 4b^2) without overflow: adf = |a - c|, ab = |2b|.
double root_of(double adf, double ab) {
  if (adf > ab) return adf * std::sqrt(1.0 + (ab / adf) * (ab / adf));
  if (adf < ab) return ab * std::sqrt(1.0 + (adf / ab) * (adf / ab));
  return ab * std::sqrt(2.0);
}

// The two eigenvalues; the smaller one is formed as det/rt1 so that it is accurate.
// Returns the sign of rt1's choice (+1 or -1).
int eigenvalues(double a, double b, double c, double rt, double* rt1, double* rt2) {
  const double sm = a + c;
  const bool a_larger = std::fabs(a) > std::fabs(c);
  const double acmx = a_larger ? a : c, acmn = a_larger ? c : a;
  if (sm < 0.0) {
    *rt1 = 0.5 * (sm - rt);
    *rt2 = (acmx / *rt1) * acmn - (b / *rt1) * b;
    return -1;
  }
  if (sm > 0.0) {
    *rt1 = 0.5 * (sm + rt);
    *rt2 = (acmx / *rt1) * acmn - (b / *rt1) * b;
    return 1;
  }
  *rt1 = 0.5 * rt;
  *rt2 = -0.5 * rt;
  return 1;
}

}  // namespace

void dlae2(double a, double b, double c, double* rt1, double* rt2) {
  const double rt = root_of(std::fabs(a - c), std::fabs(b + b));
  eigenvalues(a, b, c, rt, rt1, rt2);
}

void dlaev2(double a, double b, double c, double* rt1, double* rt2, double* cs1, double* sn1) {
  const double df = a - c, tb = b + b, ab = std::fabs(tb);
  const double rt = root_of(std::fabs(df), ab);
  const int sgn1 = eigenvalues(a, b, c, rt, rt1, rt2);
  // The eigenvector from the better conditioned of the two equations it satisfies.
  int sgn2;
  double cs;
  if (df >= 0.0) {
    cs = df + rt;
    sgn2 = 1;
  } else {
    cs = df - rt;
    sgn2 = -1;
  }
  if (std::fabs(cs) > ab) {
    const double ct = -tb / cs;
    *sn1 = 1.0 / std::sqrt(1.0 + ct * ct);
    *cs1 = ct * *sn1;
  } else if (ab == 0.0) {
    *cs1 = 1.0;
    *sn1 = 0.0;
  } else {
    const double tn = -cs / tb;
    *cs1 = 1.0 / std::sqrt(1.0 + tn * tn);
    *sn1 = tn * *cs1;
  }
  if (sgn1 == sgn2) {
    const double tn = *cs1;
    *cs1 = -*sn1;
    *sn1 = tn;
  }
}

}  // namespace ztr
