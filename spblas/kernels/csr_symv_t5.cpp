// Symmetric CSR kernels, CpuType 5.
#include "spblas/kernels/csr_symv_kernels.h"

namespace ztr::kernels::t5 {
#include "spblas/kernels/csr_symv_body.inc"
}  // namespace ztr::kernels::t5
