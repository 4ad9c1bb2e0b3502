// Householder reflectors and the QR factorization built from them.
//
// A reflector H = I - tau*v*v' is stored as its vector v with v(1) = 1 implicit (for the
// columnwise forward storage of a QR factorization: v(1:i-1) = 0, v(i) = 1, v(i+1:m) below
// the diagonal of column i).  A block of k reflectors Q = H(1)*H(2)*...*H(k) is applied in
// the compact WY form Q = I - V*T*V' with T k x k upper triangular (forward direction) or
// lower triangular (backward direction, Q = H(k)*...*H(1)'s storage as in the published
// routines: the unit diagonal of V at its bottom, v(i) = 1 at row m-k+i).
//
// Results and storage follow the published LAPACK routines of the same names.  The sign rule
// of the reflector: beta = -sign(alpha)*||(alpha, x)||, tau = (beta - alpha)/beta, and tau = 0
// (H = I) when x is zero.
//
// Calling convention: dimensions by value, option letters as strings read from their first
// character in either case, column-major arrays, no argument check (callers pass valid
// arguments); the LAPACK-level entries dgeqrf and dorgqr take every argument by address and
// check theirs.  Only columnwise storage of V is supported by DLARFT and DLARFB.
#pragma once

namespace ztr {

// ---- building blocks ---------------------------------------------------------------------

// Generates H with H*(alpha; x) = (beta; 0), x of n-1 entries with increment incx.  On
// return alpha holds beta and x holds v(2:n); tau = 0 when n <= 1 or x is zero.  Rescales
// (up to 20 times) when beta is below the safe minimum so that v stays accurate.
void ztr_lapack_dlarfg(int n, double* alpha, double* x, int incx, double* tau);

// Applies H = I - tau*v*v' to the m x n matrix C from the left (side 'L', v of m entries,
// work of n) or the right ('R', v of n entries, work of m).  tau = 0 leaves C untouched.
void ztr_lapack_dlarf(const char* side, int m, int n, const double* v, int incv, double tau,
                      double* c, int ldc, double* work);

// Forms the triangular factor T (k x k, ldt) of the block reflector H(1)*...*H(k) whose
// vectors are the columns of the n x k matrix V (storev 'C'); direct 'F' (T upper) or 'B'
// (T lower).  V is only read: its unit diagonal and the zeros beyond it are implied.  The
// forward direction works in column blocks (ILAENV "DLARFT") whose couplings are matrix
// multiplies.  The other triangle of T is not referenced.
void ztr_lapack_dlarft(const char* direct, const char* storev, int n, int k, const double* v,
                       int ldv, const double* tau, double* t, int ldt);

// Applies the block reflector H = I - V*T*V' or its transpose (trans 'N' / 'T') to the m x n
// C from the left (side 'L', V m x k) or the right ('R', V n x k).  direct and storev as in
// dlarft ('C' only).  work: ldwork x k with ldwork >= n (side 'L') or >= m (side 'R').
void ztr_lapack_dlarfb(const char* side, const char* trans, const char* direct, const char* storev,
                       int m, int n, int k, const double* v, int ldv, const double* t, int ldt,
                       double* c, int ldc, double* work, int ldwork);

// Unblocked QR of the m x n A: R on and above the diagonal, the reflectors below it, tau of
// min(m, n).  work: n doubles.
void ztr_lapack_dgeqr2(int m, int n, double* a, int lda, double* tau, double* work);

// Overwrites the m x n A (m >= n >= k) with the first n columns of H(1)*...*H(k), the
// reflectors being the first k columns of A as dgeqr2 leaves them.  work: n doubles.
void ztr_lapack_dorg2r(int m, int n, int k, double* a, int lda, const double* tau, double* work);

// ---- QR factorization and Q generation ----------------------------------------------------

// LAPACK-level entries, all arguments by address.  dgeqrf checks m (1), n (2), lda (4) and
// lwork (7: lwork < max(1, n) and not -1); dorgqr checks m (1), n (2: n < 0 or n > m),
// k (3: k < 0 or k > n), lda (5) and lwork (8).  A bad argument is reported through xerbla
// with "DGEQRF" / "DORGQR", info is its negated position and nothing else is touched.
// Otherwise the default handler and progress hook are installed and the driver runs.
// lwork = -1 is a workspace query: work(1) receives the size.
void dgeqrf(const int* m, const int* n, double* a, const int* lda, double* tau, double* work,
            const int* lwork, int* info);
void dorgqr(const int* m, const int* n, const int* k, double* a, const int* lda, const double* tau,
            double* work, const int* lwork, int* info);

// The drivers behind them (valid arguments assumed; lwork >= max(1, n) or -1).  The QR
// drivers return true when the progress hook asked to stop (what was computed is kept).
// ztr_lapack_dgeqrf chooses the task-parallel path or the serial blocked one from the
// thread count and shape; ztr_lapack_dgeqrf_blk is the serial blocked path, callable on a
// trailing submatrix.
bool ztr_lapack_dgeqrf(int m, int n, double* a, int lda, double* tau, double* work, int lwork,
                       int* info);
bool ztr_lapack_dgeqrf_blk(int m, int n, double* a, int lda, double* tau, double* work, int lwork,
                           int* info);
void ztr_lapack_dorgqr(int m, int n, int k, double* a, int lda, const double* tau, double* work,
                       int lwork, int* info);

// QR of the m x n panel A that also returns its forward T factor (n x n, ldt >= n).  The
// strictly lower part of T is used as scratch.  twork (ltwork doubles) lets the row-split
// parallel factorization keep its per-thread partial sums; with too little of it the panel
// is factored serially.
void ztr_lapack_dlaqrf(int m, int n, double* a, int lda, double* tau, double* t, int ldt,
                       double* twork, int ltwork);

// Row-split parallel factorization of the m x n panel A (m >= n) with its T factor (ldt >= n,
// lower part scratch); twork of (threads-1)*n doubles (with less the panel is factored on one
// thread).  _pfnr factors a whole trailing matrix the same way without forming T; work holds
// n doubles, the other threads' partial sums are allocated (one thread on failure).
void ztr_lapack_dgeqrf_pf(int m, int n, double* a, int lda, double* tau, double* t, int ldt,
                          double* twork, int ltwork);
void ztr_lapack_dgeqrf_pfnr(int m, int n, double* a, int lda, double* tau, double* work);

namespace householder_detail {
// The coupling block of two adjacent forward block reflectors stored in one n-row V:
// T(0:i, i:i+ib) := -T(0:i, 0:i) * V(:, 0:i)' * V(:, i:i+ib) * T(i:i+ib, i:i+ib)
// (zero-based; the diagonal blocks of T must be formed).  V is only read.
void couple_t(int n, int i, int ib, const double* v, int ldv, double* t, int ldt);
}  // namespace householder_detail

}  // namespace ztr
