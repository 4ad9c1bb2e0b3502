// Out-of-place copy of a matrix, transposed or not, scaled by alpha.
//
//   ordering  'R' or 'C' (case-insensitive): the storage order of a and b
//   operation 'T' or 'C': b := alpha * a^T;  'N' or 'R': b := alpha * a
//   rows, cols: the shape of a as stored in `ordering`
//
// The recursion halves the larger dimension until both are at most 32, so whole cache lines
// of both matrices move whatever their leading dimensions; inside a block full 4x4 tiles are
// transposed in registers and the ragged edges entry by entry.  Entries are multiplied by alpha unless
// alpha is exactly 1.0, so a plain copy is exact even for NaN and infinity.
#pragma once

namespace ztr {

void transpose_copy(char ordering, char operation, int rows, int cols, double alpha,
                    const double* a, int lda, double* b, int ldb);

}  // namespace ztr
