// Unblocked Cholesky factorization for CpuType 5.
#include "lapack/kernels/dpotf2_impl.h"
