// An indexed max-heap of vertices keyed by integer gains, for the refinement passes: insert,
// update a key, remove any vertex and take the top, each in O(log n).  Ties are broken by
// the heap's structure, which depends only on the sequence of operations, so refinement is
// deterministic.
#pragma once

#include "sparse_solver/common/work_memory.h"

namespace ztr {

class GainHeap {
 public:
  // Room for vertices 0 .. n - 1.
  bool allocate(WorkMemory* mem, int n, const char* label) {
    n_ = 0;
    return heap_.allocate(mem, static_cast<std::size_t>(n), label) &&
           key_.allocate(mem, static_cast<std::size_t>(n), label) &&
           pos_.allocate(mem, static_cast<std::size_t>(n), label) && reset_all(n);
  }
  bool empty() const { return n_ == 0; }
  bool contains(int v) const { return pos_[v] >= 0; }
  int top() const { return heap_[0]; }
  int top_key() const { return key_[heap_[0]]; }
  int key(int v) const { return key_[v]; }

  void insert(int v, int k) {
    key_[v] = k;
    heap_[n_] = v;
    pos_[v] = n_;
    up(n_++);
  }
  void update(int v, int k) {
    const int old = key_[v];
    key_[v] = k;
    if (k > old) {
      up(pos_[v]);
    } else {
      down(pos_[v]);
    }
  }
  void remove(int v) {
    const int i = pos_[v];
    pos_[v] = -1;
    --n_;
    if (i == n_) return;
    const int last = heap_[n_];
    heap_[i] = last;
    pos_[last] = i;
    up(i);
    down(pos_[last]);
  }
  // Empties the heap (only the entries in it are touched).
  void clear() {
    for (int i = 0; i < n_; ++i) pos_[heap_[i]] = -1;
    n_ = 0;
  }

 private:
  bool reset_all(int n) {
    for (int i = 0; i < n; ++i) pos_[i] = -1;
    return true;
  }
  void up(int i) {
    const int v = heap_[i];
    while (i > 0) {
      const int p = (i - 1) / 2;
      if (key_[heap_[p]] >= key_[v]) break;
      heap_[i] = heap_[p];
      pos_[heap_[i]] = i;
      i = p;
    }
    heap_[i] = v;
    pos_[v] = i;
  }
  void down(int i) {
    const int v = heap_[i];
    for (;;) {
      int c = 2 * i + 1;
      if (c >= n_) break;
      if (c + 1 < n_ && key_[heap_[c + 1]] > key_[heap_[c]]) ++c;
      if (key_[heap_[c]] <= key_[v]) break;
      heap_[i] = heap_[c];
      pos_[heap_[i]] = i;
      i = c;
    }
    heap_[i] = v;
    pos_[v] = i;
  }

  WorkArray<int> heap_, key_, pos_;
  int n_ = 0;
};

}  // namespace ztr
