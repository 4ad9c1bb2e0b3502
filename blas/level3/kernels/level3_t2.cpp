// Level-3 leaves for CpuType 2.
#include "blas/level3/kernels/level3_impl.h"
