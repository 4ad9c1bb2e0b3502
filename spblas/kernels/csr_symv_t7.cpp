// Symmetric CSR kernels, CpuType 7.
#include "spblas/kernels/csr_symv_kernels.h"

namespace ztr::kernels::t7 {
#include "spblas/kernels/csr_symv_body.inc"
}  // namespace ztr::kernels::t7
