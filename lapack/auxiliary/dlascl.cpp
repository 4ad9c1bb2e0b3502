#include "lapack/auxiliary/dlascl.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstddef>

#include "lapack/dlamch.h"
#include "service/error.h"

namespace ztr {

void dlascl(const char* type, const int* /*kl*/, const int* /*ku*/, const double* cfrom,
            const double* cto, const int* m, const int* n, double* a, const int* lda, int* info) {
  const char t = static_cast<char>(std::toupper(static_cast<unsigned char>(*type)));
  int bad = 0;
  if (t != 'G' && t != 'L' && t != 'U' && t != 'H') {
    bad = 1;
  } else if (*cfrom == 0.0 || std::isnan(*cfrom)) {
    bad = 4;
  } else if (std::isnan(*cto)) {
    bad = 5;
  } else if (*m < 0) {
    bad = 6;
  } else if (*n < 0 || (t != 'G' && *n != *m)) {
    bad = 7;
  } else if (*lda < std::max(1, *m)) {
    bad = 9;
  }
  *info = -bad;
  if (bad != 0) {
    xerbla_dispatch("DLASCL", &bad, 6);
    return;
  }
  if (*m == 0 || *n == 0) return;

  const double smlnum = dlamch("S");
  const double bignum = 1.0 / smlnum;
  double cfromc = *cfrom, ctoc = *cto;
  bool done = false;
  while (!done) {
    // One safe factor per pass: when cto/cfrom is out of range, step by smlnum or bignum.
    const double cfrom1 = cfromc * smlnum;
    double mul;
    if (cfrom1 == cfromc) {
      // cfromc is infinite: the quotient is a signed zero or NaN, in one step.
      mul = ctoc / cfromc;
      done = true;
    } else {
      const double cto1 = ctoc / bignum;
      if (cto1 == ctoc) {
        // ctoc is zero or infinite: one step as well.
        mul = ctoc;
        done = true;
        cfromc = 1.0;
      } else if (std::fabs(cfrom1) > std::fabs(ctoc) && ctoc != 0.0) {
        mul = smlnum;
        cfromc = cfrom1;
      } else if (std::fabs(cto1) > std::fabs(cfromc)) {
        mul = bignum;
        ctoc = cto1;
      } else {
        mul = ctoc / cfromc;
        done = true;
        if (mul == 1.0) return;
      }
    }
    const std::ptrdiff_t ld = *lda;
    for (int j = 0; j < *n; ++j) {
      int first = 0, last = *m;
      if (t == 'L') first = j;
      if (t == 'U') last = std::min(j + 1, *m);
      if (t == 'H') last = std::min(j + 2, *m);
      double* col = a + j * ld;
      for (int i = first; i < last; ++i) col[i] *= mul;
    }
  }
}

}  // namespace ztr
