// The middle (`_work`) level of the QR and pivoted Cholesky exports.  Internal: their names
// appear only in the layer's messages.
#pragma once

namespace ztr {

int LAPACKE_dgeqrf_work(int layout, int m, int n, double* a, int lda, double* tau, double* work,
                        int lwork);
int LAPACKE_dorgqr_work(int layout, int m, int n, int k, double* a, int lda, const double* tau,
                        double* work, int lwork);
int LAPACKE_dpstrf_work(int layout, char uplo, int n, double* a, int lda, int* piv, int* rank,
                        double tol, double* work);

}  // namespace ztr
