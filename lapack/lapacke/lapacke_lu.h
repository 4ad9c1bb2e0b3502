// The middle (`_work`) level of the LU exports.  Internal: their names appear only in the
// layer's messages.
#pragma once

namespace ztr {

int LAPACKE_dgetrf_work(int layout, int m, int n, double* a, int lda, int* ipiv);
int LAPACKE_dgetri_work(int layout, int n, double* a, int lda, const int* ipiv, double* work,
                        int lwork);

}  // namespace ztr
