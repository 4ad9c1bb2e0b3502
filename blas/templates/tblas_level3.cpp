// Level-3 templates (TRSM, SYRK, HERK) over the templated multiply, and their
// instantiations for the four scalar types.
#include <complex>
#include <cstddef>

#include "blas/templates/rank_k_blocked.h"
#include "blas/templates/tblas.h"
#include "blas/templates/triangular_blocked.h"
#include "service/error.h"
#include "service/memory.h"

namespace ztr::tblas {
namespace {

// Diagonal blocks of this order keep the unblocked leaves' share of the work small while
// the multiplies between them stay large enough to run at speed.
constexpr int kBlock = 64;

template <typename T>
struct GemmCall {
  void operator()(char ta, char tb, int m, int n, int k, T alpha, const T* a, int lda,
                  const T* b, int ldb, T beta, T* c, int ldc) const {
    gemm<T>(ta, tb, m, n, k, alpha, a, lda, b, ldb, beta, c, ldc);
  }
};

// B := alpha*B for an m x n matrix, alpha = 0 writing zeros.
template <typename T>
void scale_general(int m, int n, T alpha, T* b, int ldb) {
  if (alpha == T(1)) return;
  for (std::ptrdiff_t j = 0; j < n; ++j)
    for (std::ptrdiff_t i = 0; i < m; ++i) {
      T& e = b[i + j * ldb];
      e = alpha == T(0) ? T(0) : mul(alpha, e);
    }
}

template <typename T>
void rank_k(bool herm, char uplo, char trans, int n, int k, T alpha, const T* a, int lda,
            T beta, T* c, int ldc) {
  T* work = nullptr;
  if (n > 0 && alpha != T(0) && k > 0) {
    work = static_cast<T*>(mm_malloc(sizeof(T) * kBlock * kBlock, 64));
    if (work == nullptr) alloc_check(work, herm ? "HERK" : "SYRK");  // summed in place
  }
  detail::rank_k_blocked<T>(herm, uplo, trans, n, k, alpha, a, lda, static_cast<const T*>(nullptr),
                            0, beta, c, ldc, kBlock, work, GemmCall<T>{});
  if (work != nullptr) mm_free(work);
}

}  // namespace

template <typename T>
void trsm(char side, char uplo, char trans, char diag, int m, int n, T alpha, const T* a,
          int lda, T* b, int ldb) {
  if (m <= 0 || n <= 0) return;
  scale_general(m, n, alpha, b, ldb);
  if (alpha == T(0)) return;
  detail::trsm_blocked<T>(side, uplo, trans, diag, m, n, a, lda, b, ldb, kBlock, GemmCall<T>{},
                          detail::trsm_leaf<T>);
}

template <typename T>
void syrk(char uplo, char trans, int n, int k, T alpha, const T* a, int lda, T beta, T* c,
          int ldc) {
  rank_k(false, uplo, trans, n, k, alpha, a, lda, beta, c, ldc);
}

template <typename T>
void herk(char uplo, char trans, int n, int k, RealOf<T> alpha, const T* a, int lda,
          RealOf<T> beta, T* c, int ldc) {
  rank_k(kIsComplex<T>, uplo, trans, n, k, T(alpha), a, lda, T(beta), c, ldc);
}

#define ZTR_TBLAS_LEVEL3(T)                                                                  \
  template void trsm<T>(char, char, char, char, int, int, T, const T*, int, T*, int);        \
  template void syrk<T>(char, char, int, int, T, const T*, int, T, T*, int);                 \
  template void herk<T>(char, char, int, int, RealOf<T>, const T*, int, RealOf<T>, T*, int);
ZTR_TBLAS_LEVEL3(float)
ZTR_TBLAS_LEVEL3(double)
ZTR_TBLAS_LEVEL3(std::complex<float>)
ZTR_TBLAS_LEVEL3(std::complex<double>)
#undef ZTR_TBLAS_LEVEL3

}  // namespace ztr::tblas
