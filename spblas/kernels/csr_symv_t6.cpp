// Symmetric CSR kernels, CpuType 6.
#include "spblas/kernels/csr_symv_kernels.h"

namespace ztr::kernels::t6 {
#include "spblas/kernels/csr_symv_body.inc"
}  // namespace ztr::kernels::t6
