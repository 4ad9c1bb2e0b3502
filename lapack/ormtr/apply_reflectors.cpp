#include "lapack/ormtr/apply_reflectors.h"

#include <omp.h>

#include <algorithm>
#include <cstddef>

#include "lapack/ilaenv.h"
#include "service/error.h"
#include "service/letters.h"
#include "service/memory.h"
#include "service/threads.h"

namespace ztr {

namespace {

constexpr int kMinSliceWidth = 32;  // narrower slices make the block updates inefficient
constexpr int kAlignment = 128;

}  // namespace

void apply_reflectors(const char* name, const char* side, const char* trans, const int* m,
                      const int* n, const int* k, double* a, const int* lda, const double* tau,
                      double* c, const int* ldc, double* work, const int* lwork, int* info,
                      ReflectorKernel kernel) {
  const bool left = same_letter(*side, 'L');
  const bool notran = same_letter(*trans, 'N');
  const bool lquery = *lwork == -1;
  const int nq = left ? *m : *n;
  const int nw = std::max(1, left ? *n : *m);
  int bad = 0;
  if (!left && !same_letter(*side, 'R')) {
    bad = 1;
  } else if (!notran && !same_letter(*trans, 'T')) {
    bad = 2;
  } else if (*m < 0) {
    bad = 3;
  } else if (*n < 0) {
    bad = 4;
  } else if (*k < 0 || *k > nq) {
    bad = 5;
  } else if (*lda < std::max(1, nq)) {
    bad = 7;
  } else if (*ldc < std::max(1, *m)) {
    bad = 10;
  } else if (*lwork < nw && !lquery) {
    bad = 12;
  }
  const char opts[3] = {left ? 'L' : 'R', notran ? 'N' : 'T', '\0'};
  int nb = 1;
  if (bad == 0) {
    nb = std::min(kReflectorMaxBlock, ilaenv(1, name, opts, *m, *n, *k, -1));
    work[0] = static_cast<double>(nw) * nb + kReflectorTSize;
  }
  *info = -bad;
  if (bad != 0) {
    xerbla_dispatch(name, &bad, 6);
    return;
  }
  if (lquery) return;
  if (*m == 0 || *n == 0 || *k == 0) {
    work[0] = 1;
    return;
  }
  const int lwkopt = static_cast<int>(work[0]);
  ReflectorJob job{left, notran, *m, *n, *k, a, *lda, tau, c, *ldc};

  // Threads: slices of at least kMinSliceWidth columns (rows), each with nb*slice + T.
  int threads = std::min(domain_max_threads(kDomainAll), nw / kMinSliceWidth);
  if (threads >= 2) {
    const int tb = std::max(1, std::min(nb, *k));
    const int slice = (nw + threads - 1) / threads;
    const std::size_t per_thread = static_cast<std::size_t>(slice) * tb + kReflectorTSize;
    double* scratch = nullptr;
    double* base = work;
    if (static_cast<std::size_t>(*lwork) < per_thread * threads) {
      scratch =
          static_cast<double*>(mm_malloc_direct(per_thread * threads * sizeof(double), kAlignment));
      base = scratch;
    }
    if (base != nullptr) {
#pragma omp parallel num_threads(threads)
      {
        const int t = omp_get_thread_num();
        const int team = omp_get_num_threads();
        const int per = (nw + team - 1) / team;
        const int first = std::min(nw, t * per), count = std::min(nw, first + per) - first;
        if (count > 0) {
          ReflectorJob part = job;
          if (left) {
            part.n = count;
            part.c = c + static_cast<std::ptrdiff_t>(first) * *ldc;
          } else {
            part.m = count;
            part.c = c + first;
          }
          double* w = base + per_thread * static_cast<std::size_t>(t);
          kernel(part, tb, true, w, w + static_cast<std::size_t>(count) * tb);
        }
      }
      mm_free_direct(scratch);
      work[0] = lwkopt;
      return;
    }
  }

  // Sequential: the published rules for reducing nb to the workspace given.
  bool blocked = false;
  if (nb > 1 && nb < *k) {
    int nbmin = 2;
    if (*lwork < lwkopt) {
      nb = (*lwork - kReflectorTSize) / nw;
      nbmin = std::max(2, ilaenv(2, name, opts, *m, *n, *k, -1));
    }
    blocked = nb >= nbmin;
  }
  kernel(job, blocked ? nb : 1, blocked, work,
         blocked ? work + static_cast<std::ptrdiff_t>(nw) * nb : nullptr);
  work[0] = lwkopt;
}

}  // namespace ztr
