// The templated multiply's entry: one DispatchSlot per scalar type selects the variant
// compiled for the processor's instruction set (kernels/gemm_impl.h).
#include <complex>

#include "blas/templates/kernels/gemm_kernels.h"
#include "blas/templates/tblas.h"
#include "service/dispatch.h"

namespace ztr::tblas {
namespace {

template <typename T>
using GemmSlot =
    DispatchSlot<void(char, char, int, int, int, T, const T*, int, const T*, int, T, T*, int)>;
GemmSlot<float> g_sgemm(ZTR_VARIANTS(tgemm_s));
GemmSlot<double> g_dgemm(ZTR_VARIANTS(tgemm_d));
GemmSlot<std::complex<float>> g_cgemm(ZTR_VARIANTS(tgemm_c));
GemmSlot<std::complex<double>> g_zgemm(ZTR_VARIANTS(tgemm_z));

template <typename T>
GemmSlot<T>& slot() {
  if constexpr (std::is_same_v<T, float>) return g_sgemm;
  else if constexpr (std::is_same_v<T, double>) return g_dgemm;
  else if constexpr (std::is_same_v<T, std::complex<float>>) return g_cgemm;
  else return g_zgemm;
}

}  // namespace

template <typename T>
void gemm(char transa, char transb, int m, int n, int k, T alpha, const T* a, int lda,
          const T* b, int ldb, T beta, T* c, int ldc) {
  slot<T>()(transa, transb, m, n, k, alpha, a, lda, b, ldb, beta, c, ldc);
}

#define ZTR_TBLAS_GEMM(T) \
  template void gemm<T>(char, char, int, int, int, T, const T*, int, const T*, int, T, T*, int);
ZTR_TBLAS_GEMM(float)
ZTR_TBLAS_GEMM(double)
ZTR_TBLAS_GEMM(std::complex<float>)
ZTR_TBLAS_GEMM(std::complex<double>)
#undef ZTR_TBLAS_GEMM

}  // namespace ztr::tblas
