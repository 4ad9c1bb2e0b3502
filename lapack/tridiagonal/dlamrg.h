// Merge permutation of two sorted lists.
#pragma once

namespace ztr {

// a[0..n1-1] and a[n1..n1+n2-1] are each sorted, ascending when their stride (dtrd1, dtrd2)
// is 1 and descending when it is -1.  index[0..n1+n2-1] receives the one-based positions in
// a that list all entries in ascending order (on ties the first list comes first).
void dlamrg(int n1, int n2, const double* a, int dtrd1, int dtrd2, int* index);

}  // namespace ztr
