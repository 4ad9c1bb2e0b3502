// The priority queue of the refinement passes: vertices keyed by integer gains, with the
// operations of GainHeap.  When the keys fit in a range not much wider than the vertex count
// (unit or light weights: the fine levels, where most moves happen) every gain has a bucket,
// a doubly linked list, and insert, update and remove take O(1); the highest non-empty bucket
// is kept, lowered only when it empties.  Within a bucket the vertex queued last comes first.
// Wider ranges (heavy coarse vertices on small graphs) use the binary heap.  Either way the
// order depends only on the sequence of operations, so refinement stays deterministic.
#pragma once

#include "sparse_solver/analysis/ordering/gain_heap.h"

namespace ztr {

class GainQueue {
 public:
  // Room for vertices 0 .. n - 1, for graphs of up to n vertices.
  bool allocate(WorkMemory* mem, int n, const char* label) {
    count_ = 0;
    const long long range = kBucketRangePerVertex * static_cast<long long>(n) + kBucketRangeSlack;
    if (!heap_.allocate(mem, n, label) ||
        !head_.allocate(mem, static_cast<std::size_t>(range), label) ||
        !next_.allocate(mem, static_cast<std::size_t>(n), label) ||
        !prev_.allocate(mem, static_cast<std::size_t>(n), label) ||
        !key_.allocate(mem, static_cast<std::size_t>(n), label)) {
      return false;
    }
    for (long long b = 0; b < range; ++b) head_[b] = -1;
    for (int v = 0; v < n; ++v) prev_[v] = kAbsent;
    return true;
  }
  // Chooses the form for a graph of n vertices (at most the allocated count) whose keys lie
  // in -max_abs_key .. max_abs_key.  The queue must be empty.
  void prepare(int n, long long max_abs_key) {
    const long long range = 2 * max_abs_key + 1;
    buckets_ = range <= kBucketRangePerVertex * static_cast<long long>(n) + kBucketRangeSlack;
    offset_ = buckets_ ? static_cast<int>(max_abs_key) : 0;
  }
  bool empty() const { return buckets_ ? count_ == 0 : heap_.empty(); }
  bool contains(int v) const { return buckets_ ? prev_[v] != kAbsent : heap_.contains(v); }
  int top() const { return buckets_ ? head_[top_] : heap_.top(); }
  int top_key() const { return buckets_ ? top_ - offset_ : heap_.top_key(); }
  int key(int v) const { return buckets_ ? key_[v] : heap_.key(v); }

  void insert(int v, int k) {
    if (!buckets_) return heap_.insert(v, k);
    key_[v] = k;
    link(v, k + offset_);
  }
  void update(int v, int k) {
    if (!buckets_) return heap_.update(v, k);
    if (k == key_[v]) return;
    unlink(v);
    key_[v] = k;
    link(v, k + offset_);
  }
  void remove(int v) {
    if (!buckets_) return heap_.remove(v);
    unlink(v);
  }
  // Empties the queue (only the entries in it are touched).
  void clear() {
    if (!buckets_) return heap_.clear();
    while (count_ > 0) unlink(head_[top_]);
  }

 private:
  // Buckets are used while the key range is at most this many times the vertex count, plus
  // the slack that lets small graphs of moderate degree use them too; beyond that the walk
  // down to the next non-empty bucket would cost more than the heap's logarithm.
  static constexpr long long kBucketRangePerVertex = 2;
  static constexpr long long kBucketRangeSlack = 64;
  static constexpr int kAbsent = -2;

  void link(int v, int b) {
    const int h = head_[b];
    next_[v] = h;
    prev_[v] = -1;
    if (h >= 0) prev_[h] = v;
    head_[b] = v;
    if (count_++ == 0 || b > top_) top_ = b;
  }
  void unlink(int v) {
    const int p = prev_[v], nx = next_[v];
    if (p >= 0) {
      next_[p] = nx;
    } else {
      head_[key_[v] + offset_] = nx;
    }
    if (nx >= 0) prev_[nx] = p;
    prev_[v] = kAbsent;
    if (--count_ > 0) {
      while (head_[top_] < 0) --top_;
    }
  }

  bool buckets_ = false;
  GainHeap heap_;
  WorkArray<int> head_, next_, prev_, key_;
  int offset_ = 0, top_ = 0, count_ = 0;
};

}  // namespace ztr
