// The dispatched routines of the matrix multiply.  Each has one variant per CpuType 2..7,
// compiled in that level's translation unit (kernels/gemm_tN.cpp); the slots pick one at the
// first call.  Types 2 and 3 have self-contained serial routines and no blocked path.
#pragma once

#include "blas/gemm/gemm_params.h"
#include "service/dispatch.h"

namespace ztr {

using GemmSerialFn = void (*)(const char* transa, const char* transb, const int* m, const int* n,
                              const int* k, const double* alpha, const double* a, const int* lda,
                              const double* b, const int* ldb, const double* beta, double* c,
                              const int* ldc);
using GemmBlockedFn = int (*)(const char* transa, const char* transb, const int* m, const int* n,
                              const int* k, const double* alpha, const double* a, const int* lda,
                              const double* b, const int* ldb, const double* beta, double* c,
                              const int* ldc, int pack_mode, GemmKernelParams* params,
                              int thread_id);
using GemmScaleFn = void (*)(const int* m, const int* n, const double* beta, double* c,
                             const int* ldc);

#define ZTR_GEMM_DECLARE_VARIANT(ns)                                                          \
  namespace gemm::ns {                                                                        \
  void gemm_serial(const char*, const char*, const int*, const int*, const int*, const double*, \
                   const double*, const int*, const double*, const int*, const double*, double*, \
                   const int*);                                                               \
  void gemm_small(const char*, const char*, const int*, const int*, const int*, const double*,  \
                  const double*, const int*, const double*, const int*, const double*, double*,  \
                  const int*);                                                                \
  int gemm_blocked(const char*, const char*, const int*, const int*, const int*, const double*, \
                   const double*, const int*, const double*, const int*, const double*, double*, \
                   const int*, int, GemmKernelParams*, int);                                  \
  void gemm_scale_c(const int*, const int*, const double*, double*, const int*);             \
  int gemm_blocked_available();                                                               \
  void gemm_params_init(GemmKernelParams*);                                                   \
  void gemm_plan_handback(GemmKernelParams*, int mc, int nc, int kc);                         \
  }

ZTR_GEMM_DECLARE_VARIANT(t2)
ZTR_GEMM_DECLARE_VARIANT(t3)
ZTR_GEMM_DECLARE_VARIANT(t4)
ZTR_GEMM_DECLARE_VARIANT(t5)
ZTR_GEMM_DECLARE_VARIANT(t6)
ZTR_GEMM_DECLARE_VARIANT(t7)
#undef ZTR_GEMM_DECLARE_VARIANT

extern DispatchSlot<void(const char*, const char*, const int*, const int*, const int*,
                         const double*, const double*, const int*, const double*, const int*,
                         const double*, double*, const int*)>
    g_gemm_serial;
extern DispatchSlot<int(const char*, const char*, const int*, const int*, const int*,
                        const double*, const double*, const int*, const double*, const int*,
                        const double*, double*, const int*, int, GemmKernelParams*, int)>
    g_gemm_blocked;
extern DispatchSlot<void(const int*, const int*, const double*, double*, const int*)>
    g_gemm_scale_c;
extern DispatchSlot<int()> g_gemm_blocked_available;
extern DispatchSlot<void(GemmKernelParams*)> g_gemm_params_init;
extern DispatchSlot<void(GemmKernelParams*, int, int, int)> g_gemm_plan_handback;

}  // namespace ztr
