// Matrix-multiply variant for CpuType 5.
#define ZTR_GEMM_NS t5
#include "blas/gemm/kernels/gemm_variant.inc"
