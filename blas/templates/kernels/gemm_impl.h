// The templated matrix multiply, compiled once per CpuType (see tblas_gemm.cpp for the
// dispatch): C is cut into NC-column slabs, the inner dimension into KC steps and the rows
// into MC blocks; op(B) and op(A) blocks are packed into panels of NR columns and MR rows
// (complex entries as separate real and imaginary planes, conjugated while packing), and a
// register-tile kernel of MR x NR accumulators runs over each pair of panels.  The kernel is
// plain loops over fixed bounds that the compiler unrolls and vectorises with the variant's
// instruction set.
#include <complex>
#include <cstddef>
#include <type_traits>

#include "blas/templates/isa_namespace.h"
#include "blas/templates/kernels/gemm_kernels.h"
#include "blas/templates/scalar.h"
#include "service/error.h"
#include "service/memory.h"

namespace ztr::tblas {
ZTR_ISA_NS_BEGIN
namespace gemm_detail {

using Index = std::ptrdiff_t;

// Register tile MR x NR and cache blocks per scalar type, chosen by measurement: the
// accumulators of a tile must stay in registers (a tile one vector too large spills and runs
// at a quarter of the speed), and MC x KC of A fits the level-2 cache.
template <typename T>
struct Tiles;
template <> struct Tiles<double> { static constexpr int MR = 8, NR = 6, MC = 128, KC = 256, NC = 2048; };
template <> struct Tiles<float> { static constexpr int MR = 8, NR = 6, MC = 256, KC = 256, NC = 2048; };
template <> struct Tiles<std::complex<double>> { static constexpr int MR = 4, NR = 3, MC = 64, KC = 256, NC = 1024; };
template <> struct Tiles<std::complex<float>> { static constexpr int MR = 4, NR = 3, MC = 128, KC = 256, NC = 1024; };

template <typename T>
const char* routine_name() {
  if constexpr (std::is_same_v<T, float>) return "SGEMM";
  else if constexpr (std::is_same_v<T, double>) return "DGEMM";
  else if constexpr (std::is_same_v<T, std::complex<float>>) return "CGEMM";
  else return "ZGEMM";
}

constexpr int planes(bool cx) { return cx ? 2 : 1; }

// op(X)(i, j) of a stored matrix.
template <typename T>
inline T op_at(const T* x, Index ld, Op op, Index i, Index j) {
  return op.trans ? conj_if(op.conj, x[j + i * ld]) : x[i + j * ld];
}

// Packs rows i0..i0+mc of op(A), inner indices p0..p0+kc, into MR-row panels: for each inner
// index the MR real parts, then (complex) the MR imaginary parts.  Rows past mc are zero.
template <typename T>
void pack_a(const T* a, Index lda, Op op, Index i0, int mc, Index p0, int kc, RealOf<T>* out) {
  constexpr int MR = Tiles<T>::MR, P = planes(kIsComplex<T>);
  for (int ip = 0; ip < mc; ip += MR) {
    const int rows = mc - ip < MR ? mc - ip : MR;
    for (int p = 0; p < kc; ++p, out += P * MR) {
      for (int r = 0; r < MR; ++r) {
        const T v = r < rows ? op_at(a, lda, op, i0 + ip + r, p0 + p) : T(0);
        if constexpr (kIsComplex<T>) {
          out[r] = v.real();
          out[MR + r] = v.imag();
        } else {
          out[r] = v;
        }
      }
    }
  }
}

// Packs columns j0..j0+nc of op(B), inner indices p0..p0+kc, into NR-column panels.
template <typename T>
void pack_b(const T* b, Index ldb, Op op, Index p0, int kc, Index j0, int nc, RealOf<T>* out) {
  constexpr int NR = Tiles<T>::NR, P = planes(kIsComplex<T>);
  for (int jp = 0; jp < nc; jp += NR) {
    const int cols = nc - jp < NR ? nc - jp : NR;
    for (int p = 0; p < kc; ++p, out += P * NR) {
      for (int c = 0; c < NR; ++c) {
        const T v = c < cols ? op_at(b, ldb, op, p0 + p, j0 + jp + c) : T(0);
        if constexpr (kIsComplex<T>) {
          out[c] = v.real();
          out[NR + c] = v.imag();
        } else {
          out[c] = v;
        }
      }
    }
  }
}

// C(0:rows, 0:cols) += alpha * (A panel) * (B panel).
template <typename T>
void tile(int kc, const RealOf<T>* a, const RealOf<T>* b, T alpha, T* c, Index ldc, int rows,
          int cols) {
  using R = RealOf<T>;
  constexpr int MR = Tiles<T>::MR, NR = Tiles<T>::NR;
  if constexpr (!kIsComplex<T>) {
    R acc[NR][MR] = {};
    for (int p = 0; p < kc; ++p, a += MR, b += NR)
      for (int j = 0; j < NR; ++j)
        for (int i = 0; i < MR; ++i) acc[j][i] += a[i] * b[j];
    for (int j = 0; j < cols; ++j)
      for (int i = 0; i < rows; ++i) c[i + j * ldc] += alpha * acc[j][i];
  } else {
    R re[NR][MR] = {}, im[NR][MR] = {};
    for (int p = 0; p < kc; ++p, a += 2 * MR, b += 2 * NR)
      for (int j = 0; j < NR; ++j)
        for (int i = 0; i < MR; ++i) {
          re[j][i] += a[i] * b[j] - a[MR + i] * b[NR + j];
          im[j][i] += a[i] * b[NR + j] + a[MR + i] * b[j];
        }
    for (int j = 0; j < cols; ++j)
      for (int i = 0; i < rows; ++i) c[i + j * ldc] += mul(alpha, T(re[j][i], im[j][i]));
  }
}

// Without work buffers: column-by-column updates, no packing.
template <typename T>
void gemm_unpacked(Op oa, Op ob, int m, int n, int k, T alpha, const T* a, int lda, const T* b,
                   int ldb, T* c, int ldc) {
  for (Index j = 0; j < n; ++j)
    for (Index p = 0; p < k; ++p) {
      const T t = mul(alpha, op_at(b, ldb, ob, p, j));
      for (Index i = 0; i < m; ++i) c[i + j * ldc] += mul(op_at(a, lda, oa, i, p), t);
    }
}

// The whole multiply for one scalar type, on the calling thread.
template <typename T>
void gemm_serial(char transa, char transb, int m, int n, int k, T alpha, const T* a, int lda,
          const T* b, int ldb, T beta, T* c, int ldc) {
  using R = RealOf<T>;
  using TL = Tiles<T>;
  if (m <= 0 || n <= 0) return;
  if (beta != T(1)) {
    for (Index j = 0; j < n; ++j)
      for (Index i = 0; i < m; ++i)
        c[i + j * ldc] = beta == T(0) ? T(0) : mul(beta, c[i + j * ldc]);
  }
  if (alpha == T(0) || k <= 0) return;
  const Op oa = op_of<T>(transa), ob = op_of<T>(transb);
  constexpr int P = planes(kIsComplex<T>);
  const int mc_max = m < TL::MC ? m : TL::MC, nc_max = n < TL::NC ? n : TL::NC;
  const int kc_max = k < TL::KC ? k : TL::KC;
  const int mc_pad = (mc_max + TL::MR - 1) / TL::MR * TL::MR;
  const int nc_pad = (nc_max + TL::NR - 1) / TL::NR * TL::NR;
  const std::size_t a_len = static_cast<std::size_t>(mc_pad) * kc_max * P;
  const std::size_t b_len = static_cast<std::size_t>(nc_pad) * kc_max * P;
  R* buf = static_cast<R*>(mm_malloc((a_len + b_len) * sizeof(R), 64));
  if (alloc_check(buf, routine_name<T>()) != 0) {
    gemm_unpacked(oa, ob, m, n, k, alpha, a, lda, b, ldb, c, ldc);
    return;
  }
  R* apack = buf;
  R* bpack = buf + a_len;
  for (int j0 = 0; j0 < n; j0 += TL::NC) {
    const int nc = n - j0 < TL::NC ? n - j0 : TL::NC;
    for (int p0 = 0; p0 < k; p0 += TL::KC) {
      const int kc = k - p0 < TL::KC ? k - p0 : TL::KC;
      pack_b(b, ldb, ob, p0, kc, j0, nc, bpack);
      for (int i0 = 0; i0 < m; i0 += TL::MC) {
        const int mc = m - i0 < TL::MC ? m - i0 : TL::MC;
        pack_a(a, lda, oa, i0, mc, p0, kc, apack);
        for (int jr = 0; jr < nc; jr += TL::NR) {
          const int cols = nc - jr < TL::NR ? nc - jr : TL::NR;
          const R* bp = bpack + static_cast<std::size_t>(jr) * kc * P;
          for (int ir = 0; ir < mc; ir += TL::MR) {
            const int rows = mc - ir < TL::MR ? mc - ir : TL::MR;
            const R* ap = apack + static_cast<std::size_t>(ir) * kc * P;
            tile<T>(kc, ap, bp, alpha, c + (i0 + ir) + static_cast<Index>(j0 + jr) * ldc, ldc,
                    rows, cols);
          }
        }
      }
    }
  }
  mm_free(buf);
}

}  // namespace gemm_detail
ZTR_ISA_NS_END
}  // namespace ztr::tblas

namespace ztr::kernels::ZTR_VARIANT_NS {

#define ZTR_GEMM_VARIANT(name, T)                                                            \
  void name(char ta, char tb, int m, int n, int k, T alpha, const T* a, int lda, const T* b, \
            int ldb, T beta, T* c, int ldc) {                                                \
    tblas::gemm_detail::gemm_serial<T>(ta, tb, m, n, k, alpha, a, lda, b, ldb, beta, c, ldc); \
  }
ZTR_GEMM_VARIANT(tgemm_s, float)
ZTR_GEMM_VARIANT(tgemm_d, double)
ZTR_GEMM_VARIANT(tgemm_c, std::complex<float>)
ZTR_GEMM_VARIANT(tgemm_z, std::complex<double>)
#undef ZTR_GEMM_VARIANT

}  // namespace ztr::kernels::ZTR_VARIANT_NS
