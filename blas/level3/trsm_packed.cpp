// Triangular solve with many right-hand sides on the packed panels of the blocked multiply.
//
// The recursive blocked solve hands each off-diagonal piece to a multiply of its own, which
// packs both operands again for every piece: the same blocks of A once per level and per
// thread slice, and the solved part of B once per piece.  Here the loops run over the
// triangle in blocks of a fixed width: op(A) beside each diagonal block is packed once for
// the whole call, a solved block of B once per strip, and each update is a single kernel
// call on packed data into the strip, which stays in cache between its blocks.
#include "blas/level3/trsm_packed.h"

#include "blas/gemm/gemm_dispatch.h"
#include "blas/gemm/gemm_params.h"
#include "blas/templates/triangular_blocked.h"
#include "service/letters.h"
#include "service/memory.h"

namespace ztr::level3 {
namespace {

// Width of a diagonal block, solved by the leaf; also the depth of every update.  Wider
// blocks move more of the work into the kernel but leave more of it to the leaf.
constexpr int kBlock = 32;
// Rows (side 'R') or columns (side 'L') of B in a strip: a strip of B of this many rows or
// columns by an order of a few hundred stays in the level-2 cache across its blocks.
constexpr int kStrip = 256;

int imin(int x, int y) {
  return x < y ? x : y;
}

// The diagonal blocks in the order of the solve: forward [0, w), [w, 2w), ... or backward
// from the last (possibly narrower) block; the rest of block [j0, j1) is [j1, order) when
// forward, [0, j0) when backward.
struct Blocks {
  int order;
  bool forward;
  int count() const { return (order + kBlock - 1) / kBlock; }
  int start(int s) const { return (forward ? s : count() - 1 - s) * kBlock; }
  int end(int s) const { return imin(start(s) + kBlock, order); }
  int rest_begin(int s) const { return forward ? end(s) : 0; }
  int rest_end(int s) const { return forward ? order : start(s); }
};

}  // namespace

PackedSolve trsm_packed(char side, char uplo, char trans, char diag, int m, int n, const double* a,
                        int lda, double* b, int ldb, SolveLeafFn leaf) {
  if (g_gemm_blocked_available() == 0) return PackedSolve::kNoBlockedMultiply;
  if (m <= 0 || n <= 0) return PackedSolve::kDone;
  const bool left = same_letter(side, 'L'), notrans = same_letter(trans, 'N');
  const bool lower = tblas::detail::effective_lower(uplo, trans);
  const int order = left ? m : n, slices = left ? n : m;
  // op(A) lower: forward for side 'L', backward for side 'R'; upper the mirror.
  const Blocks blocks{order, left == lower};
  const auto at = [](auto* x, int ldx, int i, int j) { return x + i + static_cast<long>(j) * ldx; };

  GemmKernelParams p;
  g_gemm_params_init(&p);
  // The packed parts of op(A) beside the diagonal blocks are slivers of the operand's
  // register-tile width, one after the other.
  const int sliver = left ? p.min_m : p.min_n;
  int rest_total = 0;
  for (int s = 0; s < blocks.count(); ++s)
    rest_total += gemm_round_up(blocks.rest_end(s) - blocks.rest_begin(s), sliver);
  const int strip = imin(kStrip, slices);
  p.kc = kBlock;
  p.mc = left ? rest_total : strip;
  p.nc = left ? strip : rest_total;
  p.buffer_size_fn(&p, kGemmBufAll, kGemmBoundByBlocks, 0, 0, 0);
  void* raw = p.buffer_alloc_fn(&p, kGemmBufAll);
  if (raw == nullptr) return PackedSolve::kNoMemory;
  double* const fixed = left ? p.a_buf : p.b_buf;   // op(A) beside the diagonal blocks
  double* const solved = left ? p.b_buf : p.a_buf;  // a solved block of the strip

  // op(A)(J, rest) for side 'R', the multiply's second operand; op(A)(rest, J) times -1
  // for side 'L', its first.
  for (int s = 0, off = 0; s < blocks.count(); ++s) {
    const int j0 = blocks.start(s), kb = blocks.end(s) - j0;
    const int r0 = blocks.rest_begin(s), rn = blocks.rest_end(s) - r0;
    if (rn == 0) continue;
    const int stride = sliver * gemm_round_up(kb, p.k_granule);
    if (left && notrans)
      p.pack_a_n_fn(rn, kb, at(a, lda, r0, j0), lda, fixed + off, stride, -1.0);
    else if (left)
      p.pack_a_t_fn(rn, kb, at(a, lda, j0, r0), lda, fixed + off, stride, -1.0);
    else if (notrans)
      p.pack_b_n_fn(kb, rn, at(a, lda, j0, r0), lda, fixed + off, stride);
    else
      p.pack_b_t_fn(kb, rn, at(a, lda, r0, j0), lda, fixed + off, stride);
    off += gemm_round_up(rn, sliver) * gemm_round_up(kb, p.k_granule);
  }

  for (int c0 = 0; c0 < slices; c0 += strip) {
    const int cn = imin(strip, slices - c0);
    for (int s = 0, off = 0; s < blocks.count(); ++s) {
      const int j0 = blocks.start(s), kb = blocks.end(s) - j0;
      const int r0 = blocks.rest_begin(s), rn = blocks.rest_end(s) - r0;
      const int kbp = gemm_round_up(kb, p.k_granule);
      const double* ajj = at(a, lda, j0, j0);
      if (left) {
        double* bj = at(b, ldb, j0, c0);
        leaf(side, uplo, trans, diag, kb, cn, ajj, lda, bj, ldb);
        if (rn == 0) continue;
        p.pack_b_n_fn(kb, cn, bj, ldb, solved, p.min_n * kbp);
        p.kernel_fn('N', 'N', rn, cn, kbp, 1.0, fixed + off, p.min_m * kbp, solved, p.min_n * kbp,
                    1.0, at(b, ldb, r0, c0), ldb, p.edge_buf, kGemmBPacked);
      } else {
        double* bj = at(b, ldb, c0, j0);
        leaf(side, uplo, trans, diag, cn, kb, ajj, lda, bj, ldb);
        if (rn == 0) continue;
        p.pack_a_n_fn(cn, kb, bj, ldb, solved, p.min_m * kbp, -1.0);
        p.kernel_fn('N', 'N', cn, rn, kbp, 1.0, solved, p.min_m * kbp, fixed + off, p.min_n * kbp,
                    1.0, at(b, ldb, c0, r0), ldb, p.edge_buf, kGemmBPacked);
      }
      off += gemm_round_up(rn, sliver) * kbp;
    }
  }
  mm_free(raw);
  return PackedSolve::kDone;
}

}  // namespace ztr::level3
