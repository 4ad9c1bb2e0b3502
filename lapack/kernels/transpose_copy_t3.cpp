// Transposing copy for CpuType 3.
#include "lapack/kernels/transpose_copy_impl.h"
