// Row interchanges for CpuType 4.
#include "lapack/kernels/dlaswp_impl.h"
