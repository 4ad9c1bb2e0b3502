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
#include "sparse_solver/storage/factor_window.h"

namespace ztr {

// Typed access to the blocks of a prepared store.  Supernode s's L block is len(s) x width(s),
// column-major with leading dimension len(s); its U block (full-pattern kinds) has the same
// shape and holds U to the right of the diagonal block transposed.  Out of core, a block is
// there only once `acquire` made it resident (and until the window needs its room).
template <typename T>
class FactorBlocks {
 public:
  FactorBlocks(const Supernodes* sn, T* l, T* u, T* d, int* pivots, FactorWindow* window,
               bool has_u)
      : sn_(sn), l_(l), u_(u), d_(d), pivots_(pivots), window_(window), has_u_(has_u) {}
  T* lower(int s) const {
    return window_ == nullptr ? l_ + sn_->val_ptr[s] : static_cast<T*>(window_->lower(s));
  }
  T* upper(int s) const {
    return window_ == nullptr ? u_ + sn_->val_ptr[s] : static_cast<T*>(window_->upper(s));
  }
  bool has_upper() const { return has_u_; }
  // Out of core: makes s's blocks resident (fresh: zeroed, for the factorization to fill),
  // false on a failure of the files or the memory (the window keeps it).  In memory: true.
  bool acquire(int s, bool fresh = false) const {
    return window_ == nullptr || window_->acquire(s, fresh);
  }
  FactorWindow* window() const { return window_; }
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
  FactorWindow* window_;
  bool has_u_;
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
  // The same with the values of L and U in the temporary files of matrix number `index`,
  // moved through a window of `budget` bytes (D and the pivots stay in memory).
  StageStatus prepare_out_of_core(const Supernodes& sn, FactorKind kind, std::size_t value_bytes,
                                  WorkMemory* mem, OocRecord* rec, int index, std::size_t budget,
                                  int msglvl);
  void release();
  bool out_of_core() const { return window_.is_open(); }
  // Out of core: the failure of the files or of the window's memory, if one happened.
  StageStatus window_failure() const {
    return window_.is_open() ? window_.failure() : StageStatus{};
  }
  FactorWindow* window() { return window_.is_open() ? &window_ : nullptr; }
  // What prepare allocates for `sn`: the values of L (and U) alone, and everything (with D and
  // the pivots), in bytes.
  static long long value_bytes(const Supernodes& sn, FactorKind kind, std::size_t value_bytes);
  static long long bytes(const Supernodes& sn, FactorKind kind, std::size_t value_bytes);

  template <typename T>
  FactorBlocks<T> blocks(const Supernodes& sn) const {
    FactorWindow* w = window_.is_open() ? &window_ : nullptr;
    return {&sn, as<T>(l_), as<T>(u_), as<T>(d_), pivots_.get(), w, has_u_};
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
  bool has_u_ = false;
  mutable FactorWindow window_;
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
  int number = 0;      // the matrix number (0-based): which temporary files are its own
  int msglvl = 0;      // message level of the current call (the file layer's traces)

  // Forgets the results of the factorization before, keeping its storage for the next one.
  void restart() {
    present = false;
    team = 1;
    perturbed = positive = negative = 0;
    mflop = norm_a = seconds = 0;
  }
};

}  // namespace ztr
