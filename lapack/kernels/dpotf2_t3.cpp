// Unblocked Cholesky factorization for CpuType 3.
#include "lapack/kernels/dpotf2_impl.h"
