// The 512-bit tier of the CpuType 7 matrix multiply (x86_64 only).  It replaces two entries
// of type 7's parameter record, the packing of A and the kernel driver, and keeps everything
// else: block sizes, K granule, small-shape limits, the packing of B and the thread splits.
// Every C entry receives the same products summed in the same order as in the 256-bit
// kernels, so results are identical bit for bit; only the speed differs.
//
// Packed A keeps the footprint of the 256-bit variant's slivers of four rows (the record's
// min_m and sliver stride are unchanged), but pairs of them form slivers of eight rows: rows
// 8q..8q+7 lie at 2q times the stride, the eight values of one depth together.  A last
// sliver of fewer than eight rows keeps only its rows (rows values per depth).
#pragma once

#include "blas/gemm/gemm_params.h"

namespace ztr::gemm::t7 {

// The type 7 record with (wide != 0) or without the 512-bit tier, whatever the process
// decided; for tests that compare the two in one process.  wide != 0 requires a processor
// with the tier (avx512_tier_supported).
void gemm_params_init_tier(GemmKernelParams* p, int wide);

namespace w512 {
void pack_a_n(int rows, int k, const double* a, int lda, double* dst, int stride, double alpha);
void pack_a_t(int rows, int k, const double* a, int lda, double* dst, int stride, double alpha);
void kernel_driver(char transa, char transb, int mb, int nb, int kbp, double alpha, const double* a,
                   int a_stride, const double* b, int b_stride, double beta, double* c, int ldc,
                   double* edge, int b_form);
}  // namespace w512

}  // namespace ztr::gemm::t7
