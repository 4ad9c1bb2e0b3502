// The per-processor description of the blocked matrix multiply.  A GemmKernelParams record is
// filled from the processor variant's table row (register-tile shape, K granule, the packing
// routines and the micro-kernel driver) and completed per problem with block sizes and buffer
// addresses.  The blocked loops read everything they need from the record, so they know
// nothing of the instruction set; the kernels know nothing of the loops.
#pragma once

namespace ztr {

struct GemmKernelParams;

// Packs rows [0, rows) of op(A), depth k, into slivers of mr rows at `stride` elements from
// each other, multiplied by alpha; depths k..stride/mr-1 are zero.
using GemmPackAFn = void (*)(int rows, int k, const double* a, int lda, double* dst, int stride,
                             double alpha);
// Packs columns [0, cols) of op(B), depth k, into slivers of nr columns at `stride` elements
// from each other; depths k..stride/nr-1 and the missing columns of a last narrow sliver are
// zero.
using GemmPackBFn = void (*)(int k, int cols, const double* b, int ldb, double* dst, int stride);
// C(mb x nb) := acc (beta = 0) or beta*C + acc, acc = packed A times B over depth kbp.
// b_form kGemmBPacked: B is packed with sliver stride b_stride.  kGemmBInPlace: B is op(B) read
// in place, b_stride is its ldb and kbp the true depth.
using GemmKernelFn = void (*)(char transa, char transb, int mb, int nb, int kbp, double alpha,
                              const double* a, int a_stride, const double* b, int b_stride,
                              double beta, double* c, int ldc, double* edge, int b_form);
using GemmBlockSizeFn = void (*)(GemmKernelParams* p, int m, int n, int k);
using GemmBufferSizeFn = int (*)(GemmKernelParams* p, int request, int bound, int m, int n,
                                 int k);
using GemmBufferAllocFn = void* (*)(GemmKernelParams* p, int request);

struct GemmKernelParams {
  int row_index;
  int variant_code;
  int mc, nc, kc;
  int min_m;      // also mr, the rows of a packed A sliver
  int min_n;      // also nr, the columns of a packed B sliver
  int k_granule;  // packed depths are multiples of it
  int small_m, small_n, small_k;
  double* a_buf;
  int a_stride;
  int a_size;
  int a_align_log2;
  double* b_buf;
  int b_stride;
  int b_size;
  int b_align_log2;
  GemmBlockSizeFn block_size_fn;
  GemmBufferSizeFn buffer_size_fn;
  GemmBufferAllocFn buffer_alloc_fn;
  GemmPackAFn pack_a_n_fn, pack_a_t_fn, pack_a_c_fn;
  GemmPackBFn pack_b_n_fn, pack_b_t_fn, pack_b_c_fn;
  int edge_multiple;
  GemmKernelFn kernel_fn;
  double* edge_buf;
  int edge_size;
  int edge_align_log2;
};

// B forms of the kernel driver.
enum GemmBForm : int {
  kGemmBPacked = 2,   // B slivers packed by the blocked loops
  kGemmBInPlace = 3,  // B read where it stands
};

// Packing modes of gemm_blocked (who packs which operand).
enum GemmPackMode : int {
  kGemmModeChoose = 0,        // the blocked loops decide
  kGemmModePackAB = 2,        // pack both
  kGemmModePackA = 4,         // pack A, read B in place
  kGemmModePackedAPackB = 8,  // A packed (and scaled) by the caller, pack B
  kGemmModePackedA = 16,      // A packed by the caller, read B in place
  kGemmModePackedB = 32,      // B packed by the caller
};

// Buffer requests of buffer_size_fn (which buffers to size) and their size bounds.
enum GemmBufferRequest : int {
  kGemmBufAll = 100,
  kGemmBufA = 101,
  kGemmBufB = 102,
  kGemmBufAB = 103,
  kGemmBufBEdge = 104,
  kGemmBufAEdge = 105,
  kGemmBufEdge = 106,
};
enum GemmSizeBound : int {
  kGemmBoundByProblem = 107,  // blocks no larger than the problem
  kGemmBoundByBlocks = 108,   // full mc x nc x kc blocks
};

// Packed panels are page aligned so that the slivers a micro-kernel streams never straddle
// more pages than necessary; the edge buffer holds one sliver and only needs cache lines.
inline constexpr int kGemmPanelAlignLog2 = 12;
inline constexpr int kGemmEdgeAlignLog2 = 7;
inline constexpr int kGemmBufferSlack = 512;

// Block-size and buffer routines shared by the variants (gemm_buffers.cpp).  The three block
// size rules differ only in mc and in the rounding of nc.
void gemm_block_size_wide(GemmKernelParams* p, int m, int n, int k);      // CpuType 5, 6, 7
void gemm_block_size_sse41(GemmKernelParams* p, int m, int n, int k);     // CpuType 4 row 1
void gemm_block_size_ssse3(GemmKernelParams* p, int m, int n, int k);     // CpuType 4 row 0
int gemm_buffer_size(GemmKernelParams* p, int request, int bound, int m, int n, int k);
void* gemm_buffer_alloc(GemmKernelParams* p, int request);

inline int gemm_round_up(int x, int g) { return (x + g - 1) / g * g; }

}  // namespace ztr
