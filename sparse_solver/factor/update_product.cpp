#include "sparse_solver/factor/update_product.h"

#include <algorithm>

#include "blas/gemm/gemm_dispatch.h"
#include "service/memory.h"

namespace ztr {
namespace {

// Rows of the tallest register tile of the kernels (the 512-bit tier's 32 x 4).
constexpr int kDiagonalRows = 32;

}  // namespace

UpdateProduct::~UpdateProduct() {
  if (raw_ != nullptr) mm_free(raw_);
}

bool UpdateProduct::prepare(int max_cols, int max_depth) {
  if (g_gemm_blocked_available() == 0) return true;
  const int cols = std::max(max_cols, 1), depth = std::max(max_depth, 1);
  g_gemm_params_init(&p_);
  p_.block_size_fn(&p_, kUpdateRows, cols, depth);
  // One depth block covers every update (supernodes are narrower than the deepest block).
  if (p_.kc < depth) return true;
  // Full row blocks are whole multiples of the tallest register tile.
  rows_ = std::max(kDiagonalRows, std::min(kUpdateRows, p_.mc) / kDiagonalRows * kDiagonalRows);
  p_.mc = rows_;
  p_.buffer_size_fn(&p_, kGemmBufAll, kGemmBoundByProblem, rows_, cols, depth);
  raw_ = p_.buffer_alloc_fn(&p_, kGemmBufAll);
  return raw_ != nullptr;
}

void UpdateProduct::run(UpdateArgs u, double* tile) {
  if (u.m <= 0 || u.n <= 0 || u.k <= 0) return;
  const double* columns = pack_columns(&u);
  for (int ii = 0; ii < u.m;) {
    const int mb = block_rows(u, ii);
    row_block(u, columns, ii, mb, tile);
    ii += mb;
  }
}

const double* UpdateProduct::pack_columns(UpdateArgs* u) {
  if (u->split < 0 || u->split > u->n) u->split = u->n;
  const int kbp = gemm_round_up(u->k, p_.k_granule);
  p_.pack_b_t_fn(u->k, u->n, u->b, u->ldb, p_.b_buf, p_.min_n * kbp);
  return p_.b_buf;
}

int UpdateProduct::block_rows(const UpdateArgs& u, int ii) const {
  // Beside the diagonal the blocks are one register tile tall, so that the product of each
  // stops close to the diagonal.
  int mb = std::min(u.lower && ii < u.n ? kDiagonalRows : rows_, u.m - ii);
  if (ii < u.split && ii + mb > u.split) mb = u.split - ii;
  return mb;
}

int UpdateProduct::max_blocks(int m) {
  // Blocks are at least one register tile tall but for the last one and the one cut short
  // by the split.
  return m / kDiagonalRows + 3;
}

int UpdateProduct::plan_rows(const UpdateArgs& u, int* starts) const {
  int count = 0;
  for (int ii = 0; ii < u.m; ii += block_rows(u, ii)) starts[count++] = ii;
  starts[count] = u.m;
  return count;
}

void UpdateProduct::row_block(const UpdateArgs& u, const double* columns, int ii, int mb,
                              double* tile) {
  const int n = u.n, k = u.k, split = u.split;
  const bool lower = u.lower;
  const bool in_place = u.rmap == nullptr;
  // In place the product is subtracted by the kernel (A packed times -1, C + product);
  // otherwise it is formed in the tile and subtracted by the scatter.
  const double alpha = in_place ? -1.0 : 1.0;
  const int kbp = gemm_round_up(k, p_.k_granule);
  const int a_stride = p_.min_m * kbp, b_stride = p_.min_n * kbp;
  const int nb = lower ? std::min(n, ii + mb) : n;
  p_.pack_a_n_fn(mb, k, u.a + ii, u.lda, p_.a_buf, a_stride, alpha);
  if (in_place) {
    const int n1 = std::min(nb, split);
    p_.kernel_fn('N', 'N', mb, n1, kbp, alpha, p_.a_buf, a_stride, columns, b_stride, 1.0, u.d + ii,
                 u.ldd, p_.edge_buf, kGemmBPacked);
    if (nb > split && ii >= split) {
      // The second block's columns, from the packed sliver that holds the first of them
      // (formed in the tile and added, A being packed negated, when that sliver also holds
      // columns of the first block).
      const int s0 = split / p_.min_n * p_.min_n;
      const double* bs = columns + static_cast<long>(split / p_.min_n) * b_stride;
      if (s0 == split) {
        p_.kernel_fn('N', 'N', mb, nb - split, kbp, alpha, p_.a_buf, a_stride, bs, b_stride, 1.0,
                     u.d2 + (ii - split), u.ldd2, p_.edge_buf, kGemmBPacked);
      } else {
        p_.kernel_fn('N', 'N', mb, nb - s0, kbp, 1.0, p_.a_buf, a_stride, bs, b_stride, 0.0, tile,
                     mb, p_.edge_buf, kGemmBPacked);
        for (int j = split; j < nb; ++j) {
          double* col = u.d2 + (ii - split) + static_cast<long>(j - split) * u.ldd2;
          const double* tj = tile + static_cast<long>(j - s0) * mb;
          for (int i = 0; i < mb; ++i) col[i] += tj[i];
        }
      }
    }
    return;
  }
  p_.kernel_fn('N', 'N', mb, nb, kbp, alpha, p_.a_buf, a_stride, columns, b_stride, 0.0, tile, mb,
               p_.edge_buf, kGemmBPacked);
  const int* r = u.rmap + ii;
  for (int j = 0; j < nb; ++j) {
    const bool second = j >= split;
    double* col = second ? u.d2 + static_cast<long>(u.cmap[j] - u.shift) * u.ldd2 - u.shift
                         : u.d + static_cast<long>(u.cmap[j]) * u.ldd;
    const double* tj = tile + static_cast<long>(j) * mb;
    for (int i = lower ? std::max(0, j - ii) : 0; i < mb; ++i) col[r[i]] -= tj[i];
  }
}

}  // namespace ztr
