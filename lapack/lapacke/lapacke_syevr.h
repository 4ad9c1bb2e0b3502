// The middle (`_work`) level of LAPACKE_dsyevr.  Internal: its name appears only in the
// layer's messages.
#pragma once

namespace ztr {

int LAPACKE_dsyevr_work(int layout, char jobz, char range, char uplo, int n, double* a, int lda,
                        double vl, double vu, int il, int iu, double abstol, int* m, double* w,
                        double* z, int ldz, int* isuppz, double* work, int lwork, int* iwork,
                        int liwork);

}  // namespace ztr
