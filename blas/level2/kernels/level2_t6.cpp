// Level-2 kernels for CpuType 6.
#include "blas/level2/kernels/level2_impl.h"
