// Symmetric CSR kernels, CpuType 2.
#include "spblas/kernels/csr_symv_kernels.h"

namespace ztr::kernels::t2 {
#include "spblas/kernels/csr_symv_body.inc"
}  // namespace ztr::kernels::t2
