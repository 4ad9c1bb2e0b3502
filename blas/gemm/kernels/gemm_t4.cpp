// Matrix-multiply variant for CpuType 4.
#define ZTR_GEMM_NS t4
#include "blas/gemm/kernels/gemm_variant.inc"
