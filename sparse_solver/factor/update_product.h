// The update of a supernode by a descendant on the packed panels and kernel driver of the
// processor's blocked multiply, in blocks of rows that stay in cache.
//
// A product of the whole update into a work block, scattered afterwards, writes the block
// (rows of the descendant by the target's columns it touches, up to a few megabytes) out of
// the caches and reads it back for the scatter.  Here the descendant's columns are packed once
// as the multiply's second operand, and its rows are packed, multiplied and scattered block by
// block: the product of one row block lands in a tile of at most kUpdateRows rows that the
// scatter reads while it is still in cache.  The rows and columns each operand contributes
// are packed exactly once, as in one call of the multiply, and on symmetric targets a row
// block is multiplied only by the columns at or left of its last row.  One product may serve
// two targets (the next supernode of a chain beside the current one), so that the
// descendant's rows, read from memory for every target, are packed once for both.
#pragma once

#include "blas/gemm/gemm_params.h"

namespace ztr {

// The operands and destination of one update (see UpdateProduct::run for their meaning).
struct UpdateArgs {
  int m, n, k;
  const double* a;
  int lda;
  const double* b;
  int ldb;
  double* d;
  int ldd;
  const int* rmap;
  const int* cmap;
  bool lower;
  int split;
  double* d2;
  int ldd2;
  int shift;
};

class UpdateProduct {
 public:
  UpdateProduct() = default;
  UpdateProduct(const UpdateProduct&) = delete;
  UpdateProduct& operator=(const UpdateProduct&) = delete;
  ~UpdateProduct();

  // Sets up the panels for updates of up to max_cols columns and max_depth depth.  False
  // when a panel could not be allocated; on a processor without a blocked multiply, or for
  // depths beyond one block of its packed panels, nothing is set up and `available()` stays
  // false.
  bool prepare(int max_cols, int max_depth);
  bool available() const { return raw_ != nullptr; }

  // With u's fields: D(r(i), c(j)) -= sum over q < k of a(i, q) * b(j, q) for i < m, j < n, with a
  // (m x k, lda) and b (n x k, ldb) column-major, n and k within the prepared bounds.  With rmap
  // null the block lands in place (r(i) = i, c(j) = j, D(i, j) = d[i + j*ldd]); otherwise r = rmap,
  // c = cmap.  `tile` (at least min(kUpdateRows, m) * n values) holds a row block's product before
  // it is subtracted.  With `lower` the entries above the diagonal (i < j) are not needed: the
  // scatter skips them and the product of a row block stops at its last row's column (in place, the
  // ones it forms are written).
  //
  // Columns from `split` on (when 0 <= split < n; requires `lower`) belong to a second block
  // D2 (d2, ldd2): in place, entry (i, j) with i, j >= split goes to d2[(i - split) +
  // (j - split)*ldd2]; otherwise to D2(r(i) - shift, c(j) - shift).  Rows of a block never
  // straddle `split`, so that no entry of D2 above row 0 is formed.  A split outside 0..n
  // means none.
  void run(UpdateArgs u, double* tile);

  // The pieces of run, for updates shared by several threads: the row blocks are independent
  // (each writes only its own rows of D), so each thread may take whole blocks with an
  // UpdateProduct of its own, all reading the columns one of them packed.
  //
  // Normalises u.split, packs u's columns into this object's panel and returns it.
  const double* pack_columns(UpdateArgs* u);
  // The first rows of u's row blocks, in order, into starts[] (room for max_blocks(u.m)
  // + 1), followed by u.m; returns the number of blocks.
  int plan_rows(const UpdateArgs& u, int* starts) const;
  // At most this many blocks for m rows.
  static int max_blocks(int m);
  // Rows [ii, ii + mb) of u, with its columns packed at `columns` (by pack_columns of this
  // object or of one prepared the same way); `tile` as in run.
  void row_block(const UpdateArgs& u, const double* columns, int ii, int mb, double* tile);

 private:
  // Rows of the block that starts at row ii.
  int block_rows(const UpdateArgs& u, int ii) const;
  GemmKernelParams p_{};
  void* raw_ = nullptr;
  int rows_ = 0;  // rows of a block
};

// Rows of a block: its packed rows, its tile and the packed columns stay in the second-level
// cache together.
inline constexpr int kUpdateRows = 128;

}  // namespace ztr
