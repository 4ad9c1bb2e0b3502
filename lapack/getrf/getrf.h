// LU factorization with partial pivoting, A = P*L*U, of a general m x n column-major matrix,
// in place: L (unit diagonal not stored) below the diagonal, U on and above it, ipiv(i) the
// one-based row swapped with row i at step i.  In every column the pivot is the first entry
// of largest magnitude among the remaining rows; an exactly zero pivot is recorded in info
// (the first one) and skipped, and the factorization still runs to the end.  A NaN pivot is
// not zero and is used.
//
// Four algorithms share that rule and differ only in the order of the updates (so in
// rounding):
//   A  ztr_lapack_dgetrf_rec  serial, blocked at power-of-two widths, recursive panels;
//   B  ztr_lapack_dgetrf_ib   parallel, one panel of look-ahead owned by thread 0;
//   C  ztr_lapack_dgetrf      parallel, column blocks handed out by a task scheduler;
//   D  ztr_lapack_dgetf2      the unblocked leaf (Crout order, matrix-vector updates).
// ztr_lapack_dgetrf chooses among them from the tuning queries and the thread count.
#pragma once

namespace ztr {

// The LAPACK-level entry, all arguments by address: checks m (1), n (2) and lda (4), reports
// a bad one through xerbla with "DGETRF" and sets info to its negated position; otherwise
// factors with ztr_lapack_dgetrf.
void dgetrf(const int* m, const int* n, double* a, const int* lda, int* ipiv, int* info);

// The internal routines take dimensions by value and assume valid arguments (except _ib,
// which checks its own, as it can be entered on its own).  ipiv holds min(m, n) one-based
// row indices relative to the matrix passed in.  Each returns true when the progress hook
// asked to stop; the factorization then ends early with what was computed.
bool ztr_lapack_dgetrf(int m, int n, double* a, int lda, int* ipiv, int* info);
bool ztr_lapack_dgetrf_ib(int m, int n, double* a, int lda, int* ipiv, int* info);
// thread: the index reported to the progress hook; step_offset: columns to the left of this
// (sub)matrix, so that the hook sees global column counts.
bool ztr_lapack_dgetrf_rec(int m, int n, double* a, int lda, int* ipiv, int* info, int thread,
                           int step_offset);
void ztr_lapack_dgetf2(int m, int n, double* a, int lda, int* ipiv, int* info);

// The dynamically scheduled path on its own (the thread count as ztr_lapack_dgetrf finds
// it, nb from the caller); for tests that want it at sizes where the choice goes elsewhere.
// Falls back to path B when its scheduler state cannot be allocated.
bool ztr_lapack_dgetrf_sched(int m, int n, double* a, int lda, int* ipiv, int* info, int nb,
                             int threads);

namespace getrf_detail {
// Progress report after a leaf: true when the hook asks to stop.
bool report_progress(int thread, int step);
// Applies the interchanges ipiv(k1..k2) (one-based rows) to columns [c0, c0+cols).
void swap_rows(double* a, int lda, int c0, int cols, int k1, int k2, const int* ipiv);
// The update that brings columns [c0, c0+cols) past the panel whose first row and column is
// r (one-based), jb wide: its interchanges, the solve with its unit lower triangle and, when
// rows remain below it, the multiply that updates them.
void apply_panel(int m, double* a, int lda, const int* ipiv, int r, int jb, int c0, int cols);
}  // namespace getrf_detail

}  // namespace ztr
