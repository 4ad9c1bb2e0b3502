// Shared pieces of the LAPACKE layer: the NaN scans of input matrices and the conversions
// between row-major and column-major storage.
#pragma once

namespace ztr {

inline constexpr int kLapackeRowMajor = 101;
inline constexpr int kLapackeColMajor = 102;

// True when a NaN lies in the m x n matrix.  Column-major: columns 0..n-1, rows
// 0..min(m, lda)-1; row-major: rows 0..m-1, columns 0..min(n, lda)-1.  A null matrix or an
// unknown layout gives false.
bool lapacke_ge_has_nan(int layout, int m, int n, const double* a, int lda);

// The same over one triangle; diag 'U' leaves the diagonal out, 'N' includes it.  An unknown
// layout, uplo or diag gives false.
bool lapacke_tr_has_nan(int layout, char uplo, char diag, int n, const double* a, int lda);

// Checks n entries x[0], x[|incx|], ...; incx 0 checks x[0] only.
bool lapacke_vec_has_nan(int n, const double* x, int incx);

// Copies the m x n matrix `in`, stored in `layout`, into the other layout.  Does nothing when
// either pointer is null.
void lapacke_ge_transpose(int layout, int m, int n, const double* in, int ldin, double* out,
                          int ldout);

// Copies one triangle (with the diagonal unless diag is 'U') into the other layout.
void lapacke_tr_transpose(int layout, char uplo, char diag, int n, const double* in, int ldin,
                          double* out, int ldout);

}  // namespace ztr
