// Transposing copy for CpuType 2.
#include "lapack/kernels/transpose_copy_impl.h"
