// Templated multiply for CpuType 2.
#include "blas/templates/kernels/gemm_impl.h"
