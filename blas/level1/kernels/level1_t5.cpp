// Level-1 kernels for CpuType 5.
#include "blas/level1/kernels/level1_impl.h"
