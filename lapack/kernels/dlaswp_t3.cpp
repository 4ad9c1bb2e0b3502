// Row interchanges for CpuType 3.
#include "lapack/kernels/dlaswp_impl.h"
