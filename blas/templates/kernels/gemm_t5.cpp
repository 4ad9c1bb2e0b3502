// Templated multiply for CpuType 5.
#include "blas/templates/kernels/gemm_impl.h"
