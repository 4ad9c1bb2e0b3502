// The factor store: where the values of one factorization live.  The factorization, the solve
// and the bookkeeping between factorizations reach a supernode's block only through it, so
// that storage other than memory (factors kept in files, read through a window) replaces this
// one in one place.  Here the blocks are one array of values for L (and one for U), laid out
// by the analysis (Supernodes::val_ptr), the diagonal of D and the pivots.
#pragma once

#include <cstddef>

#include "sparse_solver/common/factor_kind.h"
#include "sparse_solver/common/status.h"
#include "sparse_solver/common/supernodes.h"
#include "sparse_solver/common/work_memory.h"

namespace ztr {

// Typed access to the blocks of a prepared store.  Supernode s's L block is len(s) x width(s),
// column-major with leading dimension len(s); its U block (full-pattern kinds) has the same
// shape and holds U to the right of the diagonal block transposed.
template <typename T>
class FactorBlocks {
 public:
  FactorBlocks(const Supernodes* sn, T* l, T* u, T* d, int* pivots)
      : sn_(sn), l_(l), u_(u), d_(d), pivots_(pivots) {}
  T* lower(int s) const { return l_ + sn_->val_ptr[s]; }
  T* upper(int s) const { return u_ + sn_->val_ptr[s]; }
  bool has_upper() const { return u_ != nullptr; }
  // Block-diagonal D of the indefinite kinds: its diagonal (n values) and sub-diagonal (n
  // values, non-zero only at the first column of a 2x2 pivot); null for the other kinds.
  T* diagonal() const { return d_; }
  T* sub_diagonal() const { return d_ == nullptr ? nullptr : d_ + sn_->n; }
  // n one-based interchanges, each inside its diagonal block.
  int* pivots() const { return pivots_; }
  // Adds a stored entry of the matrix at the place the analysis' scatter map gives it
  // (place > 0: L storage place - 1; place < 0: U storage -place - 1).
  void add_entry(long long place, T v) const {
    if (place > 0)
      l_[place - 1] += v;
    else
      u_[-place - 1] += v;
  }

 private:
  const Supernodes* sn_;
  T* l_;
  T* u_;
  T* d_;
  int* pivots_;
};

class FactorStore {
 public:
  // Zeroed storage for a factorization of `sn` of kind `kind` in values of `value_bytes`
  // bytes, counted in `mem`.  Storage of the same size held from the factorization before is
  // cleared and kept (its pages are already there, and clearing them costs about a tenth of
  // backing new ones); new storage is backed with pages at once.  On failure: error -2 at the
  // factor-data stage with the size of the failed request.
  StageStatus prepare(const Supernodes& sn, FactorKind kind, std::size_t value_bytes,
                      WorkMemory* mem);
  void release();
  // What prepare allocates for `sn`: the values of L (and U) alone, and everything (with D and
  // the pivots), in bytes.
  static long long value_bytes(const Supernodes& sn, FactorKind kind, std::size_t value_bytes);
  static long long bytes(const Supernodes& sn, FactorKind kind, std::size_t value_bytes);

  template <typename T>
  FactorBlocks<T> blocks(const Supernodes& sn) const {
    return {&sn, as<T>(l_), as<T>(u_), as<T>(d_), pivots_.get()};
  }

 private:
  template <typename T>
  static T* as(const WorkArray<unsigned char>& a) {
    return a.get() == nullptr ? nullptr : reinterpret_cast<T*>(a.get());
  }
  WorkArray<unsigned char> l_;
  WorkArray<unsigned char> u_;
  WorkArray<unsigned char> d_;
  WorkArray<int> pivots_;
};

// The numerical factorization of one matrix number: its store and what it found.  The value
// type is a property of the handle, fixed at analysis.
struct Factorization {
  bool present = false;
  FactorStore store;
  int perturbed = 0;
  int positive = 0;
  int negative = 0;
  double mflop = 0;
  double norm_a = 0;
  double seconds = 0;  // time the numerical factorization took
  int team = 1;        // threads that shared the factorization's steps

  // Forgets the results of the factorization before, keeping its storage for the next one.
  void restart() {
    present = false;
    team = 1;
    perturbed = positive = negative = 0;
    mflop = norm_a = seconds = 0;
  }
};

}  // namespace ztr
