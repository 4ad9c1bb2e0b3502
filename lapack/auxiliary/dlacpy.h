// Copy of a matrix or of one of its triangles.
#pragma once

namespace ztr {

// B := A for the m x n matrix (uplo any letter but 'U'/'L'), its upper trapezoid ('U') or its
// lower trapezoid ('L').  No argument check.
void dlacpy(const char* uplo, const int* m, const int* n, const double* a, const int* lda,
            double* b, const int* ldb);

}  // namespace ztr
