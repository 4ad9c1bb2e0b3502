// The supernodal structure of a factor, as the analysis leaves it and the factorization and
// the solve read it.
#pragma once

#include "sparse_solver/common/work_memory.h"

namespace ztr {

// Supernodal structure of the factor of P*A*P' (positions are columns of the permuted
// matrix).  Supernode s covers columns first[s] .. first[s+1]-1; its row structure is
// lindx[row_ptr[s] .. row_ptr[s+1]-1], ascending, its own columns first.  Its values are a
// column-major block of len x width entries at val_ptr[s] (leading dimension len) in the L
// storage, and, for types with a U part, at the same place in the U storage, which holds U
// to the right of the diagonal block transposed (rows width .. len-1 of the block).
struct Supernodes {
  // Rows of supernode s's structure (its block's leading dimension), its columns, and its
  // row indices.
  int len(int s) const { return static_cast<int>(row_ptr[s + 1] - row_ptr[s]); }
  int width(int s) const { return first[s + 1] - first[s]; }
  const int* rows(int s) const { return lindx.get() + row_ptr[s]; }
  // The supernode that receives s's updates first (the owner of its first row below the
  // block; its parent in the assembly tree), or -1 for a root.
  int parent(int s) const {
    const long long below = row_ptr[s] + width(s);
    return below < row_ptr[s + 1] ? owner[lindx[below]] : -1;
  }

  int n = 0;
  int count = 0;
  int largest = 0;       // widest supernode
  int longest = 0;       // largest row-structure length
  long long nnz_l = 0;   // entries of L, diagonal included
  long long nnz_u = 0;   // entries of U strictly above the diagonal (types with a U part)
  long long values = 0;  // sum of len * width
  double flops = 0;      // operation count of the factorization
  WorkArray<int> perm;   // perm[k] = original unknown at position k
  WorkArray<int> iperm;  // inverse of perm
  WorkArray<int> first;  // count + 1
  WorkArray<int> owner;  // n: supernode of each position
  WorkArray<long long> row_ptr;
  WorkArray<int> lindx;
  WorkArray<long long> val_ptr;
  // One entry per stored entry of the caller's matrix: its place in the L storage (+place+1),
  // in the U storage (-(place+1)), or 0 when the entry is not used (the lower triangle of a
  // symmetric-storage type).
  WorkArray<long long> scatter;
  // Weighted matching (full-pattern types): the factored matrix is B = A*Q with column
  // matched[r] of A placed at r; with scaling, Dr*B*Dc.  Empty when off.
  WorkArray<int> matched;
  WorkArray<double> row_scale;    // n, by row of A
  WorkArray<double> col_scale;    // n, by column of A
  WorkArray<double> entry_scale;  // nnz: row_scale * col_scale of each stored entry
  // Partial solve (analysed from a list of wanted unknowns): one flag per position, and per
  // supernode the flag of those the backward step computes.  Empty otherwise.
  WorkArray<unsigned char> wanted;
  WorkArray<unsigned char> wanted_supernodes;
};

// Marks the ancestors of every marked supernode (need: one flag per supernode).
void mark_ancestors(const Supernodes& sn, unsigned char* need);

}  // namespace ztr
