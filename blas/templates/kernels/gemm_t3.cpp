// Templated multiply for CpuType 3.
#include "blas/templates/kernels/gemm_impl.h"
