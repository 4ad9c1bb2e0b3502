// Transposing copy for CpuType 7.
#include "lapack/kernels/transpose_copy_impl.h"
