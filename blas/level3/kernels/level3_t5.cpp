// Level-3 leaves for CpuType 5.
#include "blas/level3/kernels/level3_impl.h"
