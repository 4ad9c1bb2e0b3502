// Row interchanges of a general matrix, with the reference LAPACK DLASWP arguments (all by
// address): for k = k1..k2 (in reverse order when incx < 0) row k of the n columns of a is
// swapped with row ipiv(k1 + (k-k1)*|incx|) (one-based indices throughout: ipiv is indexed
// by row number, so the list starts at ipiv(k1), as the LU drivers store it).  incx = 0 does
// nothing.  With more than one thread available, more than 128 columns and incx = 1 the
// columns are split among threads (a call from inside one of the library's parallel regions
// gets one thread in dynamic mode); otherwise one dispatched kernel does all the columns.
#pragma once

namespace ztr {

void ztr_lapack_dlaswp(const int* n, double* a, const int* lda, const int* k1, const int* k2,
                       const int* ipiv, const int* incx);

}  // namespace ztr
