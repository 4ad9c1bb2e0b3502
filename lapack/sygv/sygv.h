// Symmetric eigenproblems: the standard one by the QL/QR iteration (DSYEV) and the
// generalized symmetric-definite one, A*x = lambda*B*x (itype 1), A*B*x = lambda*x (itype 2)
// or B*A*x = lambda*x (itype 3), through the Cholesky factor of B and a standard eigensolver
// (DSYEV for DSYGV, the divide-and-conquer DSYEVD for DSYGVD).
//
// All three take every argument by address, follow the LAPACK workspace-query convention
// (lwork = -1 or liwork = -1 returns the sizes in work(1) and iwork(1)) and report a bad
// argument through xerbla with their name ("DSYEV ", "DSYGV " and "DSYGVD", six characters)
// and its position, leaving the outputs untouched.
#pragma once

namespace ztr {

// Eigenvalues (ascending, in w) and with jobz 'V' orthonormal eigenvectors (in a) of the
// symmetric A, of which the uplo triangle is read; a is destroyed.  lwork >= max(1, 3n-1).
// info > 0: the iteration failed to converge, info off-diagonal entries did not vanish.
void dsyev(const char* jobz, const char* uplo, const int* n, double* a, const int* lda, double* w,
           double* work, const int* lwork, int* info);

// The generalized problem.  On success a holds the B-orthonormal eigenvectors (jobz 'V'),
// b the Cholesky factor of B.  info = n + k when the leading minor of order k of B is not
// positive definite (a untouched); info = i in 1..n when the eigensolver failed.
void dsygv(const int* itype, const char* jobz, const char* uplo, const int* n, double* a,
           const int* lda, double* b, const int* ldb, double* w, double* work, const int* lwork,
           int* info);
void dsygvd(const int* itype, const char* jobz, const char* uplo, const int* n, double* a,
            const int* lda, double* b, const int* ldb, double* w, double* work, const int* lwork,
            int* iwork, const int* liwork, int* info);

namespace sygv_detail {
// The argument check the two generalized drivers share (positions 1 to 8): the negated
// position of the first bad argument, or 0.
int check(const int* itype, const char* jobz, const char* uplo, const int* n, const int* lda,
          const int* ldb);
// The Cholesky factor of B in b and the standard problem's matrix in a; false, with info =
// n + k, when the leading minor of order k of B is not positive definite (a untouched).
bool reduce_to_standard(int itype, char uplo, int n, double* a, int lda, double* b, int ldb,
                        int* info);
// The eigenvectors of the standard problem in the first `count` columns of a, mapped back to
// those of the generalized problem with the Cholesky factor in b.
void back_transform(int itype, char uplo, int n, int count, double* a, int lda, const double* b,
                    int ldb);
}  // namespace sygv_detail

}  // namespace ztr
