// The window of an out-of-core factorization: the supernode blocks of L (and U) that are in
// memory, within a byte budget, while the rest lives in the temporary files.  Each resident
// supernode holds one block of len x width values for L, followed by one for U where the
// factor keeps U apart, laid out as in memory mode.  A block enters the window fresh (zeroed,
// for the factorization to assemble and factor it) or read from the files; it is stored once
// the factorization has finished it; the least recently used unpinned blocks leave when room
// is needed.  In file position the blocks keep the in-memory layout (Supernodes::val_ptr), one
// file of L values and one of U values per matrix number.
#pragma once

#include <cstddef>
#include <cstdint>

#include "service/file_io.h"
#include "sparse_solver/common/ooc_record.h"
#include "sparse_solver/common/status.h"
#include "sparse_solver/common/supernodes.h"
#include "sparse_solver/common/work_memory.h"

namespace ztr {

class FactorWindow {
 public:
  FactorWindow() = default;
  FactorWindow(const FactorWindow&) = delete;
  FactorWindow& operator=(const FactorWindow&) = delete;
  ~FactorWindow() { close(); }

  // The bookkeeping open() allocates for `supernodes` supernodes, in bytes.
  static long long bookkeeping_bytes(int supernodes) {
    return static_cast<long long>(supernodes) *
           static_cast<long long>(sizeof(void*) + 2 * sizeof(unsigned char) + 2 * sizeof(int));
  }
  // Sets up the window of matrix number `index` (0-based) for a factorization of `sn` and
  // opens its value files for storing.  `budget` bytes of blocks at most (raised to the least
  // window the factorization needs).  On failure: error -10 (a file) or -2 at stage 6.
  StageStatus open(const Supernodes& sn, bool has_u, std::size_t value_bytes, std::size_t budget,
                   OocRecord* rec, int index, int msglvl, WorkMemory* mem);
  // Closes the files and returns every block and the bookkeeping.
  void close();
  bool is_open() const { return sn_ != nullptr; }

  // Reads from now on count as the solve's (true) or the factorization's.  The solve's
  // blocks leave least recently used first: the forward pass's last blocks are the backward
  // pass's first.
  void set_solving(bool solving) {
    solving_ = solving;
    if (solving) next_row_ = nullptr;
  }
  // The solve's direction of walk (+1 forward, -1 backward): a block it misses comes in with
  // the run of its neighbours that the walk takes next, in one read.
  void set_direction(int step) { direction_ = step < 0 ? -1 : 1; }
  // The factorization's order of use: next_row[d] is the first row of factored supernode d
  // that has not updated its ancestor yet (len(d) when none is left).  With it the block
  // whose next update is furthest away leaves first, a block with none left before any.
  void set_factor_order(const int* next_row) { next_row_ = next_row; }
  // Makes s resident: fresh (zeroed) or read from the files; false on a failure, whose status
  // and error stay set (every later call then fails at once).
  bool acquire(int s, bool fresh);
  // A pinned block never leaves the window.
  void pin(int s) { pinned_[s] = 1; }
  void unpin(int s) { pinned_[s] = 0; }
  // Writes s's block to the files; false on a failure.
  bool store(int s);
  // Stores the factor's structure and, once factored, its pivots in the files of their kinds
  // (".ind" the row indices, ".jal" and ".jau" the block offsets, ".sin" the supernodes'
  // first columns, ".sle" the row offsets, ".lup" and ".uup" the pivots, ".lpr" and ".upr" the
  // matching's placement): the complete factor is then in the files.  False on a failure.
  bool store_structure();
  bool store_pivots(const int* pivots);

  // The resident block of s (null when it is not resident).
  void* lower(int s) const { return slot_[s]; }
  void* upper(int s) const {
    return slot_[s] == nullptr ? nullptr : static_cast<unsigned char*>(slot_[s]) + part_bytes(s);
  }
  // The file layer's status (0: none) and the solver's error for it (0, -10, -11 or -2).
  int status() const { return status_; }
  StageStatus failure() const { return failure_; }
  std::size_t budget() const { return budget_; }

 private:
  std::size_t part_bytes(int s) const {
    return static_cast<std::size_t>(sn_->len(s)) * sn_->width(s) * value_bytes_;
  }
  std::size_t block_bytes(int s) const { return part_bytes(s) * (has_u_ ? 2 : 1); }
  // Frees least recently used unpinned blocks until `bytes` more fit; false when they cannot.
  bool make_room(std::size_t bytes);
  void evict(int s);
  void link_front(int s);
  void unlink(int s);
  bool transfer(int s, bool write);
  // Places a block of s in the window (zeroed when `zero`); false when no memory is had.
  bool place(int s, bool zero);
  // The solve's read of s with the run of non-resident stored blocks after it in the walk.
  bool read_run(int s);
  // Writes `count` elements of `size` bytes to file `number_` of `kind`, opened for storing
  // and closed again, with the layer's descriptions of the step.
  bool store_array(int kind, const void* data, std::int64_t count, int size, const char* open_what,
                   const char* close_what);
  // The supernode whose update s takes part in next (INT_MAX: none left), by next_row_.
  int next_use(int s) const;
  int victim() const;
  void fail(StageStatus st) {
    if (failure_.error == 0) failure_ = st;
  }

  const Supernodes* sn_ = nullptr;
  OocRecord* rec_ = nullptr;
  WorkMemory* mem_ = nullptr;
  bool has_u_ = false;
  bool solving_ = false;
  int msglvl_ = 0;
  std::size_t value_bytes_ = 0;
  std::size_t budget_ = 0;
  std::size_t used_ = 0;
  FileHandle files_[2] = {nullptr, nullptr};  // L values, U values
  int number_ = 1;                            // the files' number: the matrix number
  int status_ = 0;
  StageStatus failure_;
  WorkArray<void*> slot_;
  WorkArray<unsigned char> pinned_, stored_;
  // The resident blocks from most to least recently used (-1 ends the list).
  WorkArray<int> prev_, next_;
  int head_ = -1, tail_ = -1;
  const int* next_row_ = nullptr;
  int direction_ = 1;
};

}  // namespace ztr
