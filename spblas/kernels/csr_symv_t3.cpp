// Symmetric CSR kernels, CpuType 3.
#include "spblas/kernels/csr_symv_kernels.h"

namespace ztr::kernels::t3 {
#include "spblas/kernels/csr_symv_body.inc"
}  // namespace ztr::kernels::t3
