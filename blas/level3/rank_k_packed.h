// The symmetric rank-k and rank-2k updates of a range of C's columns on the packed panels and
// micro-kernels of the processor's blocked multiply.
#pragma once

namespace ztr::level3 {

enum class PackedRankK { kDone, kNoBlockedMultiply, kNoMemory };

// Columns [j0, j1) of the uplo triangle of C := alpha*op(A)*op(B)' [+ alpha*op(B)*op(A)'] +
// beta*C, C n x n; op(X) is X (trans 'N', n x k) or X' (k x n).  For a rank-k update b is
// nullptr (op(B) = op(A)); with b given it is the rank-2k update.  Only the triangle is read
// and written.  Preconditions: alpha != 0, k > 0, j0 a multiple of 8.
//
// Per K block the rows of op(A) the columns need are packed once as the multiply's first
// operand (alpha folded in) and the columns once as its second; the triangle is then walked
// in strips of columns: the full rectangle beside each strip's diagonal block is one kernel
// call straight into C, the diagonal block goes through a scratch tile, eight columns at a
// time, and only its triangle is added to C.
//
// Returns kNoBlockedMultiply (the processor variant has none) or kNoMemory (the packed
// panels could not be allocated; not reported) without touching C.
PackedRankK rank_k_packed(bool upper, char trans, int n, int k, double alpha, const double* a,
                          int lda, const double* b, int ldb, double beta, double* c, int ldc,
                          int j0, int j1);

}  // namespace ztr::level3
