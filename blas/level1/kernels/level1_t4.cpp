// Level-1 kernels for CpuType 4.
#include "blas/level1/kernels/level1_impl.h"
