// Row interchanges for CpuType 6.
#include "lapack/kernels/dlaswp_impl.h"
