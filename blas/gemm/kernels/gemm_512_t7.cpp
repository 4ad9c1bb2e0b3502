// The 512-bit tier of the CpuType 7 matrix multiply: packing of A into slivers of eight rows
// and the kernel driver over them.  Compiled with type 7's flags plus the AVX-512 foundation
// (ztr_kernel_sources_512), called only when avx512_tier_in_use().
//
// The sums are those of the 256-bit kernels.  Every C entry of a K block is
//   acc = 0; acc = acc + a(i,p)*b(p,j) for p = 0, 1, ..., kd-1; C = acc, C + acc or beta*C + acc
// with a(i,p) already multiplied by alpha in packed A, over the same granule-rounded depth kd
// (the padding products are +0 and leave every sum as it is).  A vector lane computes exactly
// that for its row, so the width of the vectors, the shape of the tile and the grouping of
// rows change nothing in the result.
//
// Register tile: four 8-row slivers by one 4-column B sliver (32 x 4).  Without fused
// multiply-add each product needs a temporary: 16 accumulators, 4 A vectors and two
// temporaries fit in the 32 registers of 64-bit mode.  Per depth (gemm_tile_asm_512.inc):
// 4 loads, 16 multiplies with B broadcast from memory and 16 adds for 256 flops, 36
// instructions against 30 for the 96 flops of the 256-bit tile.  The edge tiles (fewer
// slivers, fewer rows) are intrinsics with the same sums.
#include <immintrin.h>

#include "blas/gemm/gemm_512.h"

#if !defined(ZTR_KERNEL_512) || ZTR_KERNEL_CPU_TYPE != 7 || !defined(__AVX512F__)
#error "the 512-bit tier is compiled through ztr_kernel_sources_512"
#endif

namespace ztr::gemm::t7::w512 {
namespace {

using V = __m512d;
constexpr int kMr = 8;     // rows of a packed A sliver: one register
constexpr int kNr = 4;     // columns of a packed B sliver, as in the 256-bit variant
constexpr int kGroup = 4;  // A slivers of a register tile
// The tiles run the whole depth of a K block in one pass.  Cutting deep blocks into passes
// that keep the group of A slivers in L1 (the 256-bit variant's way) measured slower here:
// the group streams from L2 fast enough, and the passes' saved accumulators cost more.
// B slivers of one chunk: their packed values (~192 KiB at kc = 256) stay in L2 while A
// streams past them.
constexpr int kMaxChunkSlivers = 32;
constexpr long kBChunkBytes = 196608;
constexpr int kTileDoubles = kGroup * kNr * kMr;
// Packing A with op(A) = A reads one line of every column of the K block per sliver, each
// in its own page: no stream the hardware would follow, so the lines of the sliver two ahead
// are fetched by hand (farther ahead, a deep K block's lines would leave L1 before use).
constexpr int kPackAhead = 2 * kMr;

__attribute__((always_inline)) inline int imin(int a, int b) {
  return a < b ? a : b;
}
__attribute__((always_inline)) inline bool trans_is_n(char t) {
  return t == 'N' || t == 'n';
}
__attribute__((always_inline)) inline __mmask8 lanes(int r) {
  return static_cast<__mmask8>((1u << r) - 1u);
}

// acc[s][j] += a(s, p) * b(p, j) for p in [0, kd), in increasing p; a holds S slivers of 8
// rows at as8 doubles from each other.
template <int S>
__attribute__((always_inline)) inline void accumulate(int kd, const double* a, long as8,
                                                      const double* b, V (&acc)[S][kNr]) {
#pragma GCC unroll 2
  for (int p = 0; p < kd; ++p) {
    V av[S];
#pragma GCC unroll 4
    for (int s = 0; s < S; ++s) av[s] = _mm512_loadu_pd(a + s * as8 + p * kMr);
#pragma GCC unroll 4
    for (int j = 0; j < kNr; ++j) {
      const V bj = _mm512_set1_pd(b[p * kNr + j]);
#pragma GCC unroll 4
      for (int s = 0; s < S; ++s) acc[s][j] = _mm512_add_pd(acc[s][j], _mm512_mul_pd(av[s], bj));
    }
  }
}

// C := acc, C + acc or beta*C + acc on the rows of `mask`, with the operands in the order of
// the 256-bit kernels.
__attribute__((always_inline)) inline void update(double* cp, __mmask8 mask, V acc, double beta) {
  if (mask == 0xff) {
    if (beta == 0.0) {
      _mm512_storeu_pd(cp, acc);
    } else if (beta == 1.0) {
      _mm512_storeu_pd(cp, _mm512_add_pd(_mm512_loadu_pd(cp), acc));
    } else {
      _mm512_storeu_pd(
          cp, _mm512_add_pd(_mm512_mul_pd(_mm512_set1_pd(beta), _mm512_loadu_pd(cp)), acc));
    }
    return;
  }
  if (beta == 0.0) {
    _mm512_mask_storeu_pd(cp, mask, acc);
  } else if (beta == 1.0) {
    _mm512_mask_storeu_pd(cp, mask, _mm512_add_pd(_mm512_maskz_loadu_pd(mask, cp), acc));
  } else {
    _mm512_mask_storeu_pd(
        cp, mask,
        _mm512_add_pd(_mm512_mul_pd(_mm512_set1_pd(beta), _mm512_maskz_loadu_pd(mask, cp)), acc));
  }
}

template <int S>
__attribute__((always_inline)) inline void write_tile(const V (&acc)[S][kNr], double* c, long ldc,
                                                      int ncols, double beta) {
  for (int j = 0; j < kNr && j < ncols; ++j)
#pragma GCC unroll 4
    for (int s = 0; s < S; ++s) update(c + s * kMr + j * ldc, 0xff, acc[s][j], beta);
}

#include "blas/gemm/kernels/gemm_tile_asm_512.inc"

// The C lines of a 32 x 4 tile (rows at any alignment), fetched while the depth loop runs so
// that the update at its end does not wait for memory.
__attribute__((always_inline)) inline void prefetch_c_tile(const double* c, long ldc, int ncols) {
  for (int j = 0; j < kNr && j < ncols; ++j)
    for (int off = 0; off <= kGroup * kMr; off += kMr)
      _mm_prefetch(reinterpret_cast<const char*>(c + j * ldc + imin(off, kGroup * kMr - 1)),
                   _MM_HINT_T0);
}

template <int S>
void load_tile(const double* saved, V (&acc)[S][kNr]) {
  for (int s = 0; s < S; ++s)
    for (int j = 0; j < kNr; ++j) acc[s][j] = _mm512_load_pd(saved + kMr * (kNr * s + j));
}

template <int S>
void tile(int kd, const double* a, long as8, const double* b, double* c, long ldc, int ncols,
          double beta) {
  V acc[S][kNr];
  if constexpr (S == kGroup) {
    if (kd > 0 && kd % 4 == 0) {
      prefetch_c_tile(c, ldc, ncols);
      alignas(64) double out[kTileDoubles];
      tile32x4_asm(kd, a, as8 * static_cast<long>(sizeof(double)), b, out);
      load_tile<S>(out, acc);
      write_tile<S>(acc, c, ldc, ncols, beta);
      return;
    }
  }
#pragma GCC unroll 4
  for (int s = 0; s < S; ++s)
#pragma GCC unroll 4
    for (int j = 0; j < kNr; ++j) acc[s][j] = _mm512_setzero_pd();
  accumulate<S>(kd, a, as8, b, acc);
  write_tile<S>(acc, c, ldc, ncols, beta);
}

// The last sliver of r < 8 rows, r values per depth: masked loads, the same sums per lane.
void tile_rows(int r, int kd, const double* a, const double* b, double* c, long ldc, int ncols,
               double beta) {
  const __mmask8 mask = lanes(r);
  V acc[kNr];
  for (int j = 0; j < kNr; ++j) acc[j] = _mm512_setzero_pd();
  for (int p = 0; p < kd; ++p) {
    const V av = _mm512_maskz_loadu_pd(mask, a + p * r);
#pragma GCC unroll 4
    for (int j = 0; j < kNr; ++j)
      acc[j] = _mm512_add_pd(acc[j], _mm512_mul_pd(av, _mm512_set1_pd(b[p * kNr + j])));
  }
  for (int j = 0; j < kNr && j < ncols; ++j) update(c + j * ldc, mask, acc[j], beta);
}

// Packed A (mb rows, 4-row sliver stride as) times packed B (nb columns, slivers at bs).
// Every C entry is written once, so the order of the tiles does not change any result.
void panel_product(int mb, int nb, int kd, const double* a, long as, const double* b, long bs,
                   double beta, double* c, long ldc) {
  const long as8 = 2 * as;
  const int full = mb / kMr;
  int sl = 0;
  for (; sl + kGroup <= full; sl += kGroup)
    for (int j0 = 0; j0 < nb; j0 += kNr)
      tile<kGroup>(kd, a + sl * as8, as8, b + (j0 / kNr) * bs, c + sl * kMr + j0 * ldc, ldc,
                   nb - j0, beta);
  const int left = full - sl;
  for (int j0 = 0; j0 < nb && left > 0; j0 += kNr) {
    const double* bj = b + (j0 / kNr) * bs;
    double* cj = c + sl * kMr + j0 * ldc;
    if (left == 3) tile<3>(kd, a + sl * as8, as8, bj, cj, ldc, nb - j0, beta);
    if (left == 2) tile<2>(kd, a + sl * as8, as8, bj, cj, ldc, nb - j0, beta);
    if (left == 1) tile<1>(kd, a + sl * as8, as8, bj, cj, ldc, nb - j0, beta);
  }
  const int rem = mb - full * kMr;
  if (rem > 0)
    for (int j0 = 0; j0 < nb; j0 += kNr)
      tile_rows(rem, kd, a + full * as8, b + (j0 / kNr) * bs, c + full * kMr + j0 * ldc, ldc,
                nb - j0, beta);
}

// One B sliver of op(B) read in place (k deep, ncols columns), packed into `d` as packed B
// is, zero-padded to depth kd and to four columns.
void pack_b_sliver(bool notb, int k, int ncols, const double* src, long ldb, double* d, int kd) {
  for (int p = 0; p < kd; ++p)
    for (int j = 0; j < kNr; ++j)
      d[p * kNr + j] = p < k && j < ncols ? (notb ? src[p + j * ldb] : src[j + p * ldb]) : 0.0;
}

// Rows [i0, i0+4) of op(A) = A' (columns of the stored A) at depths [p, p+4), scaled, into
// the 8-row sliver layout at column offset `half` (0 or 4): a register transpose of 4 x 4.
__attribute__((always_inline)) inline void transpose4(const double* s, long lda, double* d,
                                                      const __m256d vs) {
  const __m256d c0 = _mm256_loadu_pd(s), c1 = _mm256_loadu_pd(s + lda);
  const __m256d c2 = _mm256_loadu_pd(s + 2 * lda), c3 = _mm256_loadu_pd(s + 3 * lda);
  const __m256d t0 = _mm256_unpacklo_pd(c0, c1), t1 = _mm256_unpackhi_pd(c0, c1);
  const __m256d t2 = _mm256_unpacklo_pd(c2, c3), t3 = _mm256_unpackhi_pd(c2, c3);
  _mm256_storeu_pd(d, _mm256_mul_pd(vs, _mm256_permute2f128_pd(t0, t2, 0x20)));
  _mm256_storeu_pd(d + kMr, _mm256_mul_pd(vs, _mm256_permute2f128_pd(t1, t3, 0x20)));
  _mm256_storeu_pd(d + 2 * kMr, _mm256_mul_pd(vs, _mm256_permute2f128_pd(t0, t2, 0x31)));
  _mm256_storeu_pd(d + 3 * kMr, _mm256_mul_pd(vs, _mm256_permute2f128_pd(t1, t3, 0x31)));
}

void zero_tail(double* d, int from, int to) {
  for (int p = from; p < to; ++p) d[p] = 0.0;
}

}  // namespace

void pack_a_n(int rows, int k, const double* a, int lda, double* dst, int stride, double alpha) {
  const int kbp = stride / 4;
  const V va = _mm512_set1_pd(alpha);
  for (int i0 = 0; i0 < rows; i0 += kMr) {
    const int ms = imin(kMr, rows - i0);
    double* d = dst + static_cast<long>(i0 / kMr) * 2 * stride;
    const double* s = a + i0;
    if (ms == kMr) {
      for (int p = 0; p < k; ++p) {
        const double* sp = s + static_cast<long>(p) * lda;
        _mm_prefetch(reinterpret_cast<const char*>(sp + kPackAhead), _MM_HINT_T0);
        _mm512_storeu_pd(d + p * kMr, _mm512_mul_pd(va, _mm512_loadu_pd(sp)));
      }
    } else {
      const __mmask8 mask = lanes(ms);
      for (int p = 0; p < k; ++p)
        _mm512_mask_storeu_pd(
            d + p * ms, mask,
            _mm512_mul_pd(va, _mm512_maskz_loadu_pd(mask, s + static_cast<long>(p) * lda)));
    }
    zero_tail(d, k * ms, kbp * ms);
  }
}

void pack_a_t(int rows, int k, const double* a, int lda, double* dst, int stride, double alpha) {
  const int kbp = stride / 4;
  const __m256d vs = _mm256_set1_pd(alpha);
  for (int i0 = 0; i0 < rows; i0 += kMr) {
    const int ms = imin(kMr, rows - i0);
    double* d = dst + static_cast<long>(i0 / kMr) * 2 * stride;
    const double* s = a + static_cast<long>(i0) * lda;
    int p = 0;
    if (ms == kMr) {
      for (; p + 4 <= k; p += 4) {
        transpose4(s + p, lda, d + p * kMr, vs);
        transpose4(s + p + 4L * lda, lda, d + p * kMr + 4, vs);
      }
    }
    for (; p < k; ++p)
      for (int i = 0; i < ms; ++i) d[p * ms + i] = alpha * s[p + static_cast<long>(i) * lda];
    zero_tail(d, k * ms, kbp * ms);
  }
}

void kernel_driver(char transa, char transb, int mb, int nb, int kbp, double alpha, const double* a,
                   int a_stride, const double* b, int b_stride, double beta, double* c, int ldc,
                   double* edge, int b_form) {
  (void)transa;
  (void)alpha;
  if (mb <= 0 || nb <= 0) return;
  if (b_form == kGemmBInPlace) {
    // Each B sliver is packed into the edge buffer first (depth a_stride/4, as packed A).
    const int kd = a_stride / 4;
    const bool notb = trans_is_n(transb);
    for (int j0 = 0; j0 < nb; j0 += kNr) {
      const int ncols = imin(kNr, nb - j0);
      const double* src = notb ? b + static_cast<long>(j0) * b_stride : b + j0;
      pack_b_sliver(notb, kbp, ncols, src, b_stride, edge, kd);
      panel_product(mb, ncols, kd, a, a_stride, edge, 0, beta, c + static_cast<long>(j0) * ldc,
                    ldc);
    }
    return;
  }
  long chunk = kBChunkBytes / (static_cast<long>(kbp) * 8 + 1) / kNr * kNr;
  if (chunk < kNr) chunk = kNr;
  if (chunk > kMaxChunkSlivers * kNr) chunk = kMaxChunkSlivers * kNr;
  for (long jc = 0; jc < nb; jc += chunk) {
    const int ncc = static_cast<int>(jc + chunk <= nb ? chunk : nb - jc);
    panel_product(mb, ncc, kbp, a, a_stride, b + (jc / kNr) * b_stride, b_stride, beta,
                  c + jc * ldc, ldc);
  }
}

}  // namespace ztr::gemm::t7::w512
