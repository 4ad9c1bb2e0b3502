// The transposing copy, compiled once per CpuType.  The variants share the blocking; the
// transposed 4x4 tiles use 256-bit shuffles where the variant has AVX and 128-bit ones
// otherwise.  Every entry is either copied or multiplied once by alpha, so all variants give
// the same bits.
#include <emmintrin.h>
#ifdef __AVX__
#include <immintrin.h>
#endif

#include <cstddef>

#include "service/kernel_variant.h"

namespace ztr::kernels::ZTR_VARIANT_NS {
namespace {

// The recursion halves the larger side until a block is at most kBlock x kBlock: 32 columns
// of 32 doubles on each side (16 KiB in all) stay in the L1 cache while the block is copied
// tile by tile, and the 32 source and 32 destination pages a block touches fit the TLB.
constexpr int kBlock = 32;
constexpr int kTile = 4;

inline std::ptrdiff_t at(int i, int j, int ld) {
  return i + static_cast<std::ptrdiff_t>(j) * ld;
}

// b(j0.., i0..) := alpha * a(i0.., j0..)^T for one full 4x4 tile.
template <bool Scale>
inline void tile_transposed(const double* a, int lda, double* b, int ldb, double alpha) {
#ifdef __AVX__
  __m256d c0 = _mm256_loadu_pd(a), c1 = _mm256_loadu_pd(a + lda);
  __m256d c2 = _mm256_loadu_pd(a + 2 * static_cast<std::ptrdiff_t>(lda));
  __m256d c3 = _mm256_loadu_pd(a + 3 * static_cast<std::ptrdiff_t>(lda));
  if (Scale) {
    const __m256d s = _mm256_set1_pd(alpha);
    c0 = _mm256_mul_pd(c0, s);
    c1 = _mm256_mul_pd(c1, s);
    c2 = _mm256_mul_pd(c2, s);
    c3 = _mm256_mul_pd(c3, s);
  }
  const __m256d lo01 = _mm256_unpacklo_pd(c0, c1), hi01 = _mm256_unpackhi_pd(c0, c1);
  const __m256d lo23 = _mm256_unpacklo_pd(c2, c3), hi23 = _mm256_unpackhi_pd(c2, c3);
  _mm256_storeu_pd(b, _mm256_permute2f128_pd(lo01, lo23, 0x20));
  _mm256_storeu_pd(b + ldb, _mm256_permute2f128_pd(hi01, hi23, 0x20));
  _mm256_storeu_pd(b + 2 * static_cast<std::ptrdiff_t>(ldb),
                   _mm256_permute2f128_pd(lo01, lo23, 0x31));
  _mm256_storeu_pd(b + 3 * static_cast<std::ptrdiff_t>(ldb),
                   _mm256_permute2f128_pd(hi01, hi23, 0x31));
#else
  const __m128d s = _mm_set1_pd(alpha);
  for (int i = 0; i < kTile; i += 2) {
    for (int j = 0; j < kTile; j += 2) {
      __m128d x = _mm_loadu_pd(a + at(i, j, lda)), y = _mm_loadu_pd(a + at(i, j + 1, lda));
      if (Scale) {
        x = _mm_mul_pd(x, s);
        y = _mm_mul_pd(y, s);
      }
      _mm_storeu_pd(b + at(j, i, ldb), _mm_unpacklo_pd(x, y));
      _mm_storeu_pd(b + at(j, i + 1, ldb), _mm_unpackhi_pd(x, y));
    }
  }
#endif
}

template <bool Scale>
inline void entry(const double* src, double* dst, double alpha) {
  *dst = Scale ? alpha * *src : *src;
}

// One block of at most kBlock x kBlock: full tiles through the shuffles, the ragged right
// and bottom edges entry by entry.
template <bool Scale>
void block_transposed(int r0, int r1, int c0, int c1, double alpha, const double* a, int lda,
                      double* b, int ldb) {
  const int r4 = r0 + (r1 - r0) / kTile * kTile, c4 = c0 + (c1 - c0) / kTile * kTile;
  for (int j = c0; j < c4; j += kTile) {
    for (int i = r0; i < r4; i += kTile)
      tile_transposed<Scale>(a + at(i, j, lda), lda, b + at(j, i, ldb), ldb, alpha);
    for (int jj = j; jj < j + kTile; ++jj)
      for (int i = r4; i < r1; ++i) entry<Scale>(a + at(i, jj, lda), b + at(jj, i, ldb), alpha);
  }
  for (int j = c4; j < c1; ++j)
    for (int i = r0; i < r1; ++i) entry<Scale>(a + at(i, j, lda), b + at(j, i, ldb), alpha);
}

template <bool Scale>
void block_plain(int r0, int r1, int c0, int c1, double alpha, const double* a, int lda, double* b,
                 int ldb) {
  for (int j = c0; j < c1; ++j)
    for (int i = r0; i < r1; ++i) entry<Scale>(a + at(i, j, lda), b + at(i, j, ldb), alpha);
}

// Column-major view: a is rows x cols with leading dimension lda.  transpose: b(j, i) = a(i, j),
// else b(i, j) = a(i, j).
template <bool Scale>
void copy_rec(bool transpose, int r0, int r1, int c0, int c1, double alpha, const double* a,
              int lda, double* b, int ldb) {
  const int rows = r1 - r0, cols = c1 - c0;
  if (rows > kBlock || cols > kBlock) {
    if (rows > cols) {
      const int mid = r0 + rows / 2;
      copy_rec<Scale>(transpose, r0, mid, c0, c1, alpha, a, lda, b, ldb);
      copy_rec<Scale>(transpose, mid, r1, c0, c1, alpha, a, lda, b, ldb);
    } else {
      const int mid = c0 + cols / 2;
      copy_rec<Scale>(transpose, r0, r1, c0, mid, alpha, a, lda, b, ldb);
      copy_rec<Scale>(transpose, r0, r1, mid, c1, alpha, a, lda, b, ldb);
    }
    return;
  }
  if (transpose) {
    block_transposed<Scale>(r0, r1, c0, c1, alpha, a, lda, b, ldb);
  } else {
    block_plain<Scale>(r0, r1, c0, c1, alpha, a, lda, b, ldb);
  }
}

}  // namespace

void transpose_copy(char ordering, char operation, int rows, int cols, double alpha,
                    const double* a, int lda, double* b, int ldb) {
  // Row-major data is the column-major view of the transposed shape.
  const bool column_major = ordering == 'C' || ordering == 'c';
  const int r = column_major ? rows : cols;
  const int c = column_major ? cols : rows;
  const bool transpose =
      operation == 'T' || operation == 't' || operation == 'C' || operation == 'c';
  if (r <= 0 || c <= 0) return;
  // alpha = 1 copies without multiplying, so NaN and infinity pass through unchanged.
  if (alpha == 1.0) {
    copy_rec<false>(transpose, 0, r, 0, c, alpha, a, lda, b, ldb);
  } else {
    copy_rec<true>(transpose, 0, r, 0, c, alpha, a, lda, b, ldb);
  }
}

}  // namespace ztr::kernels::ZTR_VARIANT_NS
