// Work memory of the solver.  Every array a stage allocates comes from the memory manager's
// direct family through a WorkMemory record that accounts for one part of the solver's
// memory (the pattern copy, the analysis, the factorizations, one ordering call): it counts
// the bytes in use and their peak (the solver reports memory from these figures) and
// remembers the label of the first allocation that failed, so that a failure deep inside a
// recursion can be traced without printing anything.  The counters are atomic because the top
// levels of nested dissection allocate from several threads at once.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

namespace ztr {

struct WorkMemory {
  std::atomic<long long> in_use{0};
  std::atomic<long long> peak{0};
  std::atomic<const char*> failed_label{nullptr};
};

// Allocates `count` elements of `elem_size` bytes (zeroed when `zero`), accounted in `mem`
// under `label`.  Null on failure (or on a size that overflows), with the label recorded.
void* work_alloc(WorkMemory* mem, std::size_t count, std::size_t elem_size, bool zero,
                 const char* label);
// Returns a block of `count` elements of `elem_size` bytes to the memory manager.
void work_free(WorkMemory* mem, void* p, std::size_t count, std::size_t elem_size);

// An owned array of T; freed when it goes out of scope, so that every failure path of a
// stage unwinds without leaking.  Not copyable; movable.
template <class T>
class WorkArray {
 public:
  WorkArray() = default;
  WorkArray(const WorkArray&) = delete;
  WorkArray& operator=(const WorkArray&) = delete;
  WorkArray(WorkArray&& o) noexcept : mem_(o.mem_), p_(o.p_), n_(o.n_) {
    o.p_ = nullptr;
    o.n_ = 0;
  }
  WorkArray& operator=(WorkArray&& o) noexcept {
    if (this != &o) {
      release();
      mem_ = o.mem_;
      p_ = o.p_;
      n_ = o.n_;
      o.p_ = nullptr;
      o.n_ = 0;
    }
    return *this;
  }
  ~WorkArray() { release(); }

  // False on failure (the array is then empty).  A count of 0 allocates one element, so that
  // a successful allocation always yields a valid pointer.
  bool allocate(WorkMemory* mem, std::size_t count, const char* label, bool zero = false) {
    release();
    const std::size_t n = count == 0 ? 1 : count;
    p_ = static_cast<T*>(work_alloc(mem, n, sizeof(T), zero, label));
    if (p_ == nullptr) return false;
    mem_ = mem;
    n_ = n;
    return true;
  }
  void release() {
    if (p_ != nullptr) work_free(mem_, p_, n_, sizeof(T));
    p_ = nullptr;
    n_ = 0;
  }
  T* get() const { return p_; }
  T& operator[](std::size_t i) const { return p_[i]; }
  std::size_t size() const { return n_; }

 private:
  WorkMemory* mem_ = nullptr;
  T* p_ = nullptr;
  std::size_t n_ = 0;
};

}  // namespace ztr
