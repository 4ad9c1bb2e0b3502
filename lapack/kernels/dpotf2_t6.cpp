// Unblocked Cholesky factorization for CpuType 6.
#include "lapack/kernels/dpotf2_impl.h"
