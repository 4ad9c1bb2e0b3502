#include "sparse_solver/update_product.h"

#include <algorithm>

#include "blas/gemm/gemm_dispatch.h"
#include "service/memory.h"

namespace ztr {
namespace {

// Rows of the widest register tile of the kernels (four 8-row slivers).
constexpr int kDiagonalRows = 32;

}  // namespace

UpdateProduct::~UpdateProduct() {
  if (raw_ != nullptr) mm_free(raw_);
}

bool UpdateProduct::prepare(int max_cols) {
  if (g_gemm_blocked_available() == 0) return true;
  const int cols = std::max(max_cols, 1);
  g_gemm_params_init(&p_);
  p_.block_size_fn(&p_, kUpdateRows, cols, cols);
  // One depth block covers every update (supernodes are narrower than the deepest block).
  if (p_.kc < cols) return true;
  // Every row block but the last starts on a whole group of the widest packed A slivers.
  rows_ = std::max(kDiagonalRows, std::min(kUpdateRows, p_.mc) / kDiagonalRows * kDiagonalRows);
  p_.mc = rows_;
  p_.buffer_size_fn(&p_, kGemmBufAll, kGemmBoundByProblem, rows_, cols, cols);
  raw_ = p_.buffer_alloc_fn(&p_, kGemmBufAll);
  return raw_ != nullptr;
}

void UpdateProduct::run(int m, int n, int k, const double* a, int lda, const double* b, int ldb,
                        double* d, int ldd, const int* rmap, const int* cmap, bool lower,
                        double* tile) {
  if (m <= 0 || n <= 0 || k <= 0) return;
  const bool in_place = rmap == nullptr;
  // In place the product is subtracted by the kernel (A packed times -1, C + product);
  // otherwise it is formed in the tile and subtracted by the scatter.
  const double alpha = in_place ? -1.0 : 1.0;
  const int kbp = gemm_round_up(k, p_.k_granule);
  p_.a_stride = p_.min_m * kbp;
  p_.b_stride = p_.min_n * kbp;
  p_.pack_b_t_fn(k, n, b, ldb, p_.b_buf, p_.b_stride);
  for (int ii = 0, mb = 0; ii < m; ii += mb) {
    // Beside the diagonal the blocks are one sliver group tall, so that the product of each
    // stops close to the diagonal.
    mb = std::min(lower && ii < n ? kDiagonalRows : rows_, m - ii);
    const int nb = lower ? std::min(n, ii + mb) : n;
    p_.pack_a_n_fn(mb, k, a + ii, lda, p_.a_buf, p_.a_stride, alpha);
    p_.kernel_fn('N', 'N', mb, nb, kbp, alpha, p_.a_buf, p_.a_stride, p_.b_buf, p_.b_stride,
                 in_place ? 1.0 : 0.0, in_place ? d + ii : tile, in_place ? ldd : mb, p_.edge_buf,
                 kGemmBPacked);
    if (in_place) continue;
    const int* r = rmap + ii;
    for (int j = 0; j < nb; ++j) {
      double* col = d + static_cast<long>(cmap[j]) * ldd;
      const double* tj = tile + static_cast<long>(j) * mb;
      for (int i = lower ? std::max(0, j - ii) : 0; i < mb; ++i) col[r[i]] -= tj[i];
    }
  }
}

}  // namespace ztr
