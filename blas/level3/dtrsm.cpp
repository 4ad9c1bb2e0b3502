// Triangular solve and triangular multiply with a matrix of right-hand sides.  Columns of B
// (side 'L') or rows (side 'R') are independent of each other, so each thread takes a slice
// and runs the recursive blocked algorithm on it; within a slice the work is in multiplies.
#include <omp.h>

#include <cstddef>

#include "blas/level3/kernels/level3_kernels.h"
#include "blas/level3/level3.h"
#include "blas/level3/level3_common.h"
#include "blas/level3/trsm_packed.h"
#include "blas/templates/triangular_blocked.h"
#include "service/dispatch.h"
#include "service/error.h"
#include "service/threads.h"
#include "service/letters.h"

namespace ztr {
namespace {

DispatchSlot<void(char, char, char, char, int, int, const double*, int, double*, int)> g_trsm_leaf(
    ZTR_VARIANTS(dtrsm_leaf));
DispatchSlot<void(char, char, char, char, int, int, const double*, int, double*, int)> g_trmm_leaf(
    ZTR_VARIANTS(dtrmm_leaf));

using level3::kGranule;
using level3::kLeafOrder;
using level3::kParallelMinWork;
// A thread's slice of B is at least this many columns or rows: narrower slices make the
// multiplies inefficient.
constexpr int kMinSlice = 16;

// Triangles up to this order are solved on the multiply's packed panels (larger ones are
// halved first): the packed copy of op(A) beside the diagonal blocks stays in cache.
constexpr int kPanelOrder = 256;
// Fewer rows or columns of B than this do not pay for packing the triangle.
constexpr int kPackedMinSlices = 16;

enum class Kind { kSolve, kMultiply };

void solve_leaf(char side, char uplo, char trans, char diag, int m, int n, const double* a, int lda,
                double* b, int ldb) {
  g_trsm_leaf(side, uplo, trans, diag, m, n, a, lda, b, ldb);
}

// The solve with a triangle of order at most kPanelOrder.  Without the packed panels (no
// blocked multiply, no memory for them) it runs recursively, each piece through the multiply.
void solve_panel(char side, char uplo, char trans, char diag, int m, int n, const double* a,
                 int lda, double* b, int ldb) {
  const bool left = same_letter(side, 'L');
  if ((left ? m : n) > kLeafOrder && (left ? n : m) >= kPackedMinSlices) {
    switch (level3::trsm_packed(side, uplo, trans, diag, m, n, a, lda, b, ldb, solve_leaf)) {
      case level3::PackedSolve::kDone:
        return;
      case level3::PackedSolve::kNoMemory:
        alloc_check(nullptr, "DTRSM");
        break;
      case level3::PackedSolve::kNoBlockedMultiply:
        break;
    }
  }
  tblas::detail::trsm_blocked<double>(side, uplo, trans, diag, m, n, a, lda, b, ldb, kLeafOrder,
                                      level3::Dgemm{}, solve_leaf);
}

// The whole operation on an m x n slice of B, on the calling thread (its multiplies may
// still be threaded by the GEMM when called outside a parallel region).
void run_slice(Kind kind, char side, char uplo, char trans, char diag, int m, int n, double alpha,
               const double* a, int lda, double* b, int ldb) {
  if (m <= 0 || n <= 0) return;
  if (alpha != 1.0) {
    for (std::ptrdiff_t j = 0; j < n; ++j)
      for (std::ptrdiff_t i = 0; i < m; ++i) {
        double& e = b[i + j * ldb];
        e = alpha == 0.0 ? 0.0 : alpha * e;
      }
    if (alpha == 0.0) return;
  }
  if (kind == Kind::kSolve)
    tblas::detail::trsm_blocked<double>(side, uplo, trans, diag, m, n, a, lda, b, ldb, kPanelOrder,
                                        level3::Dgemm{}, solve_panel);
  else
    tblas::detail::trmm_blocked<double>(side, uplo, trans, diag, m, n, a, lda, b, ldb, kLeafOrder,
                                        level3::Dgemm{}, g_trmm_leaf);
}

void triangular(Kind kind, const char* side, const char* uplo, const char* transa, const char* diag,
                const int* m_, const int* n_, const double* alpha_, const double* a,
                const int* lda_, double* b, const int* ldb_) {
  const int m = *m_, n = *n_, lda = *lda_, ldb = *ldb_;
  const double alpha = *alpha_;
  if (m <= 0 || n <= 0) return;
  const bool left = same_letter(*side, 'L');
  const int order = left ? m : n, slices = left ? n : m;
  int threads = 1;
  if (static_cast<double>(order) * order * slices >= kParallelMinWork) {
    threads = domain_max_threads(kDomainBlas);
    if (threads > slices / kMinSlice) threads = slices / kMinSlice;
  }
  if (threads <= 1) {
    run_slice(kind, *side, *uplo, *transa, *diag, m, n, alpha, a, lda, b, ldb);
    return;
  }
#pragma omp parallel num_threads(threads)
  {
    int begin, count;
    level3::split_range(slices, omp_get_num_threads(), omp_get_thread_num(), kGranule, &begin,
                        &count);
    if (left)
      run_slice(kind, *side, *uplo, *transa, *diag, m, count, alpha, a, lda,
                b + static_cast<std::ptrdiff_t>(begin) * ldb, ldb);
    else
      run_slice(kind, *side, *uplo, *transa, *diag, count, n, alpha, a, lda, b + begin, ldb);
  }
}

}  // namespace

void ztr_blas_dtrsm(const char* side, const char* uplo, const char* transa, const char* diag,
                    const int* m, const int* n, const double* alpha, const double* a,
                    const int* lda, double* b, const int* ldb) {
  triangular(Kind::kSolve, side, uplo, transa, diag, m, n, alpha, a, lda, b, ldb);
}

void ztr_blas_dtrmm(const char* side, const char* uplo, const char* transa, const char* diag,
                    const int* m, const int* n, const double* alpha, const double* a,
                    const int* lda, double* b, const int* ldb) {
  triangular(Kind::kMultiply, side, uplo, transa, diag, m, n, alpha, a, lda, b, ldb);
}

}  // namespace ztr
