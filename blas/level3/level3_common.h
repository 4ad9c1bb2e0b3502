// What the double-precision level-3 routines share: the multiply as a callable for the
// blocked drivers, and the split of a range among threads.
#pragma once

#include "blas/gemm/gemm.h"

namespace ztr::level3 {

// Diagonal blocks up to this order go to the unblocked leaf (or, for the rank-k updates,
// are formed in a work buffer by one multiply): 64 x 64 doubles stay in the level-1 cache.
inline constexpr int kLeafOrder = 64;
// Thread slices are multiples of this many columns or rows, so that they start on
// cache-line and register-tile boundaries.
inline constexpr int kGranule = 8;
// Below this many multiply-adds one thread is faster than opening a parallel region.
inline constexpr double kParallelMinWork = 2.0e5;

struct Dgemm {
  void operator()(char ta, char tb, int m, int n, int k, double alpha, const double* a,
                  int lda, const double* b, int ldb, double beta, double* c, int ldc) const {
    ztr_blas_dgemm(&ta, &tb, &m, &n, &k, &alpha, a, &lda, b, &ldb, &beta, c, &ldc);
  }
};

// Part `part` of `parts` of 0..total: equal shares rounded down to multiples of `granule`
// (so that slices start on cache-line and register-tile boundaries); the last part takes
// what is left.
inline void split_range(int total, int parts, int part, int granule, int* begin, int* count) {
  const int share = total / parts / granule * granule;
  *begin = share * part;
  *count = part == parts - 1 ? total - *begin : share;
}

}  // namespace ztr::level3
