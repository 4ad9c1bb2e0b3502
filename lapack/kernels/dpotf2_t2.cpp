// Unblocked Cholesky factorization for CpuType 2.
#include "lapack/kernels/dpotf2_impl.h"
