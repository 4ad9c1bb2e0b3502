#include "sparse_solver/dense/dense_blocks.h"

#include <cmath>
#include <type_traits>
#include <utility>

#include "blas/gemm/gemm.h"
#include "blas/gemm/gemm_dispatch.h"
#include "blas/level3/level3.h"
#include "blas/level3/rank_k_packed.h"
#include "blas/templates/tblas.h"
#include "lapack/potrf/potrf.h"
#include "sparse_solver/dense/complex_products.h"

namespace ztr {
namespace {

// Products below this many multiply-adds run on the calling thread through the multiply's
// own single-thread kernel (faster than the BLAS templates on these shapes): the supernodal
// updates are mostly small, and forking threads for each of them costs more than it gains
// (on a loaded machine, far more).  Larger ones go to the library's threaded multiply.  The
// triangular solve decides for itself and keeps small solves on the calling thread.
constexpr double kThreadedProductMin = 2097152.0;  // 128^3

bool threaded(int m, int n, int k) {
  return static_cast<double>(m) * n * k >= kThreadedProductMin;
}

// The Bunch-Kaufman growth bound (1 + sqrt(17)) / 8.
constexpr double kBunchKaufmanAlpha = 0.6403882032022076;

template <typename T>
void swap_rows(int cols, T* a, int lda, int r1, int r2) {
  for (int c = 0; c < cols; ++c)
    std::swap(a[r1 + static_cast<long>(c) * lda], a[r2 + static_cast<long>(c) * lda]);
}

}  // namespace

template <typename T>
void block_gemm(char transa, int m, int n, int k, T alpha, const T* a, int lda, const T* b, int ldb,
                T beta, T* c, int ldc) {
  if (m <= 0 || n <= 0) return;
  if constexpr (std::is_same_v<T, double>) {
    const char tb = 'N';
    if (!threaded(m, n, k))
      return g_gemm_serial(&transa, &tb, &m, &n, &k, &alpha, a, &lda, b, &ldb, &beta, c, &ldc);
    ztr_blas_dgemm(&transa, &tb, &m, &n, &k, &alpha, a, &lda, b, &ldb, &beta, c, &ldc);
  } else {
    if constexpr (kIsComplex<T>)
      if (k > 0 && alpha != T(0) && dense::split_product_pays(kIsSingle<T>, m, n, k) &&
          dense::split_gemm<RealOf<T>>(transa, 'N', m, n, k, alpha, a, lda, b, ldb, beta, c, ldc))
        return;
    tblas::gemm<T>(transa, 'N', m, n, k, alpha, a, lda, b, ldb, beta, c, ldc);
  }
}

template <typename T>
void block_gemm_nt(char transb, int m, int n, int k, T alpha, const T* a, int lda, const T* b,
                   int ldb, T beta, T* c, int ldc) {
  if (m <= 0 || n <= 0) return;
  if constexpr (std::is_same_v<T, double>) {
    const char ta = 'N', tb = 'T';
    if (!threaded(m, n, k))
      return g_gemm_serial(&ta, &tb, &m, &n, &k, &alpha, a, &lda, b, &ldb, &beta, c, &ldc);
    ztr_blas_dgemm(&ta, &tb, &m, &n, &k, &alpha, a, &lda, b, &ldb, &beta, c, &ldc);
  } else {
    if constexpr (kIsComplex<T>)
      if (k > 0 && alpha != T(0) && dense::split_product_pays(kIsSingle<T>, m, n, k) &&
          dense::split_gemm<RealOf<T>>('N', transb, m, n, k, alpha, a, lda, b, ldb, beta, c, ldc))
        return;
    tblas::gemm<T>('N', transb, m, n, k, alpha, a, lda, b, ldb, beta, c, ldc);
  }
}

template <typename T>
void block_syrk_lower(int n, int k, T alpha, const T* a, int lda, T beta, T* c, int ldc) {
  if (n <= 0) return;
  // On the calling thread, as the products beside it, and without a message should the
  // packed panels not be had (the templates then do it).
  if constexpr (std::is_same_v<T, double>) {
    if (k > 0 && alpha != 0.0 &&
        level3::rank_k_packed(false, 'N', n, k, alpha, a, lda, nullptr, 0, beta, c, ldc, 0, n) ==
            level3::PackedRankK::kDone)
      return;
  }
  if constexpr (kIsComplex<T>) {
    if (k > 0 && alpha.real() != 0 && dense::split_product_pays(kIsSingle<T>, n, n, k) &&
        dense::split_herk_lower<RealOf<T>>(n, k, alpha.real(), a, lda, beta.real(), c, ldc))
      return;
    tblas::herk<T>('L', 'N', n, k, alpha.real(), a, lda, beta.real(), c, ldc);
  } else {
    tblas::syrk<T>('L', 'N', n, k, alpha, a, lda, beta, c, ldc);
  }
}

template <typename T>
void block_trsm(char side, char uplo, char trans, char diag, int m, int n, const T* a, int lda,
                T* b, int ldb) {
  if (m <= 0 || n <= 0) return;
  if constexpr (std::is_same_v<T, double>) {
    const double one = 1.0;
    ztr_blas_dtrsm(&side, &uplo, &trans, &diag, &m, &n, &one, a, &lda, b, &ldb);
  } else {
    if constexpr (kIsComplex<T>) {
      const bool left = side == 'L' || side == 'l';
      if (dense::split_solve_pays(kIsSingle<T>, left ? n : m, left ? m : n) &&
          dense::split_trsm<RealOf<T>>(side, uplo, trans, diag, m, n, a, lda, b, ldb))
        return;
    }
    tblas::trsm<T>(side, uplo, trans, diag, m, n, T(1), a, lda, b, ldb);
  }
}

template <typename T>
int block_cholesky(int k, T* a, int lda) {
  if constexpr (std::is_same_v<T, double>) {
    int info = 0;
    ztr_lapack_dpotrf('L', k, a, lda, &info);
    return info;
  }
  // Right-looking by columns: every inner loop runs down a contiguous column.
  for (int j = 0; j < k; ++j) {
    T* cj = a + static_cast<long>(j) * lda;
    const RealOf<T> djj = real_part(cj[j]);
    if (!(djj > 0)) return j + 1;
    const RealOf<T> root = std::sqrt(djj);
    cj[j] = root;
    for (int i = j + 1; i < k; ++i) cj[i] /= root;
    for (int c = j + 1; c < k; ++c) {
      T* cc = a + static_cast<long>(c) * lda;
      const T f = conj_value(cj[c]);
      if (f == T(0)) continue;
      for (int i = c; i < k; ++i) cc[i] -= cj[i] * f;
    }
  }
  return 0;
}

template <typename T>
int block_lu(int k, T* a, int lda, int* ipiv, RealOf<T> threshold, int* perturbed) {
  int info = 0;
  for (int j = 0; j < k; ++j) {
    T* cj = a + static_cast<long>(j) * lda;
    int p = j;
    for (int i = j + 1; i < k; ++i)
      if (abs_value(cj[i]) > abs_value(cj[p])) p = i;
    ipiv[j] = p + 1;
    if (p != j) swap_rows(k, a, lda, j, p);
    if (threshold > 0 && !(abs_value(cj[j]) >= threshold)) {
      cj[j] = with_magnitude(cj[j], threshold);
      ++*perturbed;
    }
    if (cj[j] == T(0)) {
      if (info == 0) info = j + 1;
      continue;
    }
    const T inv = T(1) / cj[j];
    for (int i = j + 1; i < k; ++i) cj[i] *= inv;
    for (int c = j + 1; c < k; ++c) {
      T* cc = a + static_cast<long>(c) * lda;
      const T f = cc[j];
      if (f == T(0)) continue;
      for (int i = j + 1; i < k; ++i) cc[i] -= cj[i] * f;
    }
  }
  return info;
}

template <typename T>
int block_ldlt(int k, int len, T* a, int lda, int* ipiv, T* d, T* e, RealOf<T> threshold,
               RealOf<T>* scale, bool conj, int* perturbed, int* pos, int* neg) {
  using R = RealOf<T>;
  int info = 0;
  auto at = [&](int i, int j) -> T& { return a[i + static_cast<long>(j) * lda]; };
  auto sc = [&](int i) { return scale != nullptr ? scale[i] : R(1); };
  // Magnitudes as on the scaled block, where the threshold lives.
  auto mag = [&](int i, int j) { return abs_value(at(i, j)) * sc(i) * sc(j); };
  // The pivot search reads whole rows of the trailing block, so the lower triangle is
  // mirrored into the upper one first (conjugated for L*D*L^H); updates then keep both
  // triangles.
  for (int j = 0; j < k; ++j)
    for (int i = j + 1; i < k; ++i) at(j, i) = conj_if(conj, at(i, j));
  // Symmetric interchange of rows/columns j and r (r > j) of the block, and of columns j and r
  // of the rows below it.
  auto interchange = [&](int j, int r) {
    if (r == j) return;
    swap_rows(k, a, lda, j, r);
    for (int i = 0; i < len; ++i) std::swap(at(i, j), at(i, r));
    if (scale != nullptr) std::swap(scale[j], scale[r]);
  };
  const R alpha = static_cast<R>(kBunchKaufmanAlpha);
  // Set once a search of the whole trailing block found nothing acceptable: what is left is
  // rounding residue, and every later column is perturbed without searching again.
  bool exhausted = false;
  int j = 0;
  while (j < k) {
    const R ajj = mag(j, j);
    int r = j;
    R colmax = 0;
    for (int i = j + 1; i < k; ++i)
      if (mag(i, j) > colmax) {
        colmax = mag(i, j);
        r = i;
      }
    bool two = false;
    int first_swap = j;  // the row brought to j (2x2: to j, and swap_with to j + 1)
    int swap_with = j;
    // A column that is negligible inside the block (rounding residue of cancelled entries)
    // never takes part in a 2x2 pivot: one built on such entries would divide by noise.
    if (ajj < alpha * colmax && !(colmax < threshold)) {
      R rowmax = 0;
      for (int i = j; i < k; ++i)
        if (i != r) rowmax = std::max(rowmax, mag(r, i));
      if (ajj * rowmax >= alpha * colmax * colmax) {
        swap_with = j;
      } else if (mag(r, r) >= alpha * rowmax) {
        swap_with = r;
      } else {
        two = true;
        swap_with = r;
      }
    } else if ((ajj < threshold || ajj == 0) && !exhausted) {
      // Column j offers no acceptable pivot.  Before perturbing, the rest of the block is
      // searched as complete pivoting does: its largest diagonal entry as a 1x1 pivot when it
      // dominates the largest off-diagonal one (the multipliers stay below 1/alpha), else a
      // 2x2 pivot on that off-diagonal entry (both diagonals below alpha times it, so the
      // block is indefinite and well conditioned).  Only when the whole trailing block is
      // below the threshold is a pivot perturbed.
      R dmax = 0, omax = 0;
      int t = j, p = j, q = j;
      for (int c = j; c < k; ++c) {
        if (mag(c, c) > dmax) dmax = mag(c, c), t = c;
        for (int i = c + 1; i < k; ++i)
          if (mag(i, c) > omax) omax = mag(i, c), p = i, q = c;
      }
      if (dmax >= threshold && dmax >= alpha * omax) {
        swap_with = t;
      } else if (omax >= threshold) {
        two = true;
        first_swap = q;
        swap_with = p;
      } else {
        exhausted = true;
      }
    }
    if (!two) {
      interchange(j, swap_with);
      ipiv[j] = swap_with + 1;
      // The diagonal of a Hermitian matrix is real.
      T djj = conj ? T(real_part(at(j, j))) : at(j, j);
      const R s2 = sc(j) * sc(j);
      // A pivot that is not finite (an overflow earlier in the block) is kept as it is, for
      // the factorization to fail on it: perturbing it would hide it.
      if (threshold > 0 && is_finite_value(djj) && !(abs_value(djj) * s2 >= threshold)) {
        djj = with_magnitude(djj, threshold) / s2;
        ++*perturbed;
      }
      if (real_part(djj) > 0)
        ++*pos;
      else
        ++*neg;
      d[j] = djj;
      e[j] = 0;
      at(j, j) = T(1);
      if (djj == T(0)) {  // only reachable without perturbation: leave the column as it is
        if (info == 0) info = j + 1;
        for (int i = j + 1; i < k; ++i) at(i, j) = at(j, i) = 0;
        ++j;
        continue;
      }
      for (int c = j + 1; c < k; ++c) {
        const T f = conj_if(conj, at(c, j)) / djj;
        for (int i = j + 1; i < k; ++i) at(i, c) -= at(i, j) * f;
      }
      for (int i = j + 1; i < k; ++i) at(i, j) /= djj;
      ++j;
      continue;
    }
    // A 2x2 pivot on rows first_swap and swap_with (j <= first_swap < swap_with): the first
    // goes to j, the second to j + 1; the first interchange moves only rows j and first_swap,
    // so the second row is still where the search found it.
    interchange(j, first_swap);
    interchange(j + 1, swap_with);
    ipiv[j] = -(first_swap + 1);
    ipiv[j + 1] = -(swap_with + 1);
    // D of a Hermitian matrix is Hermitian: the diagonal entries of a 2x2 block are real.  Its
    // pivots are entries that cancelled, so the rounding residue of their imaginary parts can
    // be large beside them; kept in D, it would make the updates with L*D disagree with the
    // L that this block's real inverse computed.
    const T d11 = conj ? T(real_part(at(j, j))) : at(j, j), d21 = at(j + 1, j),
            d22 = conj ? T(real_part(at(j + 1, j + 1))) : at(j + 1, j + 1);
    const PivotBlock2<T> pivot(d11, d21, d22, conj);
    d[j] = d11;
    e[j] = d21;
    d[j + 1] = d22;
    e[j + 1] = 0;
    // Both rules take a 2x2 block only when |d11| |d22| < alpha^2 d21^2 (alpha < 1), so
    // det < 0: one positive and one negative eigenvalue.
    ++*pos;
    ++*neg;
    // Rows below: [l1 l2] = [a_ij a_i,j+1] * inv(D).
    for (int i = j + 2; i < k; ++i) {
      T l1, l2;
      pivot.solve_row(at(i, j), at(i, j + 1), &l1, &l2);
      for (int c = j + 2; c <= i; ++c) {
        // a_ic -= l1 * a_jc + l2 * a_j+1,c, using the columns before they are overwritten.
        at(i, c) -= l1 * at(j, c) + l2 * at(j + 1, c);
      }
      at(i, j) = l1;
      at(i, j + 1) = l2;
    }
    for (int c = j + 2; c < k; ++c)
      for (int i = c + 1; i < k; ++i) at(c, i) = conj_if(conj, at(i, c));
    for (int c = j + 2; c < k; ++c)
      at(j, c) = conj_if(conj, at(c, j)), at(j + 1, c) = conj_if(conj, at(c, j + 1));
    at(j, j) = T(1);
    at(j + 1, j) = T(0);
    at(j + 1, j + 1) = T(1);
    j += 2;
  }
  return info;
}

#define ZTR_INSTANTIATE_BLOCKS(T)                                                                \
  template void block_gemm<T>(char, int, int, int, T, const T*, int, const T*, int, T, T*, int); \
  template void block_gemm_nt<T>(char, int, int, int, T, const T*, int, const T*, int, T, T*,    \
                                 int);                                                           \
  template void block_syrk_lower<T>(int, int, T, const T*, int, T, T*, int);                     \
  template void block_trsm<T>(char, char, char, char, int, int, const T*, int, T*, int);         \
  template int block_cholesky<T>(int, T*, int);                                                  \
  template int block_lu<T>(int, T*, int, int*, RealOf<T>, int*);                                 \
  template int block_ldlt<T>(int, int, T*, int, int*, T*, T*, RealOf<T>, RealOf<T>*, bool, int*, \
                             int*, int*);
ZTR_FOR_EACH_SOLVER_VALUE(ZTR_INSTANTIATE_BLOCKS)
#undef ZTR_INSTANTIATE_BLOCKS

}  // namespace ztr
