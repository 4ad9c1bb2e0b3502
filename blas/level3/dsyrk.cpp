// Symmetric rank-k and rank-2k updates.  Column ranges of C's triangle are independent, so
// each thread takes a range holding an equal share of the triangle's area and runs it on the
// multiply's packed panels, or, for the processor variants without a blocked multiply, the
// recursive blocked algorithm.
#include <omp.h>

#include <cmath>

#include "blas/level3/level3.h"
#include "blas/level3/level3_common.h"
#include "blas/level3/rank_k_packed.h"
#include "blas/templates/rank_k_blocked.h"
#include "service/error.h"
#include "service/memory.h"
#include "service/threads.h"
#include "service/letters.h"

namespace ztr {
namespace {

using level3::kGranule;
using level3::kLeafOrder;
using level3::kParallelMinWork;
// Each thread's range holds at least this many columns.
constexpr int kMinColumns = 32;

using Update = tblas::detail::RankK<double, level3::Dgemm>;

// Columns [begin, end) of thread t of nt, splitting the triangle's area evenly: a lower
// triangle's columns shrink to the right, an upper triangle's grow.
int boundary(bool upper, int n, int t, int nt) {
  if (t <= 0) return 0;
  if (t >= nt) return n;
  const double f = static_cast<double>(t) / nt;
  const double x = upper ? n * std::sqrt(f) : n * (1.0 - std::sqrt(1.0 - f));
  int c = static_cast<int>(x) / kGranule * kGranule;
  return c > n ? n : c;
}

void columns_with_buffer(const Update& proto, int begin, int end) {
  if (end <= begin) return;
  const char* name = proto.rank2() ? "DSYR2K" : "DSYRK";
  Update u = proto;
  switch (level3::rank_k_packed(proto.upper, proto.trans, proto.n, proto.k, proto.alpha, proto.a,
                                proto.lda, proto.b, proto.ldb, proto.beta, proto.c, proto.ldc,
                                begin, end)) {
    case level3::PackedRankK::kDone:
      return;
    case level3::PackedRankK::kNoMemory:
      // The diagonal blocks summed in place entry by entry: slow, but without memory.
      alloc_check(nullptr, name);
      u.columns(begin, end);
      return;
    case level3::PackedRankK::kNoBlockedMultiply:
      break;
  }
  u.work = static_cast<double*>(mm_malloc(sizeof(double) * kLeafOrder * kLeafOrder, 64));
  if (u.work == nullptr) alloc_check(nullptr, name);
  u.columns(begin, end);
  if (u.work != nullptr) mm_free(u.work);
}

void rank_k(const char* uplo, const char* trans, int n, int k, double alpha, const double* a,
            int lda, const double* b, int ldb, double beta, double* c, int ldc) {
  if (n <= 0) return;
  const bool upper = same_letter(*uplo, 'U');
  if (alpha == 0.0 || k <= 0) {
    if (beta != 1.0) tblas::detail::scale_triangle(upper, false, n, beta, c, ldc);
    return;
  }
  const Update proto{false, upper, *trans, n, k, alpha, a, lda, b, ldb, beta, c, ldc,
                     kLeafOrder, nullptr, level3::Dgemm{}};
  int threads = 1;
  if (0.5 * n * n * k >= kParallelMinWork) {
    threads = domain_max_threads(kDomainBlas);
    if (threads > n / kMinColumns) threads = n / kMinColumns;
  }
  if (threads <= 1) {
    columns_with_buffer(proto, 0, n);
    return;
  }
#pragma omp parallel num_threads(threads)
  {
    const int t = omp_get_thread_num(), nt = omp_get_num_threads();
    columns_with_buffer(proto, boundary(upper, n, t, nt), boundary(upper, n, t + 1, nt));
  }
}

}  // namespace

void ztr_blas_dsyrk(const char* uplo, const char* trans, const int* n, const int* k,
                    const double* alpha, const double* a, const int* lda, const double* beta,
                    double* c, const int* ldc) {
  rank_k(uplo, trans, *n, *k, *alpha, a, *lda, nullptr, 0, *beta, c, *ldc);
}

void ztr_blas_dsyr2k(const char* uplo, const char* trans, const int* n, const int* k,
                     const double* alpha, const double* a, const int* lda, const double* b,
                     const int* ldb, const double* beta, double* c, const int* ldc) {
  rank_k(uplo, trans, *n, *k, *alpha, a, *lda, b, *ldb, *beta, c, *ldc);
}

}  // namespace ztr
