// Row interchanges for CpuType 5.
#include "lapack/kernels/dlaswp_impl.h"
