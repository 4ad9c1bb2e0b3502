#include "lapack/lapacke/lapacke_utils.h"

#include <algorithm>

#include "lapack/transpose_copy.h"

namespace ztr {
namespace {

bool is_nan(double v) { return v != v; }

char upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

// The triangle as "stored lines" (columns of column-major data, rows of row-major data).
// Column-major upper and row-major lower are the same pattern: line j holds its leading
// entries 0..j; the other two combinations hold the trailing entries j..n-1.
struct TriangleShape {
  bool valid;
  bool leading;  // line j holds entries [0, j + 1 - st)
  int st;        // 1 for a unit diagonal (left out), else 0
};

TriangleShape triangle_shape(int layout, char uplo, char diag) {
  const char u = upper(uplo), d = upper(diag);
  const bool col = layout == kLapackeColMajor, row = layout == kLapackeRowMajor;
  if (!(col || row) || (u != 'U' && u != 'L') || (d != 'U' && d != 'N')) return {false, false, 0};
  return {true, (col && u == 'U') || (row && u == 'L'), d == 'U' ? 1 : 0};
}

}  // namespace

bool lapacke_ge_has_nan(int layout, int m, int n, const double* a, int lda) {
  if (a == nullptr) return false;
  int lines, length;
  if (layout == kLapackeColMajor) {
    lines = n;
    length = std::min(m, lda);
  } else if (layout == kLapackeRowMajor) {
    lines = m;
    length = std::min(n, lda);
  } else {
    return false;
  }
  for (int j = 0; j < lines; ++j)
    for (int i = 0; i < length; ++i)
      if (is_nan(a[i + static_cast<long>(j) * lda])) return true;
  return false;
}

bool lapacke_tr_has_nan(int layout, char uplo, char diag, int n, const double* a, int lda) {
  const TriangleShape t = triangle_shape(layout, uplo, diag);
  if (!t.valid || a == nullptr) return false;
  if (t.leading) {
    for (int j = t.st; j < n; ++j)
      for (int i = 0; i < std::min(j + 1 - t.st, lda); ++i)
        if (is_nan(a[i + static_cast<long>(j) * lda])) return true;
  } else {
    for (int j = 0; j < n - t.st; ++j)
      for (int i = j + t.st; i < std::min(n, lda); ++i)
        if (is_nan(a[i + static_cast<long>(j) * lda])) return true;
  }
  return false;
}

bool lapacke_vec_has_nan(int n, const double* x, int incx) {
  if (incx == 0) return n > 0 && is_nan(x[0]);
  const long step = incx < 0 ? -static_cast<long>(incx) : incx;
  for (int i = 0; i < n; ++i)
    if (is_nan(x[i * step])) return true;
  return false;
}

void lapacke_ge_transpose(int layout, int m, int n, const double* in, int ldin, double* out,
                          int ldout) {
  if (in == nullptr || out == nullptr) return;
  if (layout != kLapackeColMajor && layout != kLapackeRowMajor) return;
  transpose_copy(layout == kLapackeColMajor ? 'C' : 'R', 'T', m, n, 1.0, in, ldin, out, ldout);
}

void lapacke_tr_transpose(int layout, char uplo, char diag, int n, const double* in, int ldin,
                          double* out, int ldout) {
  const TriangleShape t = triangle_shape(layout, uplo, diag);
  if (!t.valid || in == nullptr || out == nullptr) return;
  if (t.leading) {
    for (int j = t.st; j < std::min(n, ldout); ++j)
      for (int i = 0; i < std::min(j + 1 - t.st, ldin); ++i)
        out[j + static_cast<long>(i) * ldout] = in[i + static_cast<long>(j) * ldin];
  } else {
    for (int j = 0; j < std::min(n - t.st, ldout); ++j)
      for (int i = j + t.st; i < std::min(n, ldin); ++i)
        out[j + static_cast<long>(i) * ldout] = in[i + static_cast<long>(j) * ldin];
  }
}

}  // namespace ztr
