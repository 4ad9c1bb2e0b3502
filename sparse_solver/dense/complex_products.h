// Complex multiplies and triangular solves of the dense block kernels on the library's real
// double-precision multiply.  A complex product P = X*Y is formed from the four real products
// of the complex multiply, paired along the inner dimension:
//   re P = [re X  im X] * [re Y; -im Y],   im P = [re X  im X] * [im Y; re Y],
// so that every entry is the same sum of the same products as in the complex arithmetic, with
// the same error bound (the three-multiplication form is not used: its error is not bounded
// by |X||Y| entry by entry).  The parts of the small operand (op(B), the triangle) are copied
// once; the large one (op(A)) is read in place for complex<double>, as the real matrix of its
// interleaved parts, and copied strip by strip (in double precision, so complex<float> is
// computed in double and rounded once) otherwise.  The copies cost O(mk + nk + mn) against
// O(mnk) for the multiplies.  The triangular solve runs on split copies of row strips of B.
//
// Each routine returns false without touching its output when its first scratch block could
// not be had; the caller then runs the templates.  Large calls are shared among the BLAS
// domain's threads by rows; a thread whose strip buffer cannot be had does its rows through
// the templates.  Scratch comes from the calling thread's pool (service/memory.h), so calls
// from several threads at once share nothing.
#pragma once

#include <complex>

namespace ztr::dense {

// Whether a complex multiply of m x n x k multiply-adds, or a triangular solve of `rows`
// right-hand sides against a triangle of order `order`, goes to the split form (below that
// the templates are faster: the copies and the calls cost more than they save).
// `single`: for complex<float>.
bool split_product_pays(bool single, int m, int n, int k);
bool split_solve_pays(bool single, int rows, int order);

// C := alpha*op(A)*op(B) + beta*C, op 'N', 'T' or 'C'; C m x n, k the inner dimension
// (k > 0, alpha != 0; beta = 0 overwrites C without reading it).
template <typename R>
bool split_gemm(char transa, char transb, int m, int n, int k, std::complex<R> alpha,
                const std::complex<R>* a, int lda, const std::complex<R>* b, int ldb,
                std::complex<R> beta, std::complex<R>* c, int ldc);

// The lower triangle of C := alpha*A*A^H + beta*C, A n x k, alpha and beta real (k > 0,
// alpha != 0); the diagonal's imaginary parts are set to zero, the strict upper triangle of C
// is neither read nor written.
template <typename R>
bool split_herk_lower(int n, int k, R alpha, const std::complex<R>* a, int lda, R beta,
                      std::complex<R>* c, int ldc);

// B := B*inv(op(A)) (side 'R') or inv(op(A))*B (side 'L'), B m x n, A triangular (only its
// uplo triangle read; with diag 'U' not its diagonal either).  Column blocks of the triangle:
// the diagonal blocks by a register-tiled substitution, the rest as multiplies.
template <typename R>
bool split_trsm(char side, char uplo, char trans, char diag, int m, int n, const std::complex<R>* a,
                int lda, std::complex<R>* b, int ldb);

}  // namespace ztr::dense
