// Row interchanges for CpuType 7.
#include "lapack/kernels/dlaswp_impl.h"
