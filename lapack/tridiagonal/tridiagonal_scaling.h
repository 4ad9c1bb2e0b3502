// The scaling that the tridiagonal QL/QR iterations apply to each unreduced block: a block
// whose largest entry lies outside [ssfmin, ssfmax] is scaled to that bound first, so that
// squares of its entries neither overflow nor underflow, and scaled back afterwards.
#pragma once

#include <cmath>

#include "lapack/auxiliary/dlanst.h"
#include "lapack/auxiliary/dlascl.h"
#include "lapack/dlamch.h"

namespace ztr {

struct TridiagonalScaling {
  double anorm = 0;
  double target = 0;  // ssfmax or ssfmin while scaled, 0 when not
  double ssfmax = std::sqrt(1.0 / dlamch("S")) / 3.0;
  double ssfmin = std::sqrt(dlamch("S")) / (dlamch("E") * dlamch("E"));

  // Scales d[0..len-1] and e[0..len-2]; false when the block is zero (nothing to do).
  bool scale(int len, double* d, double* e) {
    anorm = dlanst("M", &len, d, e);
    target = 0;
    if (anorm == 0.0) return false;
    if (anorm > ssfmax) target = ssfmax;
    if (anorm < ssfmin) target = ssfmin;
    if (target != 0) apply(anorm, target, len, d, len - 1, e);
    return true;
  }
  // Undoes scale() on d[0..dlen-1] and e[0..elen-1].
  void unscale(int dlen, double* d, int elen, double* e) const {
    if (target != 0) apply(target, anorm, dlen, d, elen, e);
  }

 private:
  static void apply(double from, double to, int dlen, double* d, int elen, double* e) {
    const int zero = 0, one = 1;
    int info = 0;
    if (dlen > 0) dlascl("G", &zero, &zero, &from, &to, &dlen, &one, d, &dlen, &info);
    if (elen > 0) dlascl("G", &zero, &zero, &from, &to, &elen, &one, e, &elen, &info);
  }
};

}  // namespace ztr
