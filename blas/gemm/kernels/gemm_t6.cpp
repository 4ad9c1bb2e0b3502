// Matrix-multiply variant for CpuType 6.
#define ZTR_GEMM_NS t6
#include "blas/gemm/kernels/gemm_variant.inc"
