// Symmetric CSR kernels, CpuType 4.
#include "spblas/kernels/csr_symv_kernels.h"

namespace ztr::kernels::t4 {
#include "spblas/kernels/csr_symv_body.inc"
}  // namespace ztr::kernels::t4
