// The task-parallel factorization over nb x nb tiles of the referenced triangle.
//
// Tile (i, j), i >= j, of the factor (for uplo 'U' the tile (j, i) of U, its transpose) is
// final after it has received the updates of the tile columns 0..j-1 and has then been
// factored (i = j) or solved against the factored diagonal tile j (i > j).  The scheduler
// state is one small int array: a header and, per tile, the number of tile columns whose
// updates it has received (j + 1 once final), negated while a thread works on it.  Threads
// take tasks under the library-wide scheduler critical section and do the arithmetic
// outside it:
//   factor   diagonal tile j with all j updates: the serial blocked algorithm;
//   solve    tile (i, j) with all j updates, once diagonal tile j is final: one TRSM;
//   update   tile (i, j) at level s: the group of tile columns s..k-1 (fixed groups of
//            about kUpdateDepth columns, the last one ending at j) once their tiles in rows
//            i and j are final, in one SYRK (i = j) or GEMM of depth (k - s)*nb.  Tiles below an
//            off-diagonal one in the same column, at the same level and with the same
//            columns final, join its task (up to a thread's share of the column), one
//            multiply per tile.
// Tasks are looked for column by column from the left, so the critical path (the diagonal
// and the panel just under it) is served first.  When a diagonal tile is not positive
// definite, info takes its global order and no thread takes another task.
#include <omp.h>

#include <algorithm>
#include <cstddef>

#include "blas/gemm/gemm.h"
#include "blas/level3/level3.h"
#include "lapack/ilaenv.h"
#include "lapack/potrf/potrf.h"
#include "service/letters.h"
#include "service/memory.h"
#include "service/spin_wait.h"

namespace ztr {
namespace {

constexpr int kTableAlignment = 128;
// Depth of an update's multiply: tile columns are summed into a tile in fixed groups of about
// this many columns of the factor.
constexpr int kUpdateDepth = 256;

// Header of the state array; the tiles follow, (i, j) at kTiles + i*(i+1)/2 + j.
enum Header { kBlocks, kScanFrom, kRemaining, kFailed, kThreads, kGroup, kTiles };

enum TaskKind { kFinished, kNothing, kFactor, kSolve, kUpdate };
struct Task {
  TaskKind kind;
  int i, j;    // tile
  int k1, k2;  // update: tile columns k1..k2-1
  int i2;      // update: tiles (i..i2, j)
};

struct Scheduler {
  int* s;
  int& tile(int i, int j) { return s[kTiles + i * (i + 1) / 2 + j]; }
  bool final_tile(int i, int j) { return tile(i, j) == j + 1; }

  void record(const Task& t) {
    if (t.kind == kUpdate) {
      for (int i = t.i; i <= t.i2; ++i) tile(i, t.j) = t.k2;
    } else if (t.kind == kFactor || t.kind == kSolve) {
      tile(t.i, t.j) = t.j + 1;
      --s[kRemaining];
    }
  }

  Task next(const Task& done) {
    record(done);
    if (s[kFailed] != 0 || s[kRemaining] == 0) return {kFinished, 0, 0, 0, 0, 0};
    const int nblk = s[kBlocks];
    while (s[kScanFrom] < nblk) {
      // Advance past tile columns that are complete.
      const int j = s[kScanFrom];
      bool complete = true;
      for (int i = j; i < nblk && complete; ++i) complete = final_tile(i, j);
      if (!complete) break;
      ++s[kScanFrom];
    }
    for (int j = s[kScanFrom]; j < nblk; ++j) {
      for (int i = j; i < nblk; ++i) {
        const int level = tile(i, j);
        if (level < 0 || level == j + 1) continue;
        if (level == j) {
          if (i == j) {
            tile(i, j) = -1;
            return {kFactor, i, j, 0, 0, i};
          }
          if (final_tile(j, j)) {
            tile(i, j) = -1;
            return {kSolve, i, j, 0, 0, i};
          }
          continue;
        }
        // The columns come in fixed groups (levels start on group boundaries), and a
        // group is taken whole: the order of the sum into a tile never depends on which
        // tiles happened to be final, so every run gives the same bits.
        const int group_end = std::min(j, (level / s[kGroup] + 1) * s[kGroup]);
        int k = level;
        while (k < group_end && final_tile(i, k) && final_tile(j, k)) ++k;
        if (k == group_end) {
          int i2 = i;
          if (i > j) {
            const int most = std::max(1, (nblk - j) / s[kThreads]);
            auto joins = [&](int r) {
              if (tile(r, j) != level) return false;
              for (int c = level; c < k; ++c)
                if (!final_tile(r, c)) return false;
              return true;
            };
            while (i2 + 1 < nblk && i2 + 1 - i < most && joins(i2 + 1)) ++i2;
          }
          for (int r = i; r <= i2; ++r) tile(r, j) = -1;
          return {kUpdate, i, j, level, k, i2};
        }
      }
    }
    return {kNothing, 0, 0, 0, 0, 0};
  }
};

}  // namespace

void ztr_lapack_dpotrf_tiled(char uplo, int n, double* a, int lda, int* info, int nb, int threads) {
  *info = 0;
  if (n <= 0) return;
  if (nb < 1 || nb >= n || threads < 2) {
    ztr_lapack_dpotrf_blocked(uplo, n, a, lda, info, nb);
    return;
  }
  const bool upper = same_letter(uplo, 'U');
  const char opts[2] = {upper ? 'U' : 'L', '\0'};
  const int nblk = (n + nb - 1) / nb;
  const std::size_t entries = static_cast<std::size_t>(nblk) * (nblk + 1) / 2 + kTiles;
  int* state = static_cast<int*>(mm_malloc(sizeof(int) * entries, kTableAlignment));
  if (state == nullptr) {
    // Without its table the scheduler cannot run; the serial algorithm needs no memory.
    ztr_lapack_dpotrf_blocked(uplo, n, a, lda, info, nb);
    return;
  }

  // The leading block columns are factored first (by a recursive call, itself threaded), so
  // that every thread finds work in the tiles from the start.
  int chunk = 1;
  while (chunk * 2 <= std::max(1, nblk / (threads + 1))) chunk *= 2;
  const int chunk_limit = ilaenv(1, "DPOTRF", opts, n, threads, -3, -1);
  while (chunk > 1 && chunk_limit < nb * chunk) chunk /= 2;
  const int lead = std::min(n, nb * chunk);
  ztr_lapack_dpotrf(uplo, lead, a, lda, info);
  if (*info != 0 || lead == n) {
    mm_free(state);
    return;
  }

  Scheduler sched{state};
  state[kBlocks] = nblk;
  state[kScanFrom] = 0;
  state[kFailed] = 0;
  state[kThreads] = threads;
  state[kGroup] = std::max(1, kUpdateDepth / nb);
  int remaining = 0;
  for (int i = 0; i < nblk; ++i)
    for (int j = 0; j <= i; ++j) {
      const bool done = i < chunk;  // inside the factored leading block
      sched.tile(i, j) = done ? j + 1 : 0;
      remaining += done ? 0 : 1;
    }
  state[kRemaining] = remaining;

  const double one = 1.0, minus_one = -1.0;
  auto at = [&](int bi, int bj) {  // tile (bi, bj) of the factor's triangle
    const std::ptrdiff_t r = static_cast<std::ptrdiff_t>(upper ? bj : bi) * nb;
    const std::ptrdiff_t c = static_cast<std::ptrdiff_t>(upper ? bi : bj) * nb;
    return a + r + c * lda;
  };
  auto order = [&](int b) { return std::min(nb, n - b * nb); };

#pragma omp parallel num_threads(threads)
  {
    Task task{kNothing, 0, 0, 0, 0, 0};
    SpinWait idle;
    for (;;) {
#pragma omp critical(ztr_task_scheduler)
      task = sched.next(task);
      if (task.kind == kFinished) break;
      if (task.kind == kNothing) {
        idle.wait();
        continue;
      }
      idle.reset();
      const int mj = order(task.j);
      const int mi = std::min(n, (task.i2 + 1) * nb) - task.i * nb;  // rows of tiles i..i2
      if (task.kind == kFactor) {
        int tile_info = 0;
        const int tile_nb = ilaenv(1, "DPOTRF", opts, mj, 1, -1, -1);
        ztr_lapack_dpotrf_blocked(uplo, mj, at(task.j, task.j), lda, &tile_info, tile_nb);
        if (tile_info != 0) {
#pragma omp critical(ztr_task_scheduler)
          state[kFailed] = task.j * nb + tile_info;
          task.kind = kNothing;  // the tile is not final
        }
      } else if (task.kind == kSolve) {
        if (upper)
          ztr_blas_dtrsm("L", "U", "T", "N", &mj, &mi, &one, at(task.j, task.j), &lda,
                         at(task.i, task.j), &lda);
        else
          ztr_blas_dtrsm("R", "L", "T", "N", &mi, &mj, &one, at(task.j, task.j), &lda,
                         at(task.i, task.j), &lda);
      } else {
        const int depth = (task.k2 - task.k1) * nb;
        const double* rj = at(task.j, task.k1);
        if (task.i == task.j) {
          double* c = at(task.i, task.j);
          if (upper)
            ztr_blas_dsyrk("U", "T", &mj, &depth, &minus_one, rj, &lda, &one, c, &lda);
          else
            ztr_blas_dsyrk("L", "N", &mj, &depth, &minus_one, rj, &lda, &one, c, &lda);
        }
        // The joined tiles one multiply each: a tile's numbers must not depend on the tiles
        // it was joined with (a narrow last tile is rounded differently as the tail of a
        // taller product).
        for (int r = task.i; r <= task.i2 && task.i != task.j; ++r) {
          const int rows = order(r);
          const double* ri = at(r, task.k1);
          double* c = at(r, task.j);
          if (upper)
            ztr_blas_dgemm("T", "N", &mj, &rows, &depth, &minus_one, rj, &lda, ri, &lda, &one, c,
                           &lda);
          else
            ztr_blas_dgemm("N", "T", &rows, &mj, &depth, &minus_one, ri, &lda, rj, &lda, &one, c,
                           &lda);
        }
      }
    }
  }
  *info = state[kFailed];
  mm_free(state);
}

}  // namespace ztr
