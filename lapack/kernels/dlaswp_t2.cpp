// Row interchanges for CpuType 2.
#include "lapack/kernels/dlaswp_impl.h"
