// Unblocked Cholesky factorization for CpuType 7.
#include "lapack/kernels/dpotf2_impl.h"
