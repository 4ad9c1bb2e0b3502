// Initialisation of a matrix to given off-diagonal and diagonal values.
#pragma once

namespace ztr {

// The m x n matrix A gets alpha off the diagonal and beta on it: the strict upper part only
// for uplo 'U', the strict lower part only for 'L', everything for any other letter (the
// diagonal is set in every case).  No argument check.
void dlaset(const char* uplo, const int* m, const int* n, const double* alpha, const double* beta,
            double* a, const int* lda);

}  // namespace ztr
