// The middle (`_work`) level of the generalized symmetric-definite eigenproblem exports.
// Internal: their names appear only in the layer's messages.
#pragma once

namespace ztr {

int LAPACKE_dsygv_work(int layout, int itype, char jobz, char uplo, int n, double* a, int lda,
                       double* b, int ldb, double* w, double* work, int lwork);
int LAPACKE_dsygvd_work(int layout, int itype, char jobz, char uplo, int n, double* a, int lda,
                        double* b, int ldb, double* w, double* work, int lwork, int* iwork,
                        int liwork);

}  // namespace ztr
