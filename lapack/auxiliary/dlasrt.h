// Sorting of a vector of doubles.
#pragma once

namespace ztr {

// Sorts d[0..n-1] in increasing (id 'I') or decreasing ('D') order.  NaNs, which have no
// place in an order, end up last.  info: 0; -1 id, -2 n < 0; reported as "DLASRT".
void dlasrt(const char* id, const int* n, double* d, int* info);

}  // namespace ztr
