#include "lapack/auxiliary/dlasr.h"

#include <cstddef>

#include "service/letters.h"

namespace ztr {

void dlasr(const char* side, const char* /*pivot*/, const char* direct, const int* m, const int* n,
           const double* c, const double* s, double* a, const int* lda) {
  const int mm = *m, nn = *n;
  if (mm <= 0 || nn <= 0) return;
  const std::ptrdiff_t ld = *lda;
  const bool forward = same_letter(*direct, 'F');
  if (same_letter(*side, 'L')) {
    auto rotate = [&](int k) {
      const double ct = c[k], st = s[k];
      if (ct == 1.0 && st == 0.0) return;
      for (int j = 0; j < nn; ++j) {
        double* col = a + j * ld;
        const double t = col[k + 1];
        col[k + 1] = ct * t - st * col[k];
        col[k] = st * t + ct * col[k];
      }
    };
    if (forward) {
      for (int k = 0; k < mm - 1; ++k) rotate(k);
    } else {
      for (int k = mm - 2; k >= 0; --k) rotate(k);
    }
  } else {
    auto rotate = [&](int k) {
      const double ct = c[k], st = s[k];
      if (ct == 1.0 && st == 0.0) return;
      double* x = a + k * ld;
      double* y = x + ld;
      for (int i = 0; i < mm; ++i) {
        const double t = y[i];
        y[i] = ct * t - st * x[i];
        x[i] = st * t + ct * x[i];
      }
    };
    if (forward) {
      for (int k = 0; k < nn - 1; ++k) rotate(k);
    } else {
      for (int k = nn - 2; k >= 0; --k) rotate(k);
    }
  }
}

}  // namespace ztr
