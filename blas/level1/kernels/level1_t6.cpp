// Level-1 kernels for CpuType 6.
#include "blas/level1/kernels/level1_impl.h"
