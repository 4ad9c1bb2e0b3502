// The symmetric matrix-vector product of the tridiagonal reduction, shared among threads.
#pragma once

namespace ztr {

// y := alpha*S*x for the symmetric order-m S (lda) of which the upper or lower triangle is
// read; x and y contiguous.  Each of `threads` threads sums its share of the stored columns
// (an equal part of the triangle) into its own vector of `partial` (threads*m doubles), and
// the vectors are then added up slice by slice.  With one thread, or below the order where
// waking the team pays, the sequential product is used and `partial` is not touched.
// First column of share t of a triangle of order m cut into `parts` pieces of equal area
// (column j holds j + 1 stored entries for 'U', m - j for 'L').
int triangle_cut(bool upper, int m, int t, int parts);

void symv_threaded(bool upper, int m, double alpha, const double* s, int lda, const double* x,
                   double* y, int threads, double* partial);

}  // namespace ztr
