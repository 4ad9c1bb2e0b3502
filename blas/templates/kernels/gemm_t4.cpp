// Templated multiply for CpuType 4.
#include "blas/templates/kernels/gemm_impl.h"
