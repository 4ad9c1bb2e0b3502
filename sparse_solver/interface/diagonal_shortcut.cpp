#include "sparse_solver/interface/diagonal_shortcut.h"

#include <algorithm>

#include "sparse_solver/common/value_types.h"

namespace ztr {

bool is_diagonal_matrix(int n, const int* ia, const int* ja, int base) {
  // In 64 bits: the caller's indices may be anywhere in the range of int.
  for (int i = 0; i < n; ++i) {
    const long long e = static_cast<long long>(ia[i]) - base;
    if (e < 0 || e >= n || static_cast<long long>(ia[i + 1]) - base != e + 1 ||
        static_cast<long long>(ja[e]) - base != i)
      return false;
  }
  return true;
}

template <typename T>
int diagonal_solve(int n, int nrhs, const int* ia, const T* a, T* b, T* x, bool in_place,
                   DiagonalStep step, int threads, int* pos, int* neg, int base) {
  int p = 0, q = 0;
  for (int i = 0; i < n; ++i) {
    const T v = a[ia[i] - base];
    if (v == T(0)) return -(i + 1);
    if constexpr (!kIsComplex<T>) {
      if (v > T(0))
        ++p;
      else
        ++q;
    }
  }
  // A complex diagonal has no inertia: the counts are left as they are.
  if constexpr (!kIsComplex<T>) {
    *pos = p;
    *neg = q;
  }
  if (step == DiagonalStep::kNone) return 0;
  T* out = in_place ? b : x;
  const long total = static_cast<long>(n) * nrhs;
  if (step == DiagonalStep::kCopy) {
    if (!in_place && total > 0) std::copy(b, b + total, out);
    return 0;
  }
#pragma omp parallel for num_threads(threads) schedule(static)
  for (long k = 0; k < total; ++k) out[k] = b[k] / a[ia[k % n] - base];
  return 0;
}

#define ZTR_INSTANTIATE(T)                                                                 \
  template int diagonal_solve<T>(int, int, const int*, const T*, T*, T*, bool, DiagonalStep, int, \
                                 int*, int*, int);
ZTR_FOR_EACH_SOLVER_VALUE(ZTR_INSTANTIATE)
#undef ZTR_INSTANTIATE

}  // namespace ztr
