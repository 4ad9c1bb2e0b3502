// The triangular solve with a matrix of right-hand sides on the packed panels and
// micro-kernel of the processor's blocked multiply.
#pragma once

namespace ztr::level3 {

enum class PackedSolve { kDone, kNoBlockedMultiply, kNoMemory };

// The unblocked solve of a diagonal block: leaf(side, uplo, trans, diag, m, n, a, lda, b, ldb).
using SolveLeafFn = void (*)(char, char, char, char, int, int, const double*, int, double*, int);

// B := inv(op(A))*B (side 'L', A m x m) or B*inv(op(A)) (side 'R', A n x n), in place, alpha
// already applied; only the uplo triangle of A is read.
//
// The triangle is cut into outer blocks and those into narrow diagonal blocks; the part of
// op(A) beside each block (the rows or columns the block's solution updates: within its
// outer block for a diagonal block, beyond it for an outer block) is packed once as one
// operand of the multiply.  B is then walked in strips of rows (side 'R') or columns (side
// 'L') that stay in cache: each diagonal block of a strip is solved by the leaf (order at
// most 32), and each block, once solved, is packed as the other operand and updates its part
// of the strip by one kernel call on the two packed panels.
//
// Returns kNoBlockedMultiply (the processor variant has none) or kNoMemory (the packed
// panels could not be allocated; not reported) without touching B.
PackedSolve trsm_packed(char side, char uplo, char trans, char diag, int m, int n, const double* a,
                        int lda, double* b, int ldb, SolveLeafFn leaf);

}  // namespace ztr::level3
