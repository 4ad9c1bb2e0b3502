// Matrix-multiply variant for CpuType 3.
#define ZTR_GEMM_NS t3
#include "blas/gemm/kernels/gemm_variant.inc"
