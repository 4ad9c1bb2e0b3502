// Transposing copy for CpuType 4.
#include "lapack/kernels/transpose_copy_impl.h"
