// Matrix-multiply variant for CpuType 2.
#define ZTR_GEMM_NS t2
#include "blas/gemm/kernels/gemm_variant.inc"
