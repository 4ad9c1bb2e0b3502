#include <cmath>
#include <cstddef>

#include "blas/level1/level1.h"
#include "blas/level2/level2.h"
#include "lapack/tridiagonal/dlaed7.h"

namespace ztr {

namespace {

// The first node of a level (0: the leaves) in the store's numbering.
int first_node(int level, int tlvls) {
  int node = 1;
  for (int l = 0; l < level; ++l) node += 1 << (tlvls - l);
  return node;
}

// The order of the square block a node keeps in qstore.
int block_order(const int* qptr, int node) {
  return static_cast<int>(std::lround(std::sqrt(static_cast<double>(qptr[node] - qptr[node - 1]))));
}

}  // namespace

void dlaeda(int n, int tlvls, int curlvl, int curpbm, const int* prmptr, const int* perm,
            const int* givptr, const int* givcol, const double* givnum, const double* qstore,
            const int* qptr, double* z, double* ztemp) {
  if (n == 0) return;
  // z and ztemp are one-based below; mid is the first row of the lower half.
  double* zz = z - 1;
  const int mid = n / 2 + 1;
  const int inc1 = 1;
  const double one = 1.0, zero = 0.0;

  // The two leaves on either side of the cut: the last row of the upper one's vectors, the
  // first row of the lower one's; every other entry is zero, since the tear touches only
  // those two rows.
  const int span = 1 << curlvl;  // leaves under the merged node
  int left = first_node(0, tlvls) + curpbm * span + span / 2 - 1;
  int bsiz1 = block_order(qptr, left), bsiz2 = block_order(qptr, left + 1);
  for (int i = 1; i < mid - bsiz1; ++i) zz[i] = 0.0;
  blas_dcopy(&bsiz1, qstore + qptr[left - 1] - 1 + bsiz1 - 1, &bsiz1, &zz[mid - bsiz1], &inc1);
  blas_dcopy(&bsiz2, qstore + qptr[left] - 1, &bsiz2, &zz[mid], &inc1);
  for (int i = mid + bsiz2; i <= n; ++i) zz[i] = 0.0;

  // Up the levels below the merged node, through the two nodes beside the cut: each turns
  // its rows of z by its deflation's rotations, permutes them into its column order and
  // multiplies its secular block's transpose into the first k of them.
  for (int level = 1; level < curlvl; ++level) {
    const int lspan = 1 << (curlvl - level);
    left = first_node(level, tlvls) + curpbm * lspan + lspan / 2 - 1;
    const int psiz1 = prmptr[left] - prmptr[left - 1];
    const int psiz2 = prmptr[left + 1] - prmptr[left];
    const int zoff[2] = {mid - psiz1 - 1, mid - 1};  // z(zoff + j) is the node's column j
    for (int side = 0; side < 2; ++side) {
      const int node = left + side;
      for (int g = givptr[node - 1]; g < givptr[node]; ++g) {
        double* x = &zz[zoff[side] + givcol[2 * (g - 1)]];
        double* y = &zz[zoff[side] + givcol[2 * (g - 1) + 1]];
        const double c = givnum[2 * (g - 1)], s = givnum[2 * (g - 1) + 1];
        const double t = c * *x + s * *y;
        *y = c * *y - s * *x;
        *x = t;
      }
    }
    for (int i = 0; i < psiz1; ++i) ztemp[i] = zz[zoff[0] + perm[prmptr[left - 1] - 1 + i]];
    for (int i = 0; i < psiz2; ++i) ztemp[psiz1 + i] = zz[zoff[1] + perm[prmptr[left] - 1 + i]];
    const int psiz[2] = {psiz1, psiz2};
    const double* zt[2] = {ztemp, ztemp + psiz1};
    for (int side = 0; side < 2; ++side) {
      const int node = left + side;
      const int bsiz = block_order(qptr, node);
      double* out = &zz[zoff[side] + 1];
      if (bsiz > 0)
        blas_dgemv("T", &bsiz, &bsiz, &one, qstore + qptr[node - 1] - 1, &bsiz, zt[side], &inc1,
                   &zero, out, &inc1);
      const int rest = psiz[side] - bsiz;
      blas_dcopy(&rest, zt[side] + bsiz, &inc1, out + bsiz, &inc1);
    }
  }
}

}  // namespace ztr
