// Matrix-multiply variant for CpuType 7.
#define ZTR_GEMM_NS t7
#include "blas/gemm/kernels/gemm_variant.inc"
