// Templated multiply for CpuType 7.
#include "blas/templates/kernels/gemm_impl.h"
