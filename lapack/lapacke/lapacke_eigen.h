// The middle (`_work`) level of the symmetric eigenvalue exports.  Internal: their names
// appear only in the layer's messages.
#pragma once

namespace ztr {

int LAPACKE_dsyevd_work(int layout, char jobz, char uplo, int n, double* a, int lda, double* w,
                        double* work, int lwork, int* iwork, int liwork);

}  // namespace ztr
