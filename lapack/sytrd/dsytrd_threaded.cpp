#include <omp.h>

#include <algorithm>
#include <cstddef>

#include "blas/gemm/gemm.h"
#include "blas/level3/level3.h"
#include "lapack/ilaenv.h"
#include "lapack/sytrd/sytrd.h"
#include "lapack/sytrd/sytrd_arguments.h"
#include "service/letters.h"
#include "service/column_barrier.h"
#include "service/memory.h"
#include "service/threads.h"

namespace ztr {

namespace {

constexpr int kScratchAlignment = 128;

// Thread t's share of A := A - V*W' - W*V' on the trailing matrix of order m (column-major,
// lda), whose reflected panel V (ldv) and W (ldw) have nb columns.  The order is cut into
// 2P strips of even width; strip 0 lies next to the panel and takes the remainder.  Thread
// t updates strips t and 2P-1-t, which together hold about 1/P of the triangle.
void strip_update(bool upper, int m, int nb, const double* v, int ldv, const double* w, int ldw,
                  double* a, int lda, int t, int threads) {
  const int strips = 2 * threads;
  const int width = (m / strips) / 2 * 2;
  const int first = m - (strips - 1) * width;
  const double one = 1.0, minus_one = -1.0;
  const std::ptrdiff_t la = lda;
  // Columns [begin, begin + len) of strip s, in the matrix's own column numbering.
  auto strip_columns = [&](int s, int* begin, int* len) {
    *len = s == 0 ? first : width;
    const int offset = s == 0 ? 0 : first + (s - 1) * width;  // distance from the panel side
    *begin = upper ? m - offset - *len : offset;
  };
  auto update = [&](int s) {
    int c0, len;
    strip_columns(s, &c0, &len);
    if (len <= 0) return;
    ztr_blas_dsyr2k(upper ? "U" : "L", "N", &len, &nb, &minus_one, v + c0, &ldv, w + c0, &ldw, &one,
                    a + c0 + c0 * la, &lda);
    // The block between the strip and the far edge: above it for 'U', below it for 'L'.
    const int r0 = upper ? 0 : c0 + len;
    const int rows = upper ? c0 : m - c0 - len;
    if (rows <= 0) return;
    double* block = a + r0 + c0 * la;
    ztr_blas_dgemm("N", "T", &rows, &len, &nb, &minus_one, v + r0, &ldv, w + c0, &ldw, &one, block,
                   &lda);
    ztr_blas_dgemm("N", "T", &rows, &len, &nb, &minus_one, w + r0, &ldw, v + c0, &ldv, &one, block,
                   &lda);
  };
  update(t);
  update(strips - 1 - t);
}

}  // namespace

void ztr_lapack_dsytrd(const char* uplo, const int* n, double* a, const int* lda, double* d,
                       double* e, double* tau, double* work, const int* lwork, int* info) {
  const bool upper = same_letter(*uplo, 'U');
  const int nn = *n;
  const char opts[2] = {upper ? 'U' : 'L', '\0'};
  const int threads = domain_max_threads(kDomainAll);
  if (nn < ilaenv(3, "DSYTRD", opts, -1, -1, -1, -1) || threads < 2) {
    dsytrd(uplo, n, a, lda, d, e, tau, work, lwork, info);
    return;
  }
  if (!sytrd_arguments_ok(uplo, n, lda, lwork, info)) return;
  int nb = ilaenv(1, "DSYTRD", opts, nn, threads, -1, -1);
  const double lwkopt = static_cast<double>(nn) * nb;
  work[0] = lwkopt;
  if (*lwork == -1) return;

  const std::ptrdiff_t ld = *lda;
  auto at = [&](int i, int j) { return a + i + j * ld; };
  int nx = nn;
  if (nb > 1 && nb < nn) {
    nx = std::max(nb, ilaenv(3, "DSYTRD", opts, nn, threads, -1, -1));
    if (nx < nn && *lwork < static_cast<long long>(nn) * nb) {
      nb = std::max(1, *lwork / nn);
      if (nb < ilaenv(2, "DSYTRD", opts, nn, threads, -1, -1)) nx = nn;
    }
  } else {
    nb = 1;
    nx = nn;
  }
  const int ldwork = nn;
  // The team's products and the unblocked stage share one scratch; without it the
  // sequential reduction runs instead.
  double* scratch = static_cast<double*>(mm_malloc_direct(
      sizeof(double) * static_cast<std::size_t>(nn) * (threads + 1), kScratchAlignment));
  if (scratch == nullptr) {
    dsytrd(uplo, n, a, lda, d, e, tau, work, lwork, info);
    work[0] = lwkopt;
    return;
  }
  // The whole reduction runs in one parallel region: the lead reduces the panels' columns,
  // every thread joins in their products and in the rank-2k updates, and the team waits on
  // a ColumnBarrier rather than in the runtime between hundreds of short regions.
  run_column_team(threads, [&](int thread, int size, ColumnBarrier& barrier) {
    const SymvTeam team{thread, size, &barrier, scratch};
    // The columns left to the unblocked stage: [0, kk) for 'U', [i_end, n) for 'L'.
    int unblocked_begin = 0, unblocked_order = nn;
    if (upper) {
      const int kk = nx >= nn ? nn : nn - ((nn - nx + nb - 1) / nb) * nb;
      for (int i = nn - nb; i >= kk; i -= nb) {
        const int order = i + nb;
        ztr_lapack_dlatrd(uplo, &order, &nb, a, lda, e, tau, work, &ldwork, &team);
        barrier.wait();  // W complete
        strip_update(true, i, nb, at(0, i), *lda, work, ldwork, a, *lda, team.thread, size);
        barrier.wait();  // trailing matrix updated, W free
        if (team.lead()) {
          for (int j = i; j < i + nb; ++j) {
            *at(j - 1, j) = e[j - 1];
            d[j] = *at(j, j);
          }
        }
      }
      unblocked_order = kk;
    } else {
      int i = 0;
      for (; i < nn - nx; i += nb) {
        const int order = nn - i;
        ztr_lapack_dlatrd(uplo, &order, &nb, at(i, i), lda, e + i, tau + i, work, &ldwork, &team);
        barrier.wait();
        strip_update(false, nn - i - nb, nb, at(i + nb, i), *lda, work + nb, ldwork,
                     at(i + nb, i + nb), *lda, team.thread, size);
        barrier.wait();
        if (team.lead()) {
          for (int j = i; j < i + nb; ++j) {
            *at(j + 1, j) = e[j];
            d[j] = *at(j, j);
          }
        }
      }
      unblocked_begin = i;
      unblocked_order = nn - i;
    }
    ztr_lapack_dsytd3(uplo, unblocked_order, at(unblocked_begin, unblocked_begin), *lda,
                      d + unblocked_begin, e + unblocked_begin, tau + unblocked_begin, team);
    // The others wait here for the lead's last columns, yielding, not in the runtime.
    barrier.wait();
  });
  mm_free_direct(scratch);
  work[0] = lwkopt;
}

}  // namespace ztr
