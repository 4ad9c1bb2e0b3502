// Transposing copy for CpuType 5.
#include "lapack/kernels/transpose_copy_impl.h"
