// ztr_blas_dgemm: the threaded driver of the matrix multiply.  It decides whether a product
// runs on one thread or on many, cuts the work between the threads of one OpenMP region,
// and leaves the arithmetic to the dispatched single-thread routines.
#include "blas/gemm/gemm_driver.h"

#include <omp.h>

#include <cstdint>

#include "blas/gemm/gemm.h"
#include "service/cpu.h"
#include "service/error.h"
#include "service/memory.h"
#include "service/threads.h"
#include "service/letters.h"

namespace ztr {
namespace {

// Below these shapes a parallel region costs more than it saves.
constexpr int kTinyK = 4, kTinyN = 16, kTinyAll = 16, kThinN = 4, kThinM = 32;
// Products with every dimension at most this take the small-problem region.
constexpr int kSmallDim = 100;
// The small-problem efficiency test: a region costs ~1000 work units per thread.
constexpr double kRegionCostPerThread = 1000.0;
constexpr double kSmallEfficiency = 1.4;
// Shallow small products (k below kShallowK) take the small region only with blocks of at
// least kShallowMinBlock entries: less work per thread does not cover the region's cost.
constexpr int kShallowK = 24;
constexpr long long kShallowMinBlock = 320;
// From kWideTeam threads on, the small region needs a column split and blocks of at least
// kWideTeamMinBlock entries: many threads over a small product mostly wait at the barrier.
constexpr int kWideTeam = 16;
constexpr long long kWideTeamMinBlock = 128;
// Up to kLargeTeam threads every large product runs in parallel.  Above, a product whose
// per-thread share (mq rows, nq columns) is thin stays serial: shares of fewer than kFewRows
// (or kSomeRows) rows or columns, and share work (multiply-adds) below these limits, do not
// pay for waking the team.
constexpr int kLargeTeam = 12;
constexpr long long kFewRows = 4, kSomeRows = 8, kOneRowMaxNq = 16;
constexpr long long kTallShareWork = 1230, kTallColumnWork = 15000;
constexpr long long kWideShareWork = 580, kWideSliceWork = 300, kWideThinWork = 128;
constexpr int kWideThinMaxN = 3000;
// Sub-class 33 processors with a large L2 run mid-sized products on at most four threads.
constexpr double kCapWorkLimit = 1.0e8;
constexpr int kCapThreads = 4;
// Grid-worker M block sizes of the class-33 policies: the shared A panels of all threads
// together stay in the level-2 cache.
constexpr int kGridMcSse41LargeL2 = 512;
constexpr int kGridMcSse41 = 448;
// Row slabs whose A block (kc x mc doubles) exceeds these bytes go to the row worker rather
// than a grid: each thread's own packed A then no longer fits beside the shared panel.
constexpr long long kRowsBytesSse41 = 0x180000;
constexpr long long kRowsCapSmallTeam = 0x20000;
constexpr long long kRowsCapLargeTeam = 0x80000;

bool is_n(char t) { return same_letter(t, 'N'); }
bool is_t(char t) { return same_letter(t, 'T'); }
int imin(int a, int b) { return a < b ? a : b; }
int imax(int a, int b) { return a > b ? a : b; }

int level2_cache_bytes() {
  int table[5];
  cache_table(table);
  return table[0] >= 2 ? table[2] : 0;
}

// The dispatched routines, as plain function pointers for the plan.
void serial_via_slot(const char* ta, const char* tb, const int* m, const int* n, const int* k,
                     const double* al, const double* a, const int* lda, const double* b,
                     const int* ldb, const double* be, double* c, const int* ldc) {
  g_gemm_serial(ta, tb, m, n, k, al, a, lda, b, ldb, be, c, ldc);
}
int blocked_via_slot(const char* ta, const char* tb, const int* m, const int* n, const int* k,
                     const double* al, const double* a, const int* lda, const double* b,
                     const int* ldb, const double* be, double* c, const int* ldc, int mode,
                     GemmKernelParams* p, int tid) {
  return g_gemm_blocked(ta, tb, m, n, k, al, a, lda, b, ldb, be, c, ldc, mode, p, tid);
}

void serial_whole(const GemmCall& g) {
  g_gemm_serial(g.transa, g.transb, g.m, g.n, g.k, g.alpha, g.a, g.lda, g.b, g.ldb, g.beta, g.c,
                g.ldc);
}

// op(A) from row `i`, column `p`; op(B) from row `p`, column `j`.
const double* op_a(const GemmCall& g, int i, int p) {
  return is_n(*g.transa) ? g.a + i + static_cast<long>(p) * *g.lda
                         : g.a + p + static_cast<long>(i) * *g.lda;
}
const double* op_b(const GemmCall& g, int p, int j) {
  return is_n(*g.transb) ? g.b + p + static_cast<long>(j) * *g.ldb
                         : g.b + j + static_cast<long>(p) * *g.ldb;
}
double* c_at(const GemmCall& g, int i, int j) { return g.c + i + static_cast<long>(j) * *g.ldc; }

// Share i of `total` in `parts` chunks of total/parts, the last taking the remainder.
struct Share {
  int first, count;
};
Share share_of(int i, int parts, int total) {
  const int chunk = total / parts;
  int count = i == parts - 1 ? total - i * chunk : chunk;
  if (count < 0) count = 0;
  return {imin(i * chunk, total - 1), count};
}

// ---- small-problem region ----

void small_region_body(const GemmCall& g) {
  const int P = omp_get_num_threads();
  const int m = *g.m, n = *g.n;
  if (P == 1) {
    serial_whole(g);
    return;
  }
  if (static_cast<long long>(n) * P < m) {
#pragma omp for schedule(static, 1)
    for (int i = 0; i < P; ++i) {
      const Share s = share_of(i, P, m);
      g_gemm_serial(g.transa, g.transb, &s.count, g.n, g.k, g.alpha, op_a(g, s.first, 0), g.lda,
                    g.b, g.ldb, g.beta, c_at(g, s.first, 0), g.ldc);
    }
  } else {
    const double one = 1.0;
#pragma omp for schedule(static, 1)
    for (int i = 0; i < P; ++i) {
      const Share s = share_of(i, P, n);
      // Each thread scales exactly the columns it multiplies: no barrier between the steps.
      if (*g.beta != 1.0) g_gemm_scale_c(g.m, &s.count, g.beta, c_at(g, 0, s.first), g.ldc);
      if (*g.alpha != 0.0)
        g_gemm_serial(g.transa, g.transb, g.m, &s.count, g.k, g.alpha, g.a, g.lda,
                      op_b(g, 0, s.first), g.ldb, &one, c_at(g, 0, s.first), g.ldc);
    }
  }
}

// ---- large-problem beta stage ----

void beta_region_body(const GemmCall& g) {
  const int P = omp_get_num_threads();
  const int m = *g.m, n = *g.n;
  if (static_cast<long long>(n) * P < m) {
#pragma omp for schedule(static, 1)
    for (int i = 0; i < P; ++i) {
      const Share s = share_of(i, P, m);
      g_gemm_scale_c(&s.count, g.n, g.beta, c_at(g, s.first, 0), g.ldc);
    }
  } else {
#pragma omp for schedule(static, 1)
    for (int i = 0; i < P; ++i) {
      const Share s = share_of(i, P, n);
      g_gemm_scale_c(g.m, &s.count, g.beta, c_at(g, 0, s.first), g.ldc);
    }
  }
}

// ---- main region ----

void choose_rows_or_cols(GemmThreadPlan* plan, int m, int n) {
  plan->worker = n < m ? ztr_blas_dgemm_1d_row : ztr_blas_dgemm_1d_col;
}

void partition_one_dimensional(GemmThreadPlan* plan, int m, int n, int k, int team) {
  const long long np = m <= kSmallDim && n <= kSmallDim && k <= kSmallDim
                           ? static_cast<long long>(n) * team
                           : n;
  plan->worker = np < m ? ztr_blas_dgemm_1d_row : ztr_blas_dgemm_1d_col;
  plan->pack_mode = plan->split_policy == kSplitSsse3 ? kGemmModePackA : kGemmModeChoose;
}

void use_grid_a(GemmThreadPlan* plan, int pe) {
  plan->worker = ztr_blas_dgemm_1d_acopy;
  plan->grid_rows = pe;
  plan->grid_cols = 1;
  plan->a_slots = pe;
}
void use_grid_b(GemmThreadPlan* plan, int pe) {
  plan->worker = ztr_blas_dgemm_1d_bcopy;
  plan->grid_rows = 1;
  plan->grid_cols = pe;
  plan->b_slots = pe;
  plan->pack_mode = kGemmModePackedB;
}

void partition_sse41(GemmThreadPlan* plan, int m, int n, int k, int pe) {
  const int grid_mc = plan->split_policy == kSplitSse41 ? kGridMcSse41 : kGridMcSse41LargeL2;
  plan->pack_mode = kGemmModePackA;
  if (m > n) {
    if (m <= kSmallDim && n <= kSmallDim && !(n == 3 && (k >= 8000 || m / pe >= 4))) {
      plan->worker = ztr_blas_dgemm_1d_row;
      return;
    }
    const long long mq = imin(m / pe, plan->mc), kq = imin(k, plan->kc);
    if (kq * 8 * mq > kRowsBytesSse41) {
      plan->worker = ztr_blas_dgemm_1d_row;
    } else {
      use_grid_a(plan, pe);
      plan->mc = grid_mc;
      plan->pack_mode = kGemmModePackedA;
    }
  } else if (m < n) {
    plan->worker = ztr_blas_dgemm_1d_col;
  } else if ((n == k && k < 500) || (m < 100 && (n / pe != 3 || k < 12000))) {
    plan->worker = ztr_blas_dgemm_1d_col;
  } else if (k < 80) {
    use_grid_b(plan, pe);
    plan->mc = grid_mc;
  } else {
    use_grid_a(plan, pe);
    plan->mc = grid_mc;
    plan->pack_mode = kGemmModePackedA;
  }
}

void partition_wide(GemmThreadPlan* plan, int m, int n, int k, int pe) {
  const bool p5 = plan->split_policy == kSplitAvx;
  const int one_d_mode = p5 ? kGemmModePackAB : kGemmModePackA;
  const int grid_a_mode = p5 ? kGemmModePackedAPackB : kGemmModePackedA;
  if (m > n && (m / pe > 3 || n / pe < 1)) {
    const long long cap = pe <= 8 ? kRowsCapSmallTeam : kRowsCapLargeTeam / ((pe / 2) / 4 * 4);
    const long long mq = imin(m / pe, plan->mc), kq = imin(k, plan->kc);
    if (kq * 8 * mq > cap) {
      plan->worker = ztr_blas_dgemm_1d_row;
      plan->pack_mode = one_d_mode;
    } else {
      use_grid_a(plan, pe);
      plan->pack_mode = grid_a_mode;
    }
  } else if ((m == n && n == k && k < 500) || m < n || (pe > 8 && m < 100 && n < 100)) {
    plan->worker = ztr_blas_dgemm_1d_col;
    plan->grid_rows = 1;
    plan->grid_cols = pe;
    plan->pack_mode = one_d_mode;
  } else if (m == n && k < 80) {
    use_grid_b(plan, pe);
  } else {
    use_grid_a(plan, pe);
    plan->pack_mode = grid_a_mode;
  }
}

std::uintptr_t align_to(void* p, int log2) {
  const std::uintptr_t a = std::uintptr_t{1} << log2;
  return (reinterpret_cast<std::uintptr_t>(p) + a - 1) & ~(a - 1);
}

// Shared-panel buffers of the grid workers, allocated by one thread of the region.  On a
// failed allocation the plan falls back to the one-dimensional workers, which need none.
void shared_panels(GemmThreadPlan* plan, GemmKernelParams* params, const GemmCall& g,
                   void** raw_a, void** raw_b, int* failures) {
  params->buffer_size_fn(params, kGemmBufB, kGemmBoundByProblem, *g.m, *g.n, *g.k);
  params->buffer_size_fn(params, kGemmBufA, kGemmBoundByProblem, *g.m, *g.n, *g.k);
  if (plan->a_slots <= 0 && plan->b_slots <= 0) return;
#pragma omp single
  {
    *failures = 0;
    if (plan->b_slots > 0) {
      const std::size_t bytes = static_cast<std::size_t>(plan->b_slots) *
                                (static_cast<std::size_t>(params->b_size) +
                                 (std::size_t{2} << params->b_align_log2));
      *raw_b = mm_malloc(bytes, kWorkAlignment);
      *failures += alloc_check(*raw_b, "gemm");
    }
    if (plan->a_slots > 0) {
      const std::size_t bytes = static_cast<std::size_t>(plan->a_slots) *
                                (static_cast<std::size_t>(params->a_size) +
                                 (std::size_t{2} << params->a_align_log2));
      *raw_a = mm_malloc(bytes, kWorkAlignment);
      *failures += alloc_check(*raw_a, "gemm");
    }
  }
  if (*failures == 0) {
    if (*raw_b != nullptr) plan->b_shared = reinterpret_cast<double*>(align_to(*raw_b, params->b_align_log2));
    if (*raw_a != nullptr) plan->a_shared = reinterpret_cast<double*>(align_to(*raw_a, params->a_align_log2));
    return;
  }
#pragma omp single
  {
    if (*raw_a != nullptr) mm_free(*raw_a);
    if (*raw_b != nullptr) mm_free(*raw_b);
    *raw_a = *raw_b = nullptr;
  }
  plan->a_slots = plan->b_slots = 0;
  plan->pack_mode = kGemmModeChoose;
  choose_rows_or_cols(plan, *g.m, *g.n);
}

struct MainShared {
  const GemmThreadPlan* plan;
  const GemmKernelParams* params;
  void* raw_a;
  void* raw_b;
  int failures;
};

void main_region_body(const GemmCall& g, MainShared* shared) {
  GemmThreadPlan plan = *shared->plan;
  GemmKernelParams params = *shared->params;
  const int team = omp_get_num_threads();
  plan.nthreads = team;
  if (team == 1) {
    serial_whole(g);
    return;
  }
  gemm_partition(&plan, &params, *g.m, *g.n, *g.k, team);
  if (plan.blocked_available)
    shared_panels(&plan, &params, g, &shared->raw_a, &shared->raw_b, &shared->failures);
  plan.worker(g, &params, &plan);
}

}  // namespace

// The large-problem path: beta stage (the grid policies), plan, main region.
void gemm_large_path(const GemmCall& call, int threads, int policy) {
  GemmCall g = call;
  const double one = 1.0;
  if (gemm_scales_c_first(policy)) {
    if (*g.beta != 1.0) {
#pragma omp parallel num_threads(threads)
      beta_region_body(g);
    }
    if (*g.alpha == 0.0) return;
    g.beta = &one;
  }
  GemmThreadPlan plan{};
  plan.flags[0] = is_n(*g.transa);
  plan.flags[1] = is_n(*g.transb);
  plan.flags[2] = is_t(*g.transa);
  plan.flags[3] = is_t(*g.transb);
  plan.split_policy = policy;
  plan.blocked_available = g_gemm_blocked_available();
  GemmKernelParams params;
  g_gemm_params_init(&params);
  if (plan.blocked_available) {
    params.block_size_fn(&params, *g.m, *g.n, *g.k);
    plan.mc = params.mc;
    plan.nc = params.nc;
    plan.kc = params.kc;
    plan.pack_a_fn = plan.flags[0] ? params.pack_a_n_fn : params.pack_a_t_fn;
    plan.pack_b_fn = plan.flags[1] ? params.pack_b_n_fn : params.pack_b_t_fn;
    plan.blocked_fn = blocked_via_slot;
  } else {
    plan.serial_fn = serial_via_slot;
  }
  MainShared shared{&plan, &params, nullptr, nullptr, 0};
#pragma omp parallel num_threads(threads)
  main_region_body(g, &shared);
  if (shared.raw_a != nullptr) mm_free(shared.raw_a);
  if (shared.raw_b != nullptr) mm_free(shared.raw_b);
}

bool gemm_tiny(int m, int n, int k) {
  return (k <= kTinyK && n < kTinyN) || (m <= kTinyAll && n <= kTinyAll && k <= kTinyAll) ||
         (m <= kTinyAll && n <= kThinN) || (m > kTinyAll && m <= kThinM && n <= kThinN);
}

GemmRoute gemm_route(int m, int n, int k, int* threads, int dynamic, int microarch, int l2_bytes) {
  if (m < 1 || n < 1) return GemmRoute::kNone;
  if (gemm_tiny(m, n, k)) return GemmRoute::kSerial;
  int T = *threads;
  if (T > kCapThreads && dynamic && static_cast<double>(m) * n * k < kCapWorkLimit &&
      microarch == kClassSse41 && l2_bytes > kLargeL2Bytes) {
    T = kCapThreads;
  } else if (T <= 1) {
    return GemmRoute::kSerial;
  }
  *threads = T;
  if (m <= kSmallDim && n <= kSmallDim && k <= kSmallDim) {
    long long mb, nb;
    if (static_cast<long long>(T) * n < m) {
      mb = m / T;
      nb = n;
    } else {
      mb = m;
      nb = n / T;
    }
    const double w = static_cast<double>(mb + mb * nb + nb) * k;
    const double W = (static_cast<double>(n) * m + m + n) * k;
    bool parallel = W / (T * kRegionCostPerThread + w) > kSmallEfficiency;
    if (k < kShallowK && mb * nb < kShallowMinBlock) parallel = false;
    if (T >= kWideTeam) {
      if (nb == 0 || static_cast<long long>(T) * n < m) parallel = false;
      if (mb * nb < kWideTeamMinBlock) parallel = false;
    }
    return parallel ? GemmRoute::kSmallParallel : GemmRoute::kSerial;
  }
  if (T <= kLargeTeam) return GemmRoute::kLargeParallel;
  const long long mq = m / T, nq = n / T;
  bool serial = false;
  if (n < m) {
    serial = (mq < kFewRows && (nq == 0 || (mq == 1 && nq <= kOneRowMaxNq))) ||
             (mq <= kSomeRows && k * mq * nq < kTallShareWork) ||
             (nq <= 1 && k * n * mq < kTallColumnWork);
  } else {
    serial = (mq <= 0 && nq == 0) ||
             (nq < kFewRows && static_cast<long long>(k) * m < kWideShareWork) ||
             (nq >= kFewRows && nq <= kSomeRows && k * mq < kWideSliceWork) ||
             (mq < kFewRows && nq >= kSomeRows && n < kWideThinMaxN &&
              static_cast<long long>(k) * m < kWideThinWork);
  }
  return serial ? GemmRoute::kSerial : GemmRoute::kLargeParallel;
}

GemmSplitPolicy gemm_split_policy(int microarch, int l2_bytes) {
  switch (microarch) {
    case kClassSse41: return l2_bytes > kLargeL2Bytes ? kSplitSse41LargeL2 : kSplitSse41;
    case kClassSsse3: return kSplitSsse3;
    case kClassSse42:
    case kClassSse42Aes: return kSplitSse42;
    case kClassAvx: return kSplitAvx;
    default: return kSplitPlain;
  }
}

void gemm_partition(GemmThreadPlan* plan, GemmKernelParams* params, int m, int n, int k,
                    int team) {
  plan->nthreads = team;
  if (!plan->blocked_available) {
    const long long np = m <= kSmallDim && n <= kSmallDim && k <= kSmallDim
                             ? static_cast<long long>(n) * team
                             : n;
    plan->worker = np < m ? ztr_blas_dgemm_1d_row : ztr_blas_dgemm_1d_col;
    return;
  }
  const int pe = team & ~1;
  switch (plan->split_policy) {
    case kSplitSse41LargeL2:
    case kSplitSse41:
      plan->nthreads = pe;
      partition_sse41(plan, m, n, k, pe);
      break;
    case kSplitSse42:
    case kSplitAvx:
      plan->nthreads = pe;
      partition_wide(plan, m, n, k, pe);
      break;
    default:
      partition_one_dimensional(plan, m, n, k, team);
      break;
  }
  g_gemm_plan_handback(params, plan->mc, plan->nc, plan->kc);
}

// ---- workers ----

namespace {

// One slab of C through the plan's blocked or serial routine.
void slab_product(const GemmCall& g, GemmKernelParams* params, const GemmThreadPlan* plan,
                  const int* rows, const int* cols, const double* a, const double* b, double* c) {
  if (plan->blocked_available) {
    GemmKernelParams local = *params;
    plan->blocked_fn(g.transa, g.transb, rows, cols, g.k, g.alpha, a, g.lda, b, g.ldb, g.beta, c,
                     g.ldc, plan->pack_mode, &local, omp_get_thread_num());
  } else {
    plan->serial_fn(g.transa, g.transb, rows, cols, g.k, g.alpha, a, g.lda, b, g.ldb, g.beta, c,
                    g.ldc);
  }
}

}  // namespace

namespace {

enum class Side { kRows, kColumns };

// One slab of C per thread: its share of the rows (with the matching rows of op(A)) or of the
// columns (with the matching columns of op(B)).
template <Side side>
void one_dimensional(const GemmCall& g, GemmKernelParams* params, GemmThreadPlan* plan) {
  constexpr bool rows = side == Side::kRows;
  const int T = plan->nthreads;
#pragma omp for schedule(static, 1)
  for (int i = 0; i < T; ++i) {
    const Share s = share_of(i, T, rows ? *g.m : *g.n);
    if (rows) {
      slab_product(g, params, plan, &s.count, g.n, op_a(g, s.first, 0), g.b, c_at(g, s.first, 0));
    } else {
      slab_product(g, params, plan, g.m, &s.count, g.a, op_b(g, 0, s.first), c_at(g, 0, s.first));
    }
  }
}

// A grid worker's step on a pre-packed operand failed (its own buffers could not be had):
// the piece is computed from the original operands instead, adding into C.
void grid_piece_fallback(const GemmCall& g, int row, int rows, int col, int cols, int kk, int kb) {
  const double one = 1.0;
  g_gemm_serial(g.transa, g.transb, &rows, &cols, &kb, g.alpha, op_a(g, row, kk), g.lda,
                op_b(g, kk, col), g.ldb, &one, c_at(g, row, col), g.ldc);
}

// The grid workers: thread i owns slab i of C's rows (side kRows: the slab's rows of op(A),
// scaled by alpha, go to the thread's slot of the shared A panel) or of its columns (kColumns:
// the slab's columns of op(B) go to the shared B panel).  Each step packs one K block of one
// block of the slab, then multiplies it, adding into C (beta was applied before).
template <Side side>
void grid(const GemmCall& g, GemmKernelParams* params, GemmThreadPlan* plan) {
  constexpr bool rows = side == Side::kRows;
  const int T = plan->nthreads, k = *g.k, total = rows ? *g.m : *g.n;
  const int tile = rows ? params->min_m : params->min_n;
  const int along = rows ? plan->grid_rows : plan->grid_cols;
  const int across = rows ? plan->grid_cols : plan->grid_rows;
  const int q = ((total / along) / tile) * tile;
  const int last = imax(total - (T / across - 1) * q, q);
  const int block = rows ? plan->mc : plan->nc;
  double* const panel = rows ? plan->a_shared : plan->b_shared;
  const long slot = (rows ? params->a_size : params->b_size) / 8;
  const double one = 1.0;
  auto step = [&](int kk, int off) {
    const int kb = imin(plan->kc, k - kk);
    const int ld = gemm_round_up(kb, params->k_granule) * tile;
    auto length = [&](int i) { return imin(off + block, i < T - 1 ? q : last) - off; };
#pragma omp for schedule(static, 1)
    for (int i = 0; i < T; ++i) {
      const int len = length(i), at = i * q + off;
      if (len <= 0) continue;
      if (rows) {
        plan->pack_a_fn(len, kb, op_a(g, at, kk), *g.lda, panel + i * slot, ld, *g.alpha);
      } else {
        plan->pack_b_fn(kb, len, op_b(g, kk, at), *g.ldb, panel + i * slot, ld);
      }
    }
#pragma omp for schedule(static, 1)
    for (int i = 0; i < T; ++i) {
      const int len = length(i), at = i * q + off;
      if (len <= 0) continue;
      GemmKernelParams local = *params;
      const int tid = omp_get_thread_num();
      const int failed =
          rows ? plan->blocked_fn(g.transa, g.transb, &len, g.n, &kb, g.alpha, panel + i * slot,
                                  &ld, op_b(g, kk, 0), g.ldb, &one, c_at(g, at, 0), g.ldc,
                                  plan->pack_mode, &local, tid)
               : plan->blocked_fn(g.transa, g.transb, g.m, &len, &kb, g.alpha, op_a(g, 0, kk),
                                  g.lda, panel + i * slot, &ld, &one, c_at(g, 0, at), g.ldc,
                                  plan->pack_mode, &local, tid);
      if (failed == 0) continue;
      if (rows) {
        grid_piece_fallback(g, at, len, 0, *g.n, kk, kb);
      } else {
        grid_piece_fallback(g, 0, *g.m, at, len, kk, kb);
      }
    }
  };
  // Every C entry receives its K blocks in increasing order either way; each side keeps the
  // nesting it was tuned with.
  if (rows) {
    for (int kk = 0; kk < k; kk += plan->kc)
      for (int off = 0; off < last; off += block) step(kk, off);
  } else {
    for (int off = 0; off < last; off += block)
      for (int kk = 0; kk < k; kk += plan->kc) step(kk, off);
  }
}

}  // namespace

void ztr_blas_dgemm_1d_row(const GemmCall& g, GemmKernelParams* params, GemmThreadPlan* plan) {
  one_dimensional<Side::kRows>(g, params, plan);
}
void ztr_blas_dgemm_1d_col(const GemmCall& g, GemmKernelParams* params, GemmThreadPlan* plan) {
  one_dimensional<Side::kColumns>(g, params, plan);
}
void ztr_blas_dgemm_1d_acopy(const GemmCall& g, GemmKernelParams* params, GemmThreadPlan* plan) {
  grid<Side::kRows>(g, params, plan);
}
void ztr_blas_dgemm_1d_bcopy(const GemmCall& g, GemmKernelParams* params, GemmThreadPlan* plan) {
  grid<Side::kColumns>(g, params, plan);
}

void ztr_blas_dgemm(const char* transa, const char* transb, const int* m, const int* n,
                    const int* k, const double* alpha, const double* a, const int* lda,
                    const double* b, const int* ldb, const double* beta, double* c,
                    const int* ldc) {
  const GemmCall g{transa, transb, m, n, k, alpha, a, lda, b, ldb, beta, c, ldc};
  if (*m < 1 || *n < 1) return;
  // Tiny products run serially before the thread settings are even consulted.
  if (gemm_tiny(*m, *n, *k)) {
    serial_whole(g);
    return;
  }
  int threads = domain_max_threads(kDomainBlas);
  const GemmRoute route = gemm_route(*m, *n, *k, &threads, get_dynamic(), cpu_microarch(), level2_cache_bytes());
  switch (route) {
    case GemmRoute::kNone:
      return;
    case GemmRoute::kSerial:
      serial_whole(g);
      return;
    case GemmRoute::kSmallParallel:
#pragma omp parallel num_threads(threads)
      small_region_body(g);
      return;
    case GemmRoute::kLargeParallel:
      gemm_large_path(g, threads, gemm_split_policy(cpu_microarch(), level2_cache_bytes()));
      return;
  }
}

}  // namespace ztr
