// Unblocked Cholesky factorization for CpuType 4.
#include "lapack/kernels/dpotf2_impl.h"
