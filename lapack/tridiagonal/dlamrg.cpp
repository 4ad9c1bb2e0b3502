#include "lapack/tridiagonal/dlamrg.h"

namespace ztr {

void dlamrg(int n1, int n2, const double* a, int dtrd1, int dtrd2, int* index) {
  int ind1 = dtrd1 > 0 ? 1 : n1;
  int ind2 = dtrd2 > 0 ? 1 + n1 : n1 + n2;
  int i = 0;
  while (n1 > 0 && n2 > 0) {
    if (a[ind1 - 1] <= a[ind2 - 1]) {
      index[i++] = ind1;
      ind1 += dtrd1;
      --n1;
    } else {
      index[i++] = ind2;
      ind2 += dtrd2;
      --n2;
    }
  }
  for (; n1 > 0; --n1, ind1 += dtrd1) index[i++] = ind1;
  for (; n2 > 0; --n2, ind2 += dtrd2) index[i++] = ind2;
}

}  // namespace ztr
