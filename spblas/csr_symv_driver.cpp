// The threaded symmetric CSR product, and the dispatch slots of its kernels.
//
// Rows are split into p blocks, one per thread.  Every stored off-diagonal entry updates two
// entries of y, one of them possibly in another thread's block, so every thread but one
// accumulates into a private vector, and the private vectors are added into y afterwards, in
// increasing thread order so that a given thread count always gives the same bits.  A private
// vector only covers the rows its thread can reach: rows 0..end of its block for the lower
// triangle, start of its block..m-1 for the upper.
#include <omp.h>

#include <cstddef>

#include "service/kernel_variant.h"
#include "service/memory.h"
#include "service/threads.h"
#include "spblas/csr_symv.h"
#include "spblas/kernels/csr_symv_kernels.h"

namespace ztr {
namespace {

CsrSymvKernelSlot g_csr_symv_lower(ZTR_VARIANTS(csr_symv_lower));
ZTR_REGISTER_DISPATCH_SLOT(g_csr_symv_lower);
CsrSymvKernelSlot g_csr_symv_upper(ZTR_VARIANTS(csr_symv_upper));
ZTR_REGISTER_DISPATCH_SLOT(g_csr_symv_upper);
// One merge serves both triangles: the row where each private vector starts is a parameter.
CsrSymvMergeSlot g_csr_symv_merge(ZTR_VARIANTS(csr_symv_merge));
ZTR_REGISTER_DISPATCH_SLOT(g_csr_symv_merge);

// Private-vector pointers of up to this many threads live on the stack.
constexpr int kStackThreads = 64;

struct Product {
  const int* m;
  const double* alpha;
  const double* val;
  const int* indx;
  const int* pntrb;
  const int* pntre;
  const double* x;
  double* y;
  const double* beta;
};

void serial(CsrSymvKernelSlot& kernel, const Product& a) {
  const int one = 1;
  kernel(&one, a.m, a.m, a.m, a.alpha, a.val, a.indx, a.pntrb, a.pntre, a.x, a.y, a.beta);
}

// Returns false when a private vector could not be allocated; y is then incomplete and the
// caller recomputes it serially.
bool threaded(bool lower, int nthreads, const Product& a) {
  const int m = *a.m;
  double* stack_vecs[kStackThreads];
  double** vecs = stack_vecs;
  void* heap = nullptr;
  if (nthreads > kStackThreads) {
    heap = mm_malloc(sizeof(double*) * static_cast<std::size_t>(nthreads), 0);
    if (heap == nullptr) return false;
    vecs = static_cast<double**>(heap);
  }
  CsrSymvKernelSlot& kernel = lower ? g_csr_symv_lower : g_csr_symv_upper;
  const double zero = 0.0;
  int failed = 0;

#pragma omp parallel num_threads(nthreads)
  {
    const int p = omp_get_num_threads();
    const int t = omp_get_thread_num();
    const int chunk = m / p;
    const int row0 = t * chunk;                         // zero-based, inclusive
    const int row1 = t == p - 1 ? m : (t + 1) * chunk;  // exclusive
    // The thread that writes y itself: the last (lower) or the first (upper).
    const int owner = lower ? p - 1 : 0;
    const int len = t == owner ? m : (lower ? row1 : m - row0);
    double* mine = nullptr;
    if (t != owner) {
      mine = static_cast<double*>(
          mm_malloc(sizeof(double) * static_cast<std::size_t>(len), kWorkAlignment));
      if (mine == nullptr) {
#pragma omp atomic write
        failed = 1;
      }
    }
    vecs[t] = mine;
#pragma omp barrier
    int fail;
#pragma omp atomic read
    fail = failed;

    if (!fail) {
      const int first = row0 + 1, last = row1;
      if (t == owner) {
        kernel(&first, &last, a.m, &len, a.alpha, a.val, a.indx, a.pntrb, a.pntre, a.x, a.y,
               a.beta);
      } else {
        // A fresh private vector holds only this thread's contributions.
        kernel(&first, &last, a.m, &len, a.alpha, a.val, a.indx, a.pntrb, a.pntre, a.x, mine,
               &zero);
      }
    }
#pragma omp barrier

    if (!fail) {
      // Lower: block b (0..p-2) receives the vectors of threads b..p-2, all starting at row 0.
      // Upper: block b (1..p-1) receives those of threads 1..b, thread j's starting at j*chunk.
      auto merge_block = [&](int b) {
        const int begin = b * chunk;
        const int end = b == p - 1 ? m : (b + 1) * chunk;
        if (lower) {
          g_csr_symv_merge(begin, end, a.y, vecs + b, p - 1 - b, 0, 0);
        } else {
          g_csr_symv_merge(begin, end, a.y, vecs + 1, b, chunk, chunk);
        }
      };
      const int b0 = lower ? 0 : 1;
      const int b1 = lower ? p - 1 : p;  // exclusive
      if (m <= kCsrSymvSerialMergeRows) {
#pragma omp single
        for (int b = b0; b < b1; ++b) merge_block(b);
      } else {
#pragma omp for schedule(static)
        for (int b = b0; b < b1; ++b) merge_block(b);
      }
    }
    mm_free(mine);
  }

  if (heap != nullptr) mm_free(heap);
  return failed == 0;
}

void driver(bool lower, const Product& a) {
  CsrSymvKernelSlot& kernel = lower ? g_csr_symv_lower : g_csr_symv_upper;
  int t = domain_max_threads(kDomainAll);
  // Compared in 64 bits: 100*T must not overflow for absurd thread counts.
  if (t <= 1 || static_cast<long long>(kCsrSymvRowsPerThread) * t >= *a.m) {
    serial(kernel, a);
    return;
  }
  if (get_dynamic() == 1 && t >= kCsrSymvDynamicCapFrom) t = kCsrSymvDynamicThreads;
  if (!threaded(lower, t, a)) serial(kernel, a);
}

}  // namespace

CsrSymvKernelSlot& csr_symv_lower_slot() {
  return g_csr_symv_lower;
}
CsrSymvKernelSlot& csr_symv_upper_slot() {
  return g_csr_symv_upper;
}
CsrSymvMergeSlot& csr_symv_merge_slot() {
  return g_csr_symv_merge;
}

void ztr_spblas_dcsr0nslnc__mvout_omp(const int* m, const int* /*n*/, const double* alpha,
                                      const double* val, const int* indx, const int* pntrb,
                                      const int* pntre, const double* x, double* y,
                                      const double* beta) {
  driver(true, Product{m, alpha, val, indx, pntrb, pntre, x, y, beta});
}

void ztr_spblas_dcsr0nsunc__mvout_omp(const int* m, const int* /*n*/, const double* alpha,
                                      const double* val, const int* indx, const int* pntrb,
                                      const int* pntre, const double* x, double* y,
                                      const double* beta) {
  driver(false, Product{m, alpha, val, indx, pntrb, pntre, x, y, beta});
}

}  // namespace ztr
