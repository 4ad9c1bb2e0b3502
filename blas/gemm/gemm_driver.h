// The threaded matrix-multiply driver's decisions, exposed for tests: whether a product runs
// on one thread or many, how many, and how the work is cut between them.
#pragma once

#include "blas/gemm/gemm_dispatch.h"
#include "blas/gemm/gemm_params.h"

namespace ztr {

// The thirteen DGEMM arguments, by address.
struct GemmCall {
  const char* transa;
  const char* transb;
  const int* m;
  const int* n;
  const int* k;
  const double* alpha;
  const double* a;
  const int* lda;
  const double* b;
  const int* ldb;
  const double* beta;
  double* c;
  const int* ldc;
};

struct GemmThreadPlan;
using GemmWorkerFn = void (*)(const GemmCall& call, GemmKernelParams* params,
                              GemmThreadPlan* plan);

// Filled once per call by the driver; every thread of the region works on its own copy.
struct GemmThreadPlan {
  int nthreads;
  int grid_rows;
  int grid_cols;
  int mc, nc, kc;
  GemmSerialFn serial_fn;
  GemmBlockedFn blocked_fn;
  GemmWorkerFn worker;
  GemmPackAFn pack_a_fn;
  GemmPackBFn pack_b_fn;
  double* a_shared;
  double* b_shared;
  unsigned char flags[4];  // transa 'N', transb 'N', transa 'T', transb 'T'
  int pack_mode;
  int a_slots;
  int b_slots;
  int split_policy;
  int blocked_available;
};

enum class GemmRoute { kNone, kSerial, kSmallParallel, kLargeParallel };

// The shapes that run on one thread whatever the thread settings.
bool gemm_tiny(int m, int n, int k);

// The first stage of ztr_blas_dgemm for a product of m x n x k, given the BLAS-domain thread
// count *threads (which the cap for sub-class 33 may lower), the dynamic flag, the
// microarchitecture class and the level-2 cache size in bytes.
GemmRoute gemm_route(int m, int n, int k, int* threads, int dynamic, int microarch, int l2_bytes);

// How the large-problem path cuts a product among threads: one policy per processor class.
enum GemmSplitPolicy : int {
  kSplitPlain = 0,         // other classes: rows or columns, the blocked loops pick the packing
  kSplitSsse3 = 1,         // class 32: rows or columns, A packed
  kSplitSse41LargeL2 = 2,  // class 33, large level 2: rows, columns or grids, 512-row blocks
  kSplitSse42 = 3,         // classes 64 and 66: rows, columns or grids
  kSplitSse41 = 4,         // class 33, small level 2: as kSplitSse41LargeL2, 448-row blocks
  kSplitAvx = 5,           // class 128: as kSplitSse42, with B packed as well
};

// The split policy of a microarchitecture class (and level-2 cache size).
GemmSplitPolicy gemm_split_policy(int microarch, int l2_bytes);

// The partition step of the main parallel region for a team of `team` threads: picks the
// worker, packing mode, grid and panel slots, and hands the block sizes back to `params`.
void gemm_partition(GemmThreadPlan* plan, GemmKernelParams* params, int m, int n, int k,
                    int team);

// The large-problem path of ztr_blas_dgemm with `threads` threads under split policy `policy`
// (the driver derives it from the processor; tests choose it).
void gemm_large_path(const GemmCall& call, int threads, int policy);
// Whether a policy's workers scale C by beta in a region of their own first.
inline bool gemm_scales_c_first(int policy) { return policy >= kSplitSse41LargeL2; }

// The workers.
void ztr_blas_dgemm_1d_row(const GemmCall& call, GemmKernelParams* params, GemmThreadPlan* plan);
void ztr_blas_dgemm_1d_col(const GemmCall& call, GemmKernelParams* params, GemmThreadPlan* plan);
void ztr_blas_dgemm_1d_acopy(const GemmCall& call, GemmKernelParams* params,
                             GemmThreadPlan* plan);
void ztr_blas_dgemm_1d_bcopy(const GemmCall& call, GemmKernelParams* params,
                             GemmThreadPlan* plan);

}  // namespace ztr
