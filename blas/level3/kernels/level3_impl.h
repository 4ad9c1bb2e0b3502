// The level-3 leaves, compiled once per CpuType from the shared unblocked loops.
#include "blas/level3/kernels/level3_kernels.h"
#include "blas/templates/triangular_blocked.h"

namespace ztr::kernels::ZTR_VARIANT_NS {

void dtrsm_leaf(char side, char uplo, char trans, char diag, int m, int n, const double* a,
                int lda, double* b, int ldb) {
  tblas::detail::trsm_leaf<double>(side, uplo, trans, diag, m, n, a, lda, b, ldb);
}

void dtrmm_leaf(char side, char uplo, char trans, char diag, int m, int n, const double* a,
                int lda, double* b, int ldb) {
  tblas::detail::trmm_leaf<double>(side, uplo, trans, diag, m, n, a, lda, b, ldb);
}

}  // namespace ztr::kernels::ZTR_VARIANT_NS
