#include "sparse_solver/dense/complex_products.h"

#include <omp.h>

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <type_traits>

#include "blas/gemm/gemm_dispatch.h"
#include "blas/templates/tblas.h"
#include "service/letters.h"
#include "service/cpu.h"
#include "service/memory.h"
#include "service/threads.h"

namespace ztr::dense {
namespace {

using Cd = std::complex<double>;
using Index = std::ptrdiff_t;

// Below about this many complex multiply-adds the templates are as fast as the copies and
// the real multiplies together (measured by bench/bench_complex_blocks.cpp on m x k x k
// products and solves; the single-precision templates are the faster ones, so they keep
// larger products).
constexpr double kSplitProductMin[2] = {8192.0, 32768.0};  // double, float
constexpr double kSplitSolveMin[2] = {12288.0, 32768.0};
// Rows of C (or of the solve's right-hand sides) handled per pass: the split copy of the
// strip and its product stay in the level-2 cache, and the multiply still runs on tall
// enough blocks.
constexpr int kStripRows = 256;
// Solves and multiplies of at least this many multiply-adds are shared among the BLAS
// domain's threads by rows, each slice at least kMinSliceRows rows.
constexpr double kThreadedMin = 2097152.0;  // 128^3
constexpr int kMinSliceRows = 64;
// Column blocks of the triangular solve: the diagonal blocks are solved by a register-tiled
// loop, everything else is multiplies.
constexpr int kSolveBlock = 8;
// Most rows of the diagonal blocks' substitution kept in registers at once.
constexpr int kMaxTileRows = 16;
// Column blocks of the rank-k update (only the diagonal blocks' upper parts are wasted).
constexpr int kRankBlock = 32;

template <typename R>
const R* raw(const std::complex<R>* p) {
  return reinterpret_cast<const R*>(p);
}
template <typename R>
R* raw(std::complex<R>* p) {
  return reinterpret_cast<R*>(p);
}

// A scratch block of `count` doubles from the calling thread's pool; freed on every path.
class Scratch {
 public:
  explicit Scratch(Index count)
      : p_(static_cast<double*>(
            mm_malloc(static_cast<std::size_t>(count) * sizeof(double), kWorkAlignment))) {}
  ~Scratch() { mm_free(p_); }
  Scratch(const Scratch&) = delete;
  Scratch& operator=(const Scratch&) = delete;
  double* get() const { return p_; }

 private:
  double* p_;
};

// C := alpha*op(A)*op(B) + beta*C in double precision on the calling thread.
void real_product(char ta, char tb, int m, int n, int k, double alpha, const double* a, int lda,
                  const double* b, int ldb, double beta, double* c, int ldc) {
  g_gemm_serial(&ta, &tb, &m, &n, &k, &alpha, a, &lda, b, &ldb, &beta, c, &ldc);
}

// re := sr * re(src), im := si * im(src) for a rows x cols block (column-major both).
template <typename R>
void split_block(int rows, int cols, const std::complex<R>* src, Index ld, double* re, double* im,
                 Index ldd, double sr, double si) {
  for (Index j = 0; j < cols; ++j) {
    const R* s = raw(src + j * ld);
    double* r = re + j * ldd;
    double* i = im + j * ldd;
    for (Index t = 0; t < rows; ++t) {
      r[t] = sr * static_cast<double>(s[2 * t]);
      i[t] = si * static_cast<double>(s[2 * t + 1]);
    }
  }
}

// C := alpha*P + beta*C, P = pr + i*pi (h x n, leading dimension ldp); beta = 0 does not read
// C.  The common cases are exact additions.
template <typename R>
void merge_block(int h, int n, const double* pr, const double* pi, Index ldp, Cd alpha, Cd beta,
                 std::complex<R>* c, Index ldc) {
  const double ar = alpha.real(), ai = alpha.imag(), br = beta.real(), bi = beta.imag();
  for (Index j = 0; j < n; ++j) {
    R* cj = raw(c + j * ldc);
    const double* xr = pr + j * ldp;
    const double* xi = pi + j * ldp;
    if (beta == 0.0 && alpha == 1.0) {
      for (Index t = 0; t < h; ++t)
        cj[2 * t] = static_cast<R>(xr[t]), cj[2 * t + 1] = static_cast<R>(xi[t]);
    } else if (beta == 0.0) {
      for (Index t = 0; t < h; ++t) {
        cj[2 * t] = static_cast<R>(ar * xr[t] - ai * xi[t]);
        cj[2 * t + 1] = static_cast<R>(ar * xi[t] + ai * xr[t]);
      }
    } else if (beta == 1.0 && (alpha == 1.0 || alpha == -1.0)) {
      for (Index t = 0; t < h; ++t) {
        cj[2 * t] = static_cast<R>(static_cast<double>(cj[2 * t]) + ar * xr[t]);
        cj[2 * t + 1] = static_cast<R>(static_cast<double>(cj[2 * t + 1]) + ar * xi[t]);
      }
    } else {
      for (Index t = 0; t < h; ++t) {
        const double cr = cj[2 * t], ci = cj[2 * t + 1];
        cj[2 * t] = static_cast<R>(ar * xr[t] - ai * xi[t] + (br * cr - bi * ci));
        cj[2 * t + 1] = static_cast<R>(ar * xi[t] + ai * xr[t] + (br * ci + bi * cr));
      }
    }
  }
}

// The BLAS domain's threads for `work` multiply-adds over `rows` independent rows.
int row_threads(double work, int rows) {
  if (work < kThreadedMin) return 1;
  return std::max(1, std::min(domain_max_threads(kDomainBlas), rows / kMinSliceRows));
}

// Part `part` of `parts` of 0..total in multiples of 8.
void slice(int total, int parts, int part, int* begin, int* count) {
  const int share = total / parts / 8 * 8;
  *begin = share * part;
  *count = part == parts - 1 ? total - *begin : share;
}

// Runs body(begin, count) on slices of 0..rows, on `threads` threads.
template <typename Body>
void for_slices(int rows, int threads, Body body) {
  if (threads <= 1) return body(0, rows);
#pragma omp parallel num_threads(threads)
  {
    int begin, count;
    slice(rows, omp_get_num_threads(), omp_get_thread_num(), &begin, &count);
    if (count > 0) body(begin, count);
  }
}

// ---- the multiply

// The three forms of the multiply.  kSplit: op(A) is copied into [re op(A)  im op(A)] for
// each row strip, and the two real products P = re, im go to C through one pass.  For
// complex<double> A is read where it is, as the real matrix of twice its rows (op 'N') or
// of twice its columns (op 'T'/'C'):
//   kInPlace (op(A) = A, alpha and beta real): C too is read as the real 2m x n matrix of
//     its rows' real and imaginary parts; C := alpha*[A]*re op(B) + beta*C goes straight
//     into C, and the product T = [A]*im op(B) (re A im B over im A im B, row by row) is
//     then added with its rows paired: re C -= alpha*(im A im B), im C += alpha*(re A im B);
//   kView (op(A) = A' or A^H): [A]' has the columns re A(p, :), im A(p, :) in turn, so the
//     two real products are taken against op(B) with its rows paired the same way.
enum class Form { kSplit, kInPlace, kView };

// op(B) once for every row strip.  kSplit: b1 = [re; -im], b2 = [im; re] along the inner
// dimension (for op 'T'/'C' in B's own n x k layout, passed to the multiply transposed).
// kInPlace: b1 = re op(B), b2 = im op(B) (likewise).  kView: b1 and b2 2k x n, row 2p of b1
// re op(B)(p, :) and row 2p + 1 -s im op(B)(p, :), of b2 im op(B)(p, :) and s re op(B)(p, :),
// s = -1 for op(A) = A^H, else 1.
struct SplitRight {
  char tb;
  int ld;
  const double* b1;
  const double* b2;
};

template <typename R>
SplitRight split_right(Form form, char transa, char transb, int n, int k, const std::complex<R>* b,
                       int ldb, double* buf) {
  const bool plain = same_letter(transb, 'N');
  const double s = same_letter(transb, 'C') ? -1.0 : 1.0;
  const Index nk = static_cast<Index>(n) * k;
  double* b1 = buf;
  double* b2 = buf + 2 * nk;
  if (form == Form::kView) {
    const double sa = same_letter(transa, 'C') ? -1.0 : 1.0;
    for (Index j = 0; j < n; ++j)
      for (Index p = 0; p < k; ++p) {
        const std::complex<R> v = plain ? b[p + j * ldb] : b[j + p * ldb];
        const double re = v.real(), im = s * static_cast<double>(v.imag());
        b1[2 * p + j * 2 * k] = re;
        b1[2 * p + 1 + j * 2 * k] = -sa * im;
        b2[2 * p + j * 2 * k] = im;
        b2[2 * p + 1 + j * 2 * k] = sa * re;
      }
    return {'N', 2 * k, b1, b2};
  }
  if (form == Form::kInPlace) {
    if (plain)
      split_block(k, n, b, ldb, b1, b2, k, 1.0, 1.0);
    else
      split_block(n, k, b, ldb, b1, b2, n, 1.0, s);
    return {plain ? 'N' : 'T', plain ? k : n, b1, b2};
  }
  if (plain) {
    split_block(k, n, b, ldb, b1, b1 + k, 2 * k, 1.0, -1.0);
    split_block(k, n, b, ldb, b2 + k, b2, 2 * k, 1.0, 1.0);
    return {'N', 2 * k, b1, b2};
  }
  split_block(n, k, b, ldb, b1, b1 + nk, n, 1.0, -s);
  split_block(n, k, b, ldb, b2 + nk, b2, n, 1.0, s);
  return {'T', n, b1, b2};
}

// Rows [i0, i0 + rows) of C := alpha*op(A)*op(B) + beta*C, in strips; false when the strip
// buffers could not be had (nothing touched).
template <typename R>
bool gemm_rows(Form form, char transa, int i0, int rows, int n, int k, Cd alpha,
               const std::complex<R>* a, int lda, const SplitRight& right, Cd beta,
               std::complex<R>* c, int ldc) {
  const int hmax = std::min(rows, kStripRows);
  const Index strip = static_cast<Index>(hmax) * n;
  Scratch buf(form == Form::kSplit ? 2 * strip + 2 * static_cast<Index>(hmax) * k : 2 * strip);
  if (buf.get() == nullptr) return false;
  double* pr = buf.get();
  double* pi = pr + strip;
  double* ah = pi + strip;
  const bool plain = same_letter(transa, 'N');
  const double s = same_letter(transa, 'C') ? -1.0 : 1.0;
  for (int r = i0; r < i0 + rows; r += hmax) {
    const int h = std::min(hmax, i0 + rows - r);
    if constexpr (std::is_same_v<R, double>) {
      if (form == Form::kInPlace) {
        const double ar = alpha.real();
        double* cv = raw(c + r);
        const double* av = raw(a + r);
        real_product('N', right.tb, 2 * h, n, k, ar, av, 2 * lda, right.b1, right.ld, beta.real(),
                     cv, 2 * ldc);
        real_product('N', right.tb, 2 * h, n, k, 1.0, av, 2 * lda, right.b2, right.ld, 0.0, pr,
                     2 * h);
        for (Index j = 0; j < n; ++j) {
          double* cj = cv + 2 * j * ldc;
          const double* tj = pr + 2 * j * h;
          for (Index t = 0; t < h; ++t) {
            cj[2 * t] -= ar * tj[2 * t + 1];
            cj[2 * t + 1] += ar * tj[2 * t];
          }
        }
        continue;
      }
      if (form == Form::kView) {
        const double* av = raw(a + static_cast<Index>(r) * lda);
        real_product('T', 'N', h, n, 2 * k, 1.0, av, 2 * lda, right.b1, right.ld, 0.0, pr, h);
        real_product('T', 'N', h, n, 2 * k, 1.0, av, 2 * lda, right.b2, right.ld, 0.0, pi, h);
        merge_block(h, n, pr, pi, h, alpha, beta, c + r, ldc);
        continue;
      }
    }
    // [re op(A) im op(A)] for the strip: h x 2k, or its transpose 2k x h.
    int ld;
    if (plain) {
      split_block(h, k, a + r, lda, ah, ah + static_cast<Index>(h) * k, h, 1.0, 1.0);
      ld = h;
    } else {
      split_block(k, h, a + static_cast<Index>(r) * lda, lda, ah, ah + k, 2 * k, 1.0, s);
      ld = 2 * k;
    }
    const char ta = plain ? 'N' : 'T';
    real_product(ta, right.tb, h, n, 2 * k, 1.0, ah, ld, right.b1, right.ld, 0.0, pr, h);
    real_product(ta, right.tb, h, n, 2 * k, 1.0, ah, ld, right.b2, right.ld, 0.0, pi, h);
    merge_block(h, n, pr, pi, h, alpha, beta, c + r, ldc);
  }
  return true;
}

// ---- the triangular solve, as X*M = B with M = op(A) (side 'R') or op(A)' (side 'L')

// The split copies of M: its plain parts for the diagonal blocks, and the real 2p x 2p form
// of the multiplies.  X's columns are in block order (each column block keeps its real parts
// and then its imaginary parts), and X*M in real arithmetic is X*mh: column re(j) of mh holds
// re M(i, j) at row re(i) and -im M(i, j) at row im(i), column im(j) holds im M(i, j) at
// re(i) and re M(i, j) at im(i).
struct SplitTriangle {
  int p;
  bool lower, unit, wide;
  const double *mr, *mi, *mh;
};

// The position of column j's real part among X's columns (and of its row among the stacked
// rows of M); its imaginary part follows the block's real parts.
inline Index re_pos(int j) {
  return j + j / kSolveBlock * kSolveBlock;
}
inline Index im_pos(int j, int p) {
  const int j0 = j / kSolveBlock * kSolveBlock;
  return j + j0 + std::min(kSolveBlock, p - j0);
}

// Solves the diagonal block of columns [j0, j0 + w) for h rows of X in place (X's real parts
// of the block at xr, the imaginary ones at xi, leading dimension h), W rows at a time.
template <int W>
[[gnu::always_inline]] inline void solve_tile(const SplitTriangle& t, int j0, int w, int r, int rn,
                                              double* xr, double* xi, Index h, const Cd* inv) {
  const int rows = W > 0 ? W : rn;
  const Index p = t.p;
  for (int step = 0; step < w; ++step) {
    const int jj = t.lower ? w - 1 - step : step;
    double sr[W > 0 ? W : kMaxTileRows], si[W > 0 ? W : kMaxTileRows];
    double* yr = xr + jj * h + r;
    double* yi = xi + jj * h + r;
    for (int q = 0; q < rows; ++q) sr[q] = yr[q], si[q] = yi[q];
    const int lo = t.lower ? jj + 1 : 0, hi = t.lower ? w : jj;
    for (int ii = lo; ii < hi; ++ii) {
      const Index at = (j0 + ii) + (j0 + jj) * p;
      const double mr = t.mr[at], mi = t.mi[at];
      const double* vr = xr + ii * h + r;
      const double* vi = xi + ii * h + r;
      for (int q = 0; q < rows; ++q) {
        sr[q] -= vr[q] * mr - vi[q] * mi;
        si[q] -= vr[q] * mi + vi[q] * mr;
      }
    }
    if (!t.unit) {
      const double dr = inv[jj].real(), di = inv[jj].imag();
      for (int q = 0; q < rows; ++q) {
        const double a = sr[q], b = si[q];
        sr[q] = a * dr - b * di;
        si[q] = a * di + b * dr;
      }
    }
    for (int q = 0; q < rows; ++q) yr[q] = sr[q], yi[q] = si[q];
  }
}

// The diagonal block of columns [j0, j0 + w) for all h rows, W rows at a time: W = 8 fills
// half the SSE2 registers with the sums, 16 half the AVX ones.
template <int W>
[[gnu::always_inline]] inline void solve_tiles(const SplitTriangle& t, int j0, int w, Index h,
                                               double* xr, double* xi, const Cd* inv) {
  int r = 0;
  for (; r + W <= h; r += W) solve_tile<W>(t, j0, w, r, W, xr, xi, h, inv);
  if (r < h) solve_tile<0>(t, j0, w, r, static_cast<int>(h - r), xr, xi, h, inv);
}
void solve_diagonal(const SplitTriangle& t, int j0, int w, Index h, double* xr, double* xi,
                    const Cd* inv) {
  solve_tiles<8>(t, j0, w, h, xr, xi, inv);
}
// The same compiled for AVX2, taken where the library's processor type has it.
[[gnu::target("avx2")]] void solve_diagonal_wide(const SplitTriangle& t, int j0, int w, Index h,
                                                 double* xr, double* xi, const Cd* inv) {
  solve_tiles<kMaxTileRows>(t, j0, w, h, xr, xi, inv);
}

// X := X * inv(M) on columns [j0, j1) of h rows of X (h x 2p, leading dimension h, in block
// order), j0 on a block boundary, by halves: the half solved first (the leading one for an
// upper M, the trailing one for a lower M) is taken off the other one as one real multiply
// of inner dimension twice its width, down to single blocks.
void solve_range(const SplitTriangle& t, int h, double* x, const Cd* inv, int j0, int j1) {
  const int blocks = (j1 - j0 + kSolveBlock - 1) / kSolveBlock;
  if (blocks == 1) {
    double* xr = x + 2 * static_cast<Index>(j0) * h;
    double* xi = xr + static_cast<Index>(j1 - j0) * h;
    if (t.wide)
      solve_diagonal_wide(t, j0, j1 - j0, h, xr, xi, inv + j0);
    else
      solve_diagonal(t, j0, j1 - j0, h, xr, xi, inv + j0);
    return;
  }
  const int mid = j0 + blocks / 2 * kSolveBlock;
  const int f0 = t.lower ? mid : j0, f1 = t.lower ? j1 : mid;  // solved first
  const int s0 = t.lower ? j0 : mid, s1 = t.lower ? mid : j1;
  solve_range(t, h, x, inv, f0, f1);
  const Index ldm = 2 * static_cast<Index>(t.p);
  real_product('N', 'N', h, 2 * (s1 - s0), 2 * (f1 - f0), -1.0, x + 2 * static_cast<Index>(f0) * h,
               h, t.mh + 2 * static_cast<Index>(f0) + 2 * s0 * ldm, ldm, 1.0,
               x + 2 * static_cast<Index>(s0) * h, h);
  solve_range(t, h, x, inv, s0, s1);
}

// Rows [r0, r0 + rows) of X*M = B, in strips; false when the strip buffer could not be had
// (nothing touched).  X(r, j) is B(r, j) for side 'R' and B(j, r) for side 'L'.
template <typename R>
bool solve_rows(const SplitTriangle& t, bool left, int r0, int rows, const Cd* inv,
                std::complex<R>* b, int ldb) {
  const int p = t.p, hmax = std::min(rows, kStripRows);
  Scratch buf(static_cast<Index>(hmax) * 2 * p);
  if (buf.get() == nullptr) return false;
  double* x = buf.get();
  for (int r = r0; r < r0 + rows; r += hmax) {
    const int h = std::min(hmax, r0 + rows - r);
    for (int j = 0; j < p; ++j) {
      double* xr = x + re_pos(j) * h;
      double* xi = x + im_pos(j, p) * h;
      if (left) {
        const std::complex<R>* s = b + j + static_cast<Index>(r) * ldb;
        for (Index q = 0; q < h; ++q) xr[q] = s[q * ldb].real(), xi[q] = s[q * ldb].imag();
      } else {
        const R* s = raw(b + r + static_cast<Index>(j) * ldb);
        for (Index q = 0; q < h; ++q) xr[q] = s[2 * q], xi[q] = s[2 * q + 1];
      }
    }
    solve_range(t, h, x, inv, 0, p);
    for (int j = 0; j < p; ++j) {
      const double* xr = x + re_pos(j) * h;
      const double* xi = x + im_pos(j, p) * h;
      if (left) {
        std::complex<R>* d = b + j + static_cast<Index>(r) * ldb;
        for (Index q = 0; q < h; ++q)
          d[q * ldb] = std::complex<R>(static_cast<R>(xr[q]), static_cast<R>(xi[q]));
      } else {
        R* d = raw(b + r + static_cast<Index>(j) * ldb);
        for (Index q = 0; q < h; ++q)
          d[2 * q] = static_cast<R>(xr[q]), d[2 * q + 1] = static_cast<R>(xi[q]);
      }
    }
  }
  return true;
}

}  // namespace

bool split_product_pays(bool single, int m, int n, int k) {
  return static_cast<double>(m) * n * k >= kSplitProductMin[single] && std::min(m, n) >= 4 &&
         k >= 4;
}

bool split_solve_pays(bool single, int rows, int order) {
  return static_cast<double>(rows) * order * order >= kSplitSolveMin[single] && order >= 4 &&
         rows >= 4;
}

template <typename R>
bool split_gemm(char transa, char transb, int m, int n, int k, std::complex<R> alpha,
                const std::complex<R>* a, int lda, const std::complex<R>* b, int ldb,
                std::complex<R> beta, std::complex<R>* c, int ldc) {
  const Cd al(alpha), be(beta);
  const bool plain = same_letter(transa, 'N');
  Form form = Form::kSplit;
  if constexpr (std::is_same_v<R, double>)
    form = !plain ? Form::kView : al.imag() == 0 && be.imag() == 0 ? Form::kInPlace : Form::kSplit;
  Scratch right_buf(4 * static_cast<Index>(n) * k);
  if (right_buf.get() == nullptr) return false;
  const SplitRight right = split_right(form, transa, transb, n, k, b, ldb, right_buf.get());
  for_slices(m, row_threads(static_cast<double>(m) * n * k, m), [&](int begin, int count) {
    if (gemm_rows(form, transa, begin, count, n, k, al, a, lda, right, be, c, ldc)) return;
    tblas::gemm<std::complex<R>>(transa, transb, count, n, k, alpha,
                                 plain ? a + begin : a + static_cast<Index>(begin) * lda, lda, b,
                                 ldb, beta, c + begin, ldc);
  });
  return true;
}

template <typename R>
bool split_herk_lower(int n, int k, R alpha, const std::complex<R>* a, int lda, R beta,
                      std::complex<R>* c, int ldc) {
  const Index nk = static_cast<Index>(n) * k;
  const int nb = std::min(n, kRankBlock);
  Scratch buf(4 * nk + 2 * static_cast<Index>(n) * nb);
  if (buf.get() == nullptr) return false;
  // ah = [re A  im A] and a2 = [-im A  re A] (n x 2k): re(A*A^H) = ah*ah',
  // im(A*A^H) = ah*a2'.
  double* ah = buf.get();
  double* a2 = ah + 2 * nk;
  double* pr = a2 + 2 * nk;
  double* pi = pr + static_cast<Index>(n) * nb;
  split_block(n, k, a, lda, ah, ah + nk, n, 1.0, 1.0);
  split_block(n, k, a, lda, a2 + nk, a2, n, 1.0, -1.0);
  const double al = alpha, be = beta;
  for (int j0 = 0; j0 < n; j0 += nb) {
    const int w = std::min(nb, n - j0), h = n - j0;
    real_product('N', 'T', h, w, 2 * k, 1.0, ah + j0, n, ah + j0, n, 0.0, pr, h);
    real_product('N', 'T', h, w, 2 * k, 1.0, ah + j0, n, a2 + j0, n, 0.0, pi, h);
    for (int jj = 0; jj < w; ++jj) {
      R* cj = raw(c + j0 + static_cast<Index>(j0 + jj) * ldc);
      const double* xr = pr + static_cast<Index>(jj) * h;
      const double* xi = pi + static_cast<Index>(jj) * h;
      // The diagonal entry: real.
      const double d = al * xr[jj] + (be == 0.0 ? 0.0 : be * static_cast<double>(cj[2 * jj]));
      cj[2 * jj] = static_cast<R>(d);
      cj[2 * jj + 1] = R(0);
      for (Index t = jj + 1; t < h; ++t) {
        const double cr = be == 0.0 ? 0.0 : be * static_cast<double>(cj[2 * t]);
        const double ci = be == 0.0 ? 0.0 : be * static_cast<double>(cj[2 * t + 1]);
        cj[2 * t] = static_cast<R>(al * xr[t] + cr);
        cj[2 * t + 1] = static_cast<R>(al * xi[t] + ci);
      }
    }
  }
  return true;
}

template <typename R>
bool split_trsm(char side, char uplo, char trans, char diag, int m, int n, const std::complex<R>* a,
                int lda, std::complex<R>* b, int ldb) {
  const bool left = same_letter(side, 'L');
  const bool transposed = !same_letter(trans, 'N');
  const bool conj = same_letter(trans, 'C');
  const bool unit = same_letter(diag, 'U');
  const bool op_lower = same_letter(uplo, 'L') != transposed;
  const int p = left ? m : n, rows = left ? n : m;
  const Index pp = static_cast<Index>(p) * p;
  Scratch buf(6 * pp + 2 * static_cast<Index>(p));
  if (buf.get() == nullptr) return false;
  double* mr = buf.get();
  double* mi = mr + pp;
  double* mh = mi + pp;
  Cd* inv = reinterpret_cast<Cd*>(mh + 4 * pp);
  std::memset(mr, 0, 6 * pp * sizeof(double));
  const SplitTriangle t{p, op_lower != left, unit, detect_cpu_type() >= 7, mr, mi, mh};
  // M(i, j) is op(A)(i, j) (side 'R') or op(A)(j, i) (side 'L'), that is A(i, j) or A(j, i),
  // conjugated for 'C'; only its triangle is read.
  const bool swap = left != transposed;
  const Index ldm = 2 * static_cast<Index>(p);
  for (int j = 0; j < p; ++j) {
    const int lo = t.lower ? j : 0, hi = t.lower ? p : j + 1;
    for (int i = lo; i < hi; ++i) {
      Cd v;
      if (i == j && unit) {
        v = 1.0;
      } else {
        const std::complex<R> e =
            swap ? a[j + static_cast<Index>(i) * lda] : a[i + static_cast<Index>(j) * lda];
        v = Cd(e.real(), conj ? -e.imag() : e.imag());
      }
      const Index at = i + static_cast<Index>(j) * p;
      mr[at] = v.real();
      mi[at] = v.imag();
      const Index jr = re_pos(j) * ldm, ji = im_pos(j, p) * ldm;
      mh[re_pos(i) + jr] = v.real();
      mh[im_pos(i, p) + jr] = -v.imag();
      mh[re_pos(i) + ji] = v.imag();
      mh[im_pos(i, p) + ji] = v.real();
      if (i == j) inv[j] = unit ? Cd(1.0) : 1.0 / v;
    }
  }
  const double work = static_cast<double>(rows) * p * p;
  for_slices(rows, row_threads(work, rows), [&](int begin, int count) {
    if (solve_rows(t, left, begin, count, inv, b, ldb)) return;
    if (left)
      tblas::trsm<std::complex<R>>(side, uplo, trans, diag, m, count, std::complex<R>(1), a, lda,
                                   b + static_cast<Index>(begin) * ldb, ldb);
    else
      tblas::trsm<std::complex<R>>(side, uplo, trans, diag, count, n, std::complex<R>(1), a, lda,
                                   b + begin, ldb);
  });
  return true;
}

#define ZTR_INSTANTIATE_SPLIT(R)                                                                   \
  template bool split_gemm<R>(char, char, int, int, int, std::complex<R>, const std::complex<R>*,  \
                              int, const std::complex<R>*, int, std::complex<R>, std::complex<R>*, \
                              int);                                                                \
  template bool split_herk_lower<R>(int, int, R, const std::complex<R>*, int, R, std::complex<R>*, \
                                    int);                                                          \
  template bool split_trsm<R>(char, char, char, char, int, int, const std::complex<R>*, int,       \
                              std::complex<R>*, int);
ZTR_INSTANTIATE_SPLIT(float)
ZTR_INSTANTIATE_SPLIT(double)
#undef ZTR_INSTANTIATE_SPLIT

}  // namespace ztr::dense
