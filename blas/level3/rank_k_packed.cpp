// Symmetric rank-k and rank-2k updates on the packed panels of the blocked multiply.
//
// Handing every rectangle and diagonal block of the triangle to a multiply of its own packs
// the same rows of op(A) again for each piece, and forms each diagonal block whole, twice its
// triangle's work.  Here the loops of the multiply run over the triangle itself: op(A) is
// packed once per K block, the kernel driver of the processor variant is called on the
// parts of the packed panels that lie in the triangle, and a diagonal block costs only the
// upper (or lower) half of an 8 x 8 block per eight columns beyond its triangle.
#include "blas/level3/rank_k_packed.h"

#include <algorithm>

#include "blas/gemm/gemm_dispatch.h"
#include "blas/gemm/gemm_params.h"
#include "blas/level3/level3_common.h"
#include "service/letters.h"
#include "service/memory.h"

namespace ztr::level3 {
namespace {

// Columns of a strip: the rectangle beside a strip's diagonal block is one kernel call this
// wide, enough for the kernels to reuse a group of packed A slivers over several B slivers.
constexpr int kStrip = 32;
// Rows of the widest packed A sliver: every kernel call starts on a multiple of it (from the
// first packed row), and the diagonal block is computed this many columns at a time.
constexpr int kAlign = 8;
static_assert(kGranule % kAlign == 0, "threads' column ranges must start on a sliver");

// One K block of one product term, packed: rows [ii, ii + mb) of the first operand and the
// columns from jj of the second.
struct PackedBlock {
  bool upper;
  const GemmKernelParams& p;
  int ii, mb, jj, kbp;
  double beta;  // beta*C + product on the first term of the first K block, else C + product
  double* c;
  int ldc;

  // Rows [r0, r1) by columns [c0, c1) of the product into out (leading dimension ldo):
  // beta_out*out + product.
  void product(int r0, int r1, int c0, int c1, double beta_out, double* out, int ldo) const {
    if (r1 <= r0 || c1 <= c0) return;
    const double* a = p.a_buf + static_cast<long>((r0 - ii) / p.min_m) * p.a_stride;
    const double* b = p.b_buf + static_cast<long>((c0 - jj) / p.min_n) * p.b_stride;
    p.kernel_fn('N', 'N', r1 - r0, c1 - c0, kbp, 1.0, a, p.a_stride, b, p.b_stride, beta_out, out,
                ldo, p.edge_buf, kGemmBPacked);
  }

  // Rows [r0, r1) (at most kStrip) of columns [c0, c1) (at most kAlign) in a scratch tile,
  // of which only the entries in the triangle are added to C.
  void diagonal(int r0, int r1, int c0, int c1) const {
    if (r1 <= r0) return;
    alignas(64) double s[kStrip * kAlign];
    const int lds = r1 - r0;
    product(r0, r1, c0, c1, 0.0, s, lds);
    for (int j = c0; j < c1; ++j) {
      const int lo = upper ? r0 : std::max(r0, j), hi = upper ? std::min(r1, j + 1) : r1;
      double* cj = c + static_cast<long>(j) * ldc;
      const double* sj = s + static_cast<long>(j - c0) * lds - r0;
      for (int i = lo; i < hi; ++i) {
        const double old = beta == 0.0 ? 0.0 : beta == 1.0 ? cj[i] : beta * cj[i];
        cj[i] = old + sj[i];
      }
    }
  }

  // The packed rows' share of columns [cj, ce): the diagonal block [cj, ce)^2 and the full
  // rectangle above (upper) or below (lower) it.
  void strip(int cj, int ce) const {
    const int end = ii + mb;
    if (upper) {
      const int r1 = std::min(cj, end);
      product(ii, r1, cj, ce, beta, c + ii + static_cast<long>(cj) * ldc, ldc);
      for (int c0 = cj; c0 < ce; c0 += kAlign) {
        const int c1 = std::min(c0 + kAlign, ce);
        diagonal(std::max(cj, ii), std::min(c1, end), c0, c1);
      }
      return;
    }
    for (int c0 = cj; c0 < ce; c0 += kAlign) {
      const int c1 = std::min(c0 + kAlign, ce);
      diagonal(std::max(c0, ii), std::min(ce, end), c0, c1);
    }
    const int r0 = std::max(ce, ii);
    product(r0, end, cj, ce, beta, c + r0 + static_cast<long>(cj) * ldc, ldc);
  }
};

}  // namespace

PackedRankK rank_k_packed(bool upper, char trans, int n, int k, double alpha, const double* a,
                          int lda, const double* b, int ldb, double beta, double* c, int ldc,
                          int j0, int j1) {
  if (g_gemm_blocked_available() == 0) return PackedRankK::kNoBlockedMultiply;
  if (j1 <= j0) return PackedRankK::kDone;
  GemmKernelParams p;
  g_gemm_params_init(&p);
  const int cols = j1 - j0, rows = upper ? j1 : n - j0;
  p.block_size_fn(&p, rows, cols, k);
  // Row and column blocks start on strip boundaries, so that no diagonal block is cut.
  p.mc = std::max(kStrip, p.mc / kStrip * kStrip);
  p.nc = gemm_round_up(p.nc, kStrip);
  p.buffer_size_fn(&p, kGemmBufAll, kGemmBoundByProblem, rows, cols, k);
  void* raw = p.buffer_alloc_fn(&p, kGemmBufAll);
  if (raw == nullptr) return PackedRankK::kNoMemory;

  const bool notrans = same_letter(trans, 'N');
  const GemmPackAFn pack_a = notrans ? p.pack_a_n_fn : p.pack_a_t_fn;
  const GemmPackBFn pack_b = notrans ? p.pack_b_t_fn : p.pack_b_n_fn;
  // op(X)(i, q) of the first operand, and the same entry as op(X)'(q, i) of the second.
  auto at = [notrans](const double* x, int ldx, int i, int q) {
    return notrans ? x + i + static_cast<long>(q) * ldx : x + q + static_cast<long>(i) * ldx;
  };
  const int terms = b == nullptr ? 1 : 2;
  for (int jj = j0; jj < j1; jj += p.nc) {
    const int je = std::min(jj + p.nc, j1);
    const int rb = upper ? 0 : jj, re = upper ? je : n;
    for (int kk = 0; kk < k; kk += p.kc) {
      const int kb = std::min(p.kc, k - kk), kbp = gemm_round_up(kb, p.k_granule);
      p.a_stride = p.min_m * kbp;
      p.b_stride = p.min_n * kbp;
      for (int t = 0; t < terms; ++t) {
        // Rank 2k: alpha*op(A)*op(B)' first, then alpha*op(B)*op(A)'.
        const double* x = t == 0 ? a : b;
        const double* y = b == nullptr ? a : t == 0 ? b : a;
        const int ldx = t == 0 ? lda : ldb, ldy = b == nullptr ? lda : t == 0 ? ldb : lda;
        pack_b(kb, je - jj, at(y, ldy, jj, kk), ldy, p.b_buf, p.b_stride);
        for (int ii = rb; ii < re; ii += p.mc) {
          const int mb = std::min(p.mc, re - ii);
          pack_a(mb, kb, at(x, ldx, ii, kk), ldx, p.a_buf, p.a_stride, alpha);
          const PackedBlock blk{upper, p, ii, mb, jj, kbp, kk == 0 && t == 0 ? beta : 1.0, c, ldc};
          for (int cj = jj; cj < je; cj += kStrip) {
            const int ce = std::min(cj + kStrip, je);
            if (upper ? ii < ce : cj < ii + mb) blk.strip(cj, ce);
          }
        }
      }
    }
  }
  mm_free(raw);
  return PackedRankK::kDone;
}

}  // namespace ztr::level3
