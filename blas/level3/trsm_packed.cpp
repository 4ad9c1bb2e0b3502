// Triangular solve with many right-hand sides on the packed panels of the blocked multiply.
//
// The recursive blocked solve hands each off-diagonal piece to a multiply of its own, which
// packs both operands again for every piece and streams all of B through the cache once per
// level.  Here the loops run over the triangle in blocks of fixed widths: op(A) beside each
// block is packed once for the whole call, a solved block of B once per strip, and each
// update is a single kernel call on packed data into the strip, which stays in cache
// between its blocks.  Two widths: narrow diagonal blocks keep the leaf's share of the work
// small, and the outer blocks make the updates of the rest of the triangle deep.
#include "blas/level3/trsm_packed.h"

#include <algorithm>

#include "blas/gemm/gemm_dispatch.h"
#include "blas/gemm/gemm_params.h"
#include "blas/templates/triangular_blocked.h"
#include "service/letters.h"
#include "service/memory.h"

namespace ztr::level3 {
namespace {

// Width of a diagonal block, solved by the leaf; also the depth of the updates inside an
// outer block.  Narrow blocks leave little of the work to the leaf, whose loops are slower
// than the kernel.
constexpr int kBlock = 32;
// Width of an outer block: once its diagonal blocks are solved, the rest of the triangle is
// updated by the whole outer block at once, an update as deep as the kernel runs well.
constexpr int kOuter = 128;
// Rows (side 'R') or columns (side 'L') of B in a strip: a strip of this many by an order
// of a few hundred stays in the level-2 cache across its blocks.
constexpr int kStrip = 256;

// Calls step(j0, kb, r0, rn, diagonal) for the steps of the solve in order.  For each
// diagonal block [j0, j0 + kb) (diagonal true): solve it, then update [r0, r0 + rn), the rest
// of its outer block; at the end of each outer block [j0, j0 + kb) (diagonal false): update
// [r0, r0 + rn), the rest of the triangle.  Forward, the rest lies after the block; backward,
// blocks run from the last (possibly narrower) one and the rest lies before.
template <typename Step>
void walk(int order, bool forward, Step&& step) {
  const int outer = (order + kOuter - 1) / kOuter;
  for (int s = 0; s < outer; ++s) {
    const int o0 = (forward ? s : outer - 1 - s) * kOuter, o1 = std::min(o0 + kOuter, order);
    const int inner = (o1 - o0 + kBlock - 1) / kBlock;
    for (int t = 0; t < inner; ++t) {
      const int j0 = o0 + (forward ? t : inner - 1 - t) * kBlock, j1 = std::min(j0 + kBlock, o1);
      step(j0, j1 - j0, forward ? j1 : o0, forward ? o1 - j1 : j0 - o0, true);
    }
    step(o0, o1 - o0, forward ? o1 : 0, forward ? order - o1 : o0, false);
  }
}

}  // namespace

PackedSolve trsm_packed(char side, char uplo, char trans, char diag, int m, int n, const double* a,
                        int lda, double* b, int ldb, SolveLeafFn leaf) {
  if (g_gemm_blocked_available() == 0) return PackedSolve::kNoBlockedMultiply;
  if (m <= 0 || n <= 0) return PackedSolve::kDone;
  const bool left = same_letter(side, 'L'), notrans = same_letter(trans, 'N');
  const bool lower = tblas::detail::effective_lower(uplo, trans);
  const int order = left ? m : n, slices = left ? n : m;
  // op(A) lower: forward for side 'L', backward for side 'R'; upper the mirror.
  const bool forward = left == lower;
  const auto at = [](auto* x, int ldx, int i, int j) { return x + i + static_cast<long>(j) * ldx; };

  GemmKernelParams p;
  g_gemm_params_init(&p);
  // The packed parts of op(A) beside the blocks are slivers of the operand's register-tile
  // width, one part after the other, in the order of the steps.
  const int sliver = left ? p.min_m : p.min_n;
  auto part_size = [&](int kb, int rn) {
    return static_cast<long>(gemm_round_up(rn, sliver)) * gemm_round_up(kb, p.k_granule);
  };
  long fixed_size = 0;
  walk(order, forward, [&](int, int kb, int, int rn, bool) { fixed_size += part_size(kb, rn); });
  const int strip = std::min(kStrip, slices);
  // Sized as panels of depth kOuter: the solved block of a strip, and op(A)'s parts.
  const int fixed_width = static_cast<int>((fixed_size + kOuter - 1) / kOuter);
  p.kc = kOuter;
  p.mc = left ? fixed_width : strip;
  p.nc = left ? strip : fixed_width;
  p.buffer_size_fn(&p, kGemmBufAll, kGemmBoundByBlocks, 0, 0, 0);
  void* raw = p.buffer_alloc_fn(&p, kGemmBufAll);
  // Side 'L' solves its diagonal blocks transposed, as X'*op(A)' = B', in a strip x kBlock
  // scratch: the right-side leaf holds rows of X in registers, the left-side one re-reads
  // columns of A for every four columns of B.
  double* scratch = nullptr;
  if (raw != nullptr && left) {
    scratch = static_cast<double*>(mm_malloc(sizeof(double) * strip * kBlock, 64));
    if (scratch == nullptr) mm_free(raw);
  }
  if (raw == nullptr || (left && scratch == nullptr)) return PackedSolve::kNoMemory;
  const char flipped = notrans ? 'T' : 'N';
  double* const fixed = left ? p.a_buf : p.b_buf;   // op(A)'s parts
  double* const solved = left ? p.b_buf : p.a_buf;  // a solved block of the strip

  // op(A)(block, rest) for side 'R', the multiply's second operand; op(A)(rest, block) times
  // -1 for side 'L', its first.
  long off = 0;
  walk(order, forward, [&](int j0, int kb, int r0, int rn, bool) {
    if (rn == 0) return;
    const int stride = sliver * gemm_round_up(kb, p.k_granule);
    if (left && notrans)
      p.pack_a_n_fn(rn, kb, at(a, lda, r0, j0), lda, fixed + off, stride, -1.0);
    else if (left)
      p.pack_a_t_fn(rn, kb, at(a, lda, j0, r0), lda, fixed + off, stride, -1.0);
    else if (notrans)
      p.pack_b_n_fn(kb, rn, at(a, lda, j0, r0), lda, fixed + off, stride);
    else
      p.pack_b_t_fn(kb, rn, at(a, lda, r0, j0), lda, fixed + off, stride);
    off += part_size(kb, rn);
  });

  for (int c0 = 0; c0 < slices; c0 += strip) {
    const int cn = std::min(strip, slices - c0);
    off = 0;
    walk(order, forward, [&](int j0, int kb, int r0, int rn, bool diagonal) {
      const int kbp = gemm_round_up(kb, p.k_granule);
      double* bj = left ? at(b, ldb, j0, c0) : at(b, ldb, c0, j0);
      if (diagonal) {
        const double* ajj = at(a, lda, j0, j0);
        if (left) {
          for (int q = 0; q < kb; ++q)
            for (int c = 0; c < cn; ++c) scratch[c + q * cn] = bj[q + static_cast<long>(c) * ldb];
          leaf('R', uplo, flipped, diag, cn, kb, ajj, lda, scratch, cn);
          for (int c = 0; c < cn; ++c)
            for (int q = 0; q < kb; ++q) bj[q + static_cast<long>(c) * ldb] = scratch[c + q * cn];
        } else {
          leaf(side, uplo, trans, diag, cn, kb, ajj, lda, bj, ldb);
        }
      }
      if (rn == 0) return;
      if (left) {
        p.pack_b_n_fn(kb, cn, bj, ldb, solved, p.min_n * kbp);
        p.kernel_fn('N', 'N', rn, cn, kbp, 1.0, fixed + off, p.min_m * kbp, solved, p.min_n * kbp,
                    1.0, at(b, ldb, r0, c0), ldb, p.edge_buf, kGemmBPacked);
      } else {
        p.pack_a_n_fn(cn, kb, bj, ldb, solved, p.min_m * kbp, -1.0);
        p.kernel_fn('N', 'N', cn, rn, kbp, 1.0, solved, p.min_m * kbp, fixed + off, p.min_n * kbp,
                    1.0, at(b, ldb, c0, r0), ldb, p.edge_buf, kGemmBPacked);
      }
      off += part_size(kb, rn);
    });
  }
  if (scratch != nullptr) mm_free(scratch);
  mm_free(raw);
  return PackedSolve::kDone;
}

}  // namespace ztr::level3
