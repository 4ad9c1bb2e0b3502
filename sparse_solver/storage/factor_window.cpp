#include "sparse_solver/storage/factor_window.h"

#include <climits>
#include <cstring>

#include "service/platform.h"
#include "sparse_solver/storage/ooc_files.h"

namespace ztr {

StageStatus FactorWindow::open(const Supernodes& sn, bool has_u, std::size_t value_bytes,
                               std::size_t budget, OocRecord* rec, int index, int msglvl,
                               WorkMemory* mem) {
  close();
  const std::size_t ns = static_cast<std::size_t>(sn.count);
  if (!slot_.allocate(mem, ns, "korvine window", true) ||
      !pinned_.allocate(mem, ns, "korvine window", true) ||
      !stored_.allocate(mem, ns, "korvine window", true) ||
      !prev_.allocate(mem, ns, "korvine window") || !next_.allocate(mem, ns, "korvine window")) {
    close();
    return {kErrMemory, kStageOocStructure, static_cast<long long>(ns * sizeof(void*))};
  }
  sn_ = &sn;
  rec_ = rec;
  mem_ = mem;
  has_u_ = has_u;
  msglvl_ = msglvl;
  value_bytes_ = value_bytes;
  const std::size_t least = ooc_minimal_window(sn, has_u, value_bytes);
  budget_ = budget > least ? budget : least;
  used_ = 0;
  head_ = tail_ = -1;
  solving_ = false;
  status_ = 0;
  failure_ = {};
  number_ = index + 1;
  files_[0] =
      ooc_open(rec, kOocL, index + 1, true, "fact. step: open file for storing lnz", msglvl);
  if (files_[0] != nullptr && has_u)
    files_[1] =
        ooc_open(rec, kOocU, index + 1, true, "fact. step: open file for storing unz", msglvl);
  if (files_[0] == nullptr || (has_u && files_[1] == nullptr)) {
    const StageStatus st{kErrOocOpen, 0, 0};
    close();
    return st;
  }
  return {};
}

void FactorWindow::close() {
  if (sn_ != nullptr) {
    for (int s = head_; s >= 0;) {
      const int after = next_[s];
      work_free(mem_, slot_[s], block_bytes(s), 1);
      slot_[s] = nullptr;
      s = after;
    }
    for (FileHandle& f : files_) {
      int status = 0;
      ooc_close(f, msglvl_, &status);
      f = nullptr;
    }
  }
  slot_.release();
  pinned_.release();
  stored_.release();
  prev_.release();
  next_.release();
  sn_ = nullptr;
  head_ = tail_ = -1;
  used_ = 0;
}

void FactorWindow::link_front(int s) {
  prev_[s] = -1;
  next_[s] = head_;
  if (head_ >= 0) prev_[head_] = s;
  head_ = s;
  if (tail_ < 0) tail_ = s;
}

void FactorWindow::unlink(int s) {
  if (prev_[s] >= 0)
    next_[prev_[s]] = next_[s];
  else
    head_ = next_[s];
  if (next_[s] >= 0)
    prev_[next_[s]] = prev_[s];
  else
    tail_ = prev_[s];
}

void FactorWindow::evict(int s) {
  unlink(s);
  work_free(mem_, slot_[s], block_bytes(s), 1);
  slot_[s] = nullptr;
  used_ -= block_bytes(s);
}

int FactorWindow::next_use(int s) const {
  const int row = next_row_[s];
  return row < sn_->len(s) ? sn_->owner[sn_->rows(s)[row]] : INT_MAX;
}

// The unpinned resident block to leave first, or -1: least recently used in the solve; in the
// factorization the one used again furthest ahead (the first without further use at once).
int FactorWindow::victim() const {
  int best = -1, best_use = -1;
  for (int s = tail_; s >= 0; s = prev_[s]) {
    if (pinned_[s]) continue;
    if (next_row_ == nullptr) return s;
    const int use = next_use(s);
    if (use == INT_MAX) return s;
    if (use > best_use) best = s, best_use = use;
  }
  return best;
}

bool FactorWindow::make_room(std::size_t bytes) {
  while (used_ + bytes > budget_) {
    const int s = victim();
    if (s < 0) break;
    evict(s);
  }
  return used_ + bytes <= budget_;
}

bool FactorWindow::acquire(int s, bool fresh) {
  if (failure_.error != 0) return false;
  if (slot_[s] != nullptr) {
    unlink(s);
    link_front(s);
    return true;
  }
  if (solving_ && !fresh && stored_[s]) return read_run(s);
  // Never stored: nothing in the files to read (a factorization that stopped before it).
  if (!place(s, fresh || !stored_[s])) return false;
  return fresh || !stored_[s] || transfer(s, false);
}

bool FactorWindow::place(int s, bool zero) {
  const std::size_t bytes = block_bytes(s);
  void* p = make_room(bytes) ? work_alloc(mem_, bytes, 1, zero, "korvine window") : nullptr;
  if (p == nullptr) {
    // The memory manager may not give what the budget allows: the window shrinks to what is
    // pinned before it gives up.
    make_room(budget_);
    p = work_alloc(mem_, bytes, 1, zero, "korvine window");
  }
  if (p == nullptr) {
    fail({kErrMemory, kStageOocBuffers, static_cast<long long>(bytes)});
    return false;
  }
  slot_[s] = p;
  used_ += bytes;
  link_front(s);
  return true;
}

namespace {
// Most bytes of L values a run of the solve reads at once (its U values as many again).
constexpr std::size_t kRunBytes = std::size_t{1} << 20;
}  // namespace

bool FactorWindow::read_run(int s) {
  // The run: s, then the blocks the walk meets next while they are stored, not resident and
  // contiguous in the files, up to kRunBytes, and a quarter of the window with its buffer.
  int lo = s, hi = s;
  std::size_t part = part_bytes(s);
  for (int t = s + direction_; t >= 0 && t < sn_->count; t += direction_) {
    if (slot_[t] != nullptr || !stored_[t]) break;
    const std::size_t b = part_bytes(t);
    if (part + b > kRunBytes || (part + b) * (has_u_ ? 3 : 2) > budget_ / 4) break;
    part += b;
    (direction_ > 0 ? hi : lo) = t;
  }
  if (lo == hi) return place(s, false) && transfer(s, false);
  // Room for the run's blocks and the buffer it is read into, then the blocks in walk order
  // (the one needed now least recently used of them, so that it leaves first).
  make_room(part * (has_u_ ? 2 : 1) + part);
  unsigned char* buffer =
      static_cast<unsigned char*>(work_alloc(mem_, part, 1, false, "korvine window"));
  if (buffer == nullptr) return place(s, false) && transfer(s, false);
  used_ += part;
  bool ok = true;
  for (int t = s; ok; t += direction_) {
    ok = place(t, false);
    if (ok) pin(t);
    if (t == (direction_ > 0 ? hi : lo)) break;
  }
  const std::int64_t first = sn_->val_ptr[lo] + 1;
  const std::int64_t count = static_cast<std::int64_t>(part / value_bytes_);
  const int size = static_cast<int>(value_bytes_);
  for (int piece = 0; ok && piece < (has_u_ ? 2 : 1); ++piece) {
    const double t0 = platform().clock_seconds();
    const std::int64_t bytes =
        ooc_read(files_[piece], size, first, count, count, 1, buffer, msglvl_, &status_);
    rec_->read_solve += static_cast<std::uint32_t>(bytes);
    rec_->read_time_solve += platform().clock_seconds() - t0;
    if (status_ != 0) {
      ooc_report_status(status_, piece == 0 ? "solution step: read lnz" : "solution step: read unz",
                        msglvl_, false);
      rec_->error = kErrOocIo;
      fail({kErrOocIo, 0, 0});
      ok = false;
      break;
    }
    for (int t = lo; t <= hi; ++t)
      std::memcpy(static_cast<unsigned char*>(slot_[t]) + piece * part_bytes(t),
                  buffer + (sn_->val_ptr[t] - sn_->val_ptr[lo]) * value_bytes_, part_bytes(t));
  }
  for (int t = lo; t <= hi; ++t)
    if (slot_[t] != nullptr) unpin(t);
  work_free(mem_, buffer, part, 1);
  used_ -= part;
  return ok && slot_[s] != nullptr;
}

bool FactorWindow::store(int s) {
  if (failure_.error != 0 || slot_[s] == nullptr) return false;
  if (!transfer(s, true)) return false;
  stored_[s] = 1;
  return true;
}

bool FactorWindow::store_array(int kind, const void* data, std::int64_t count, int size,
                               const char* open_what, const char* close_what) {
  if (failure_.error != 0) return false;
  FileHandle f = ooc_open(rec_, kind, number_, true, open_what, msglvl_);
  if (f == nullptr) {
    status_ = 2;
    fail({kErrOocOpen, 0, 0});
    return false;
  }
  const double t0 = platform().clock_seconds();
  const std::int64_t bytes = ooc_write(f, size, 1, count, count, 1, data, msglvl_, &status_);
  rec_->written_factor += static_cast<std::uint32_t>(bytes);
  rec_->write_time_factor += platform().clock_seconds() - t0;
  const bool wrote = status_ == 0;
  ooc_close(f, msglvl_, &status_);
  if (status_ != 0) {
    ooc_report_status(status_, wrote ? close_what : open_what, msglvl_, false);
    rec_->error = kErrOocIo;
    fail({kErrOocIo, 0, 0});
    return false;
  }
  return true;
}

bool FactorWindow::store_structure() {
  const Supernodes& sn = *sn_;
  const int ns = sn.count;
  const int li = static_cast<int>(sizeof(int)), ll = static_cast<int>(sizeof(long long));
  bool ok = store_array(kOocIndices, sn.lindx.get(), sn.row_ptr[ns], li,
                        "do_all: open file for storing lindx", "do_all: close file with lindx") &&
            store_array(kOocJalf, sn.val_ptr.get(), ns + 1, ll,
                        "do_all: open file for storing jalf", "fact. step: close file with jalf") &&
            store_array(kOocSlindx, sn.first.get(), ns + 1, li,
                        "fact. step: open file for reading slindx",
                        "fact. step: close file with slindx") &&
            store_array(kOocSlength, sn.row_ptr.get(), ns + 1, ll,
                        "fact. step: open file for reading slength",
                        "fact. step: close file with slength");
  if (ok && has_u_)
    ok = store_array(kOocJauf, sn.val_ptr.get(), ns + 1, ll, "do_all: open file for storing jauf",
                     "fact. step: close file with jauf");
  if (ok && sn.matched.get() != nullptr) {
    ok = store_array(kOocLupermRow, sn.matched.get(), sn.n, li,
                     "fact. step: open file for reading luperm_row",
                     "fact. step: close file with luperm_row");
    if (ok && has_u_)
      ok = store_array(kOocLupermRow2, sn.matched.get(), sn.n, li,
                       "fact. step: open file for reading luperm_row(2)",
                       "fact. step: close file with luperm_row(2)");
  }
  return ok;
}

bool FactorWindow::store_pivots(const int* pivots) {
  const int li = static_cast<int>(sizeof(int));
  bool ok = store_array(kOocLuperm, pivots, sn_->n, li, "do_all: open file for storing luperm",
                        "fact. step: close file with luperm");
  if (ok && has_u_)
    ok = store_array(kOocLuperm2, pivots, sn_->n, li, "do_all: open file for storing luperm(2)",
                     "fact. step: close file with luperm(2)");
  return ok;
}

bool FactorWindow::transfer(int s, bool write) {
  const std::int64_t first = sn_->val_ptr[s] + 1;
  const std::int64_t count = static_cast<std::int64_t>(sn_->len(s)) * sn_->width(s);
  const int size = static_cast<int>(value_bytes_);
  for (int part = 0; part < (has_u_ ? 2 : 1); ++part) {
    unsigned char* p = static_cast<unsigned char*>(slot_[s]) + part * part_bytes(s);
    const double t0 = platform().clock_seconds();
    if (write) {
      const std::int64_t bytes =
          ooc_write(files_[part], size, first, count, count, 1, p, msglvl_, &status_);
      rec_->written_factor += static_cast<std::uint32_t>(bytes);
      rec_->write_time_factor += platform().clock_seconds() - t0;
    } else {
      const std::int64_t bytes =
          ooc_read(files_[part], size, first, count, count, 1, p, msglvl_, &status_);
      const double t = platform().clock_seconds() - t0;
      if (solving_) {
        rec_->read_solve += static_cast<std::uint32_t>(bytes);
        rec_->read_time_solve += t;
      } else {
        rec_->read_factor += static_cast<std::uint32_t>(bytes);
        rec_->read_time_factor += t;
      }
    }
    if (status_ != 0) {
      static const char* const kWhat[3][2] = {
          {"fact. step: read lnz", "fact. step: read unz"},
          {"solution step: read lnz", "solution step: read unz"},
          {"fact. step: write lnz", "fact. step: write unz"}};
      ooc_report_status(status_, kWhat[write ? 2 : solving_ ? 1 : 0][part], msglvl_, false);
      rec_->error = kErrOocIo;
      fail({kErrOocIo, 0, 0});
      return false;
    }
  }
  return true;
}

}  // namespace ztr
