// Templated multiply for CpuType 6.
#include "blas/templates/kernels/gemm_impl.h"
