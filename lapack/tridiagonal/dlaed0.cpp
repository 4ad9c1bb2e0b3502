#include "lapack/tridiagonal/dlaed0.h"

#include <omp.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstddef>
#include <cstdint>

#include "blas/gemm/gemm.h"
#include "blas/level1/level1.h"
#include "lapack/auxiliary/dlacpy.h"
#include "lapack/ilaenv.h"
#include "lapack/tridiagonal/dlaed1.h"
#include "lapack/tridiagonal/dlaed7.h"
#include "lapack/tridiagonal/dsteqr.h"
#include "service/error.h"
#include "service/memory.h"
#include "service/threads.h"

namespace ztr {

namespace {

constexpr int kParallelMinOrder = 50;  // below this the tree is too shallow to share
constexpr int kScratchAlignment = 128;
constexpr std::size_t kScratchRound = 128;  // doubles: each thread's part starts on a line
// Leaf sizes of the parallel mode when a given matrix is updated (by order of the problem).
constexpr int kSmallLeaf = 25;
constexpr int kSmallLeafOrder = 400;
constexpr int kMediumLeaf = 50;
constexpr int kMediumOrder = 500;
constexpr int kDefaultLeaf = 100;
constexpr int kLargeLeaf = 150;
constexpr int kLargeOrder = 2500;
constexpr int kMaxGivenBasisLeaf = 512;

// Each thread's scratch: `ints` integers then `doubles` doubles, `stride` bytes apart.
struct ThreadScratch {
  void* block = nullptr;
  std::size_t stride = 0;
  std::size_t ints = 0;
  int* iwork(int t) const { return reinterpret_cast<int*>(base(t)); }
  double* work(int t) const {
    return reinterpret_cast<double*>(base(t) + (ints + kScratchRound) * sizeof(double));
  }
  char* base(int t) const {
    return static_cast<char*>(block) + stride * static_cast<std::size_t>(t);
  }
};

int ceil_log2(int x) {
  int l = 0;
  while ((1 << l) < x) ++l;
  return l;
}

// Allocates the per-thread scratch; false when the allocation fails (the caller then runs
// sequentially).
bool allocate_scratch(int threads, int icompq, int n, int qsiz, int leaf, ThreadScratch* s) {
  const std::size_t lgl = static_cast<std::size_t>(ceil_log2(leaf));
  const std::size_t nl = static_cast<std::size_t>(leaf), nn = static_cast<std::size_t>(n);
  const std::size_t ints = std::max((5 * lgl + 6) * nl + 6, icompq == 2 ? 4 * nn : 1);
  std::size_t doubles = std::max((2 * nl + 3) * nl + 1 + 2 * nl * lgl,
                                 (static_cast<std::size_t>(qsiz) + 4) * nn + nl * nl);
  doubles = doubles / kScratchRound * kScratchRound + kScratchRound;
  s->ints = ints;
  s->stride = (ints + kScratchRound + doubles) * sizeof(double) + sizeof(double);
  s->block = mm_malloc_direct(s->stride * static_cast<std::size_t>(threads), kScratchAlignment);
  return s->block != nullptr;
}

// The leaf size of the parallel mode.  When a given matrix is updated, the merges cost
// O(qsiz * n^2) each whatever the leaf size, so fewer, larger leaves, about one per thread,
// shift work from the sequential merges to the parallel leaves; beyond kMaxGivenBasisLeaf
// rows a leaf's QL/QR iteration costs more than the merges it saves.
int parallel_leaf_size(int icompq, int n, int threads, int leaf) {
  if (icompq == 2) return leaf;
  if (n == kSmallLeafOrder || n <= kParallelMinOrder) {
    leaf = kSmallLeaf;
  } else if (n <= kMediumOrder) {
    leaf = kMediumLeaf;
  } else if (n >= kLargeOrder) {
    leaf = kLargeLeaf;
  } else {
    leaf = kDefaultLeaf;
  }
  if (icompq == 1 && n >= kParallelMinOrder) {
    leaf = std::max(leaf, n / threads + 1);
    for (int divisor = 2 * threads; leaf > kMaxGivenBasisLeaf; divisor += threads)
      leaf = n / divisor + 1;
  }
  return std::max(leaf, kSmallLeaf);
}

}  // namespace

void ztr_lapack_dlaed0(const int* icompq, const int* qsiz, const int* n, double* d_arg,
                       double* e_arg, double* q, const int* ldq, double* qstore, const int* ldqs,
                       double* work, int* iwork_arg, int* info) {
  const int nn = *n;
  const bool given = *icompq == 1;  // update the given q (else q receives the vectors)
  int bad = 0;
  if (*icompq != 1 && *icompq != 2) {
    bad = 1;
  } else if (given && *qsiz < std::max(0, nn)) {
    bad = 2;
  } else if (nn < 0) {
    bad = 3;
  } else if (*ldq < std::max(1, nn)) {
    bad = 7;
  } else if (given && *ldqs < std::max(1, nn)) {
    bad = 9;
  }
  *info = -bad;
  if (bad != 0) {
    xerbla_dispatch("DLAED0", &bad, 6);
    return;
  }
  if (nn == 0) return;
  const std::ptrdiff_t ld = *ldq, lds = given ? *ldqs : 0;
  // One-based views.
  double* d = d_arg - 1;
  double* e = e_arg - 1;
  int* iwork = iwork_arg - 1;
  auto qat = [&](int i, int j) { return q + (i - 1) + (j - 1) * ld; };
  auto qsat = [&](int j) { return qstore + (j - 1) * lds; };

  const int threads = domain_max_threads(kDomainAll);
  int leaf = ilaenv(9, "DLAED0", " ", 0, 0, 0, 0);
  ThreadScratch scratch;
  bool parallel = false;
  if (threads >= 2) {
    const int wide = parallel_leaf_size(*icompq, nn, threads, leaf);
    parallel = nn >= kParallelMinOrder &&
               allocate_scratch(threads, *icompq, nn, given ? *qsiz : nn, wide, &scratch);
    if (parallel) leaf = wide;
  }

  // Subproblem sizes: halve until every piece is at most the leaf size.  iwork[1..subpbs]
  // then holds the cumulative ends; tlvls counts the halvings.
  iwork[1] = nn;
  int subpbs = 1;
  int tlvls = 0;
  while (iwork[subpbs] > leaf) {
    for (int j = subpbs; j >= 1; --j) {
      iwork[2 * j] = (iwork[j] + 1) / 2;
      iwork[2 * j - 1] = iwork[j] / 2;
    }
    ++tlvls;
    subpbs *= 2;
  }
  for (int j = 2; j <= subpbs; ++j) iwork[j] += iwork[j - 1];

  // The rank-one tears: each cut removes |e| from the two diagonal entries beside it.
  for (int i = 1; i <= subpbs - 1; ++i) {
    const int submat = iwork[i] + 1;
    d[submat - 1] -= std::fabs(e[submat - 1]);
    d[submat] -= std::fabs(e[submat - 1]);
  }
  int* indxq = iwork + 4 * nn + 3;  // indxq[1..n]
  auto start_of = [&](int i) { return i == 0 ? 1 : iwork[i] + 1; };
  auto size_of = [&](int i) { return i == 0 ? iwork[1] : iwork[i + 1] - iwork[i]; };

  // With a given matrix, the merges keep their records (see dlaed7.h) in iwork after indxq
  // and at the front of work; the leaves' vectors are the first entries of the store.
  const int lgn = ceil_log2(nn);
  const std::ptrdiff_t nlgn = static_cast<std::ptrdiff_t>(nn) * lgn;
  int* prmptr = indxq + nn + 1;
  int* perm = prmptr + nlgn;
  int* qptr = perm + nlgn;
  int* givptr = qptr + nn + 2;
  int* givcol = givptr + nlgn;
  double* givnum = work;
  double* store = givnum + 2 * nlgn;
  double* merge_work = store + static_cast<std::ptrdiff_t>(nn) * nn + 1;
  if (given) {
    for (int i = 0; i <= subpbs; ++i) prmptr[i] = givptr[i] = 1;
    qptr[0] = 1;
    for (int i = 0; i < subpbs; ++i) qptr[i + 1] = qptr[i] + size_of(i) * size_of(i);
  }

  // Leaves.  The first failure in row order is the one reported.
  int failed = INT_MAX;
  auto solve_leaf = [&](int i, double* leaf_work) {
    const int submat = start_of(i), matsiz = size_of(i);
    int linfo = 0;
    if (!given) {
      dsteqr("I", &matsiz, &d[submat], &e[submat], qat(submat, submat), ldq, leaf_work, &linfo);
      return linfo;
    }
    double* vectors = store + qptr[i] - 1;
    dsteqr("I", &matsiz, &d[submat], &e[submat], vectors, &matsiz, leaf_work, &linfo);
    if (linfo == 0) {
      const double one = 1.0, zero = 0.0;
      ztr_blas_dgemm("N", "N", qsiz, &matsiz, &matsiz, &one, qat(1, submat), ldq, vectors, &matsiz,
                     &zero, qsat(submat), ldqs);
    }
    return linfo;
  };
  if (parallel) {
#pragma omp parallel for num_threads(threads) schedule(dynamic, 1)
    for (int i = 0; i < subpbs; ++i) {
      if (solve_leaf(i, scratch.work(omp_get_thread_num())) != 0) {
#pragma omp critical(ztr_dlaed0_failure)
        failed = std::min(failed, i);
      }
    }
  } else {
    for (int i = 0; i < subpbs && failed == INT_MAX; ++i)
      if (solve_leaf(i, given ? merge_work : work) != 0) failed = i;
  }
  if (failed == INT_MAX) {
    for (int i = 0; i < subpbs; ++i) {
      const int submat = start_of(i);
      for (int j = 0; j < size_of(i); ++j) indxq[submat + j] = j + 1;
    }
  }

  // Merges, level by level from the leaves up.
  int fail_submat = 0, fail_matsiz = 0;
  if (failed != INT_MAX) {
    fail_submat = start_of(failed);
    fail_matsiz = size_of(failed);
  }
  for (int curlvl = 1; failed == INT_MAX && subpbs > 1; ++curlvl) {
    const int pairs = subpbs / 2;
    auto merge = [&](int pair, double* pair_work, int* pair_iwork) {
      const int i = 2 * pair;
      int submat, matsiz, msd2;
      if (i == 0) {
        submat = 1;
        matsiz = iwork[2];
        msd2 = iwork[1];
      } else {
        submat = iwork[i] + 1;
        matsiz = iwork[i + 2] - iwork[i];
        msd2 = matsiz / 2;
      }
      int linfo = 0;
      if (given) {
        dlaed7(icompq, &matsiz, qsiz, &tlvls, &curlvl, &pair, &d[submat], qsat(submat), ldqs,
               &indxq[submat], &e[submat + msd2 - 1], &msd2, store, qptr, prmptr, perm, givptr,
               givcol, givnum, pair_work, pair_iwork, &linfo);
      } else {
        dlaed1(&matsiz, &d[submat], qat(submat, submat), ldq, &indxq[submat], &e[submat + msd2 - 1],
               &msd2, pair_work, pair_iwork, &linfo);
      }
      return linfo;
    };
    // The merges that update a given matrix share the record store: they run in order.
    if (parallel && !given && subpbs >= 3) {
#pragma omp parallel for num_threads(threads) schedule(dynamic, 1)
      for (int p = 0; p < pairs; ++p) {
        const int t = omp_get_thread_num();
        if (merge(p, scratch.work(t), scratch.iwork(t)) != 0) {
#pragma omp critical(ztr_dlaed0_failure)
          failed = std::min(failed, 2 * p);
        }
      }
    } else {
      for (int p = 0; p < pairs && failed == INT_MAX; ++p)
        if (merge(p, given ? merge_work : work, &iwork[subpbs + 1]) != 0) failed = 2 * p;
    }
    if (failed != INT_MAX) {
      fail_submat = failed == 0 ? 1 : iwork[failed] + 1;
      fail_matsiz = failed == 0 ? iwork[2] : iwork[failed + 2] - iwork[failed];
      break;
    }
    for (int p = 0; p < pairs; ++p) iwork[p + 1] = iwork[2 * p + 2];
    subpbs /= 2;
  }
  mm_free_direct(scratch.block);
  if (failed != INT_MAX) {
    *info = fail_submat * (nn + 1) + fail_submat + fail_matsiz - 1;
    return;
  }

  // Put the eigenpairs in ascending order.
  const int inc1 = 1;
  for (int i = 1; i <= nn; ++i) {
    const int j = indxq[i];
    work[i - 1] = d[j];
    if (given) {
      blas_dcopy(qsiz, qsat(j), &inc1, qat(1, i), &inc1);
    } else {
      blas_dcopy(n, qat(1, j), &inc1, work + static_cast<std::ptrdiff_t>(nn) * i, &inc1);
    }
  }
  blas_dcopy(n, work, &inc1, d_arg, &inc1);
  if (!given) dlacpy("A", n, n, work + nn, n, q, ldq);
}

}  // namespace ztr
