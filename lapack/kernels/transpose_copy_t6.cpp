// Transposing copy for CpuType 6.
#include "lapack/kernels/transpose_copy_impl.h"
