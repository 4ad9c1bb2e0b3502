// The exported matrix-multiply entry points and their argument checks.  The order of the
// checks is part of the interface: callers (and their test suites) match on the position of
// the first bad argument.
#include "blas/gemm/gemm.h"
#include "include/ztr.h"
#include "service/error.h"
#include "service/messages.h"
#include "service/letters.h"

namespace ztr {
namespace {

bool trans_valid(char t) {
  return same_letter(t, 'N') || same_letter(t, 'T') || same_letter(t, 'C');
}
int at_least_one(int x) {
  return x > 1 ? x : 1;
}

// The Fortran name, padded as the reference routines pad it.
constexpr char kDgemmName[] = "DGEMM ";
constexpr int kDgemmNameLength = 6;
constexpr char kCblasName[] = "cblas_dgemm";

}  // namespace

int dgemm_check(const char* transa, const char* transb, const int* m, const int* n, const int* k,
                const double*, const double*, const int* lda, const double*, const int* ldb,
                const double*, double*, const int* ldc) {
  const bool nota = same_letter(*transa, 'N');
  const bool notb = same_letter(*transb, 'N');
  const int nrowa = nota ? *m : *k;
  const int nrowb = notb ? *k : *n;
  int info = 0;
  if (!trans_valid(*transa)) {
    info = 1;
  } else if (!trans_valid(*transb)) {
    info = 2;
  } else if (*m < 0) {
    info = 3;
  } else if (*n < 0) {
    info = 4;
  } else if (*k < 0) {
    info = 5;
  } else if (*lda < at_least_one(nrowa)) {
    info = 8;
  } else if (*ldb < at_least_one(nrowb)) {
    info = 10;
  } else if (*ldc < at_least_one(*m)) {
    info = 13;
  }
  if (info == 0) return 0;
  xerbla(kDgemmName, &info, kDgemmNameLength);
  return 1;
}

}  // namespace ztr

extern "C" {

void DGEMM(const char* transa, const char* transb, const int* m, const int* n, const int* k,
           const double* alpha, const double* a, const int* lda, const double* b, const int* ldb,
           const double* beta, double* c, const int* ldc) {
  if (ztr::dgemm_check(transa, transb, m, n, k, alpha, a, lda, b, ldb, beta, c, ldc) != 0) return;
  ztr::ztr_blas_dgemm(transa, transb, m, n, k, alpha, a, lda, b, ldb, beta, c, ldc);
}

void cblas_dgemm(CBLAS_LAYOUT layout_code, CBLAS_TRANSPOSE transa_code, CBLAS_TRANSPOSE transb_code,
                 int m, int n, int k, double alpha, const double* a, int lda, const double* b,
                 int ldb, double beta, double* c, int ldc) {
  // The codes are checked as the ints a C caller may have passed.
  const int layout = layout_code, transa = transa_code, transb = transb_code;
  using ztr::at_least_one;
  auto report = [](int position) {
    ztr::msg_print(ztr::kMsgBlankLine, 0);
    ztr::msg_print(ztr::kMsgBadParameter, 2, position, ztr::kCblasName);
  };
  auto code_valid = [](int t) {
    return t == ZTR_NO_TRANS || t == ZTR_TRANS || t == ZTR_CONJ_TRANS;
  };
  // Transpose codes and dimensions are checked before the layout.
  if (!code_valid(transa)) return report(2);
  if (!code_valid(transb)) return report(3);
  if (m < 0) return report(4);
  if (n < 0) return report(5);
  if (k < 0) return report(6);
  if (layout != ZTR_ROW_MAJOR && layout != ZTR_COL_MAJOR) return report(1);
  static const char kLetters[3][2] = {"N", "T", "C"};
  const char* ta = kLetters[transa - ZTR_NO_TRANS];
  const char* tb = kLetters[transb - ZTR_NO_TRANS];
  const bool nota = transa == ZTR_NO_TRANS, notb = transb == ZTR_NO_TRANS;
  if (layout == ZTR_ROW_MAJOR) {
    // A row-major C is the column-major C': C' = op(B)' * op(A)'.
    if (lda < at_least_one(nota ? k : m)) return report(9);
    if (ldb < at_least_one(notb ? n : k)) return report(11);
    if (ldc < at_least_one(n)) return report(14);
    ztr::ztr_blas_dgemm(tb, ta, &n, &m, &k, &alpha, b, &ldb, a, &lda, &beta, c, &ldc);
  } else {
    if (lda < at_least_one(nota ? m : k)) return report(9);
    if (ldb < at_least_one(notb ? k : n)) return report(11);
    if (ldc < at_least_one(m)) return report(14);
    ztr::ztr_blas_dgemm(ta, tb, &m, &n, &k, &alpha, a, &lda, b, &ldb, &beta, c, &ldc);
  }
}

}  // extern "C"
