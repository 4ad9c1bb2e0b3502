#include "sparse_solver/analysis/matching.h"

#include <cmath>
#include <limits>

#include "sparse_solver/common/value_types.h"

namespace ztr {
namespace {

constexpr double kInfinity = std::numeric_limits<double>::infinity();

// A binary min-heap of rows keyed by distance, with decrease-key through a position index.
class RowHeap {
 public:
  RowHeap(int* heap, int* where, const double* key) : heap_(heap), where_(where), key_(key) {}
  bool empty() const { return size_ == 0; }
  void push_or_decrease(int r) {
    int p = where_[r];
    if (p < 0) {
      p = size_++;
      heap_[p] = r;
      where_[r] = p;
    }
    up(p);
  }
  int pop() {
    const int top = heap_[0];
    where_[top] = -1;
    --size_;
    if (size_ > 0) {
      heap_[0] = heap_[size_];
      where_[heap_[0]] = 0;
      down(0);
    }
    return top;
  }
  void clear() {
    for (int k = 0; k < size_; ++k) where_[heap_[k]] = -1;
    size_ = 0;
  }

 private:
  void swap_at(int a, int b) {
    const int t = heap_[a];
    heap_[a] = heap_[b];
    heap_[b] = t;
    where_[heap_[a]] = a;
    where_[heap_[b]] = b;
  }
  void up(int p) {
    while (p > 0 && key_[heap_[(p - 1) / 2]] > key_[heap_[p]]) {
      swap_at(p, (p - 1) / 2);
      p = (p - 1) / 2;
    }
  }
  void down(int p) {
    for (;;) {
      int m = p;
      const int l = 2 * p + 1, r = l + 1;
      if (l < size_ && key_[heap_[l]] < key_[heap_[m]]) m = l;
      if (r < size_ && key_[heap_[r]] < key_[heap_[m]]) m = r;
      if (m == p) return;
      swap_at(p, m);
      p = m;
    }
  }
  int* heap_;
  int* where_;
  const double* key_;
  int size_ = 0;
};

}  // namespace

template <typename T>
int weighted_matching(WorkMemory* mem, int n, const int* ia, const int* ja, const T* a,
                      int* matched, double* dr, double* dc, int* count) {
  const int nnz = ia[n];
  // Column-oriented copy of the pattern with the costs.
  WorkArray<int> cp, ri, col_of_row_tmp, row_of_col, pred, heap, where, visited;
  WorkArray<double> cost, colmax, u, v, dist;
  if (!cp.allocate(mem, n + 1, "matching", true) || !ri.allocate(mem, nnz, "matching") ||
      !cost.allocate(mem, nnz, "matching") || !colmax.allocate(mem, n, "matching", true) ||
      !u.allocate(mem, n, "matching") || !v.allocate(mem, n, "matching") ||
      !dist.allocate(mem, n, "matching") || !row_of_col.allocate(mem, n, "matching") ||
      !col_of_row_tmp.allocate(mem, n, "matching") || !pred.allocate(mem, n, "matching") ||
      !heap.allocate(mem, n, "matching") || !where.allocate(mem, n, "matching") ||
      !visited.allocate(mem, n, "matching"))
    return -2;
  for (int i = 0; i < n; ++i)
    for (int e = ia[i]; e < ia[i + 1]; ++e) {
      const int j = ja[e];
      const double m = static_cast<double>(abs_value(a[e]));
      if (j < 0 || j >= n || m == 0 || !std::isfinite(m)) continue;
      ++cp[j + 1];
      if (m > colmax[j]) colmax[j] = m;
    }
  for (int j = 0; j < n; ++j) cp[j + 1] += cp[j];
  {
    WorkArray<int> fill;
    if (!fill.allocate(mem, n, "matching")) return -2;
    for (int j = 0; j < n; ++j) fill[j] = cp[j];
    for (int i = 0; i < n; ++i)
      for (int e = ia[i]; e < ia[i + 1]; ++e) {
        const int j = ja[e];
        const double m = static_cast<double>(abs_value(a[e]));
        if (j < 0 || j >= n || m == 0 || !std::isfinite(m)) continue;
        ri[fill[j]] = i;
        cost[fill[j]++] = std::log(colmax[j]) - std::log(m);
      }
  }
  int* col_of_row = col_of_row_tmp.get();
  // Initial duals (row minima, then column minima of the reduced costs) and a greedy
  // matching on the edges of zero reduced cost.
  for (int i = 0; i < n; ++i) {
    u[i] = kInfinity;
    col_of_row[i] = -1;
    row_of_col[i] = -1;
    where[i] = -1;
    dist[i] = kInfinity;
  }
  for (int j = 0; j < n; ++j)
    for (int k = cp[j]; k < cp[j + 1]; ++k) u[ri[k]] = std::min(u[ri[k]], cost[k]);
  for (int i = 0; i < n; ++i)
    if (u[i] == kInfinity) u[i] = 0;  // an empty row: structurally singular, found below
  for (int j = 0; j < n; ++j) {
    v[j] = kInfinity;
    for (int k = cp[j]; k < cp[j + 1]; ++k) v[j] = std::min(v[j], cost[k] - u[ri[k]]);
    if (v[j] == kInfinity) v[j] = 0;
    for (int k = cp[j]; k < cp[j + 1]; ++k) {
      const int i = ri[k];
      if (col_of_row[i] < 0 && cost[k] - u[i] - v[j] <= 0) {
        col_of_row[i] = j;
        row_of_col[j] = i;
        break;
      }
    }
  }
  // Shortest augmenting paths (Dijkstra over reduced costs) for the unmatched columns.
  RowHeap h(heap.get(), where.get(), dist.get());
  bool singular = false;
  for (int j0 = 0; j0 < n && !singular; ++j0) {
    if (row_of_col[j0] >= 0) continue;
    int nvis = 0;
    double lsap = kInfinity;
    int isap = -1;
    auto relax = [&](int j, double base) {
      for (int k = cp[j]; k < cp[j + 1]; ++k) {
        const int i = ri[k];
        const double d = base + cost[k] - u[i] - v[j];
        if (d < dist[i] && where[i] != -2) {
          if (dist[i] == kInfinity) visited[nvis++] = i;
          dist[i] = d;
          pred[i] = j;
          h.push_or_decrease(i);
        }
      }
    };
    relax(j0, 0.0);
    int nfinal = 0;
    while (!h.empty()) {
      const int i = h.pop();
      where[i] = -2;  // final
      ++nfinal;
      if (col_of_row[i] < 0) {
        lsap = dist[i];
        isap = i;
        break;
      }
      relax(col_of_row[i], dist[i]);
    }
    h.clear();
    if (isap < 0) {
      singular = true;
    } else {
      // Dual update: finalized rows and the columns reached through them.
      v[j0] += lsap;
      for (int t = 0; t < nvis; ++t) {
        const int i = visited[t];
        if (where[i] == -2 && dist[i] <= lsap) {
          u[i] += dist[i] - lsap;
          if (col_of_row[i] >= 0 && i != isap) v[col_of_row[i]] += lsap - dist[i];
        }
      }
      for (int i = isap;;) {
        const int j = pred[i];
        const int previous = row_of_col[j];
        row_of_col[j] = i;
        col_of_row[i] = j;
        if (j == j0) break;
        i = previous;
      }
    }
    (void)nfinal;
    for (int t = 0; t < nvis; ++t) {
      dist[visited[t]] = kInfinity;
      where[visited[t]] = -1;
    }
  }
  *count = 0;
  for (int j = 0; j < n; ++j) *count += row_of_col[j] >= 0;
  if (singular) return 1;
  for (int i = 0; i < n; ++i) {
    matched[i] = col_of_row[i];
    dr[i] = std::exp(u[i]);
  }
  for (int j = 0; j < n; ++j) dc[j] = colmax[j] > 0 ? std::exp(v[j]) / colmax[j] : 1.0;
  return 0;
}

#define ZTR_INSTANTIATE(T)                                                                    \
  template int weighted_matching<T>(WorkMemory*, int, const int*, const int*, const T*, int*, \
                                    double*, double*, int*);
ZTR_FOR_EACH_SOLVER_VALUE(ZTR_INSTANTIATE)
#undef ZTR_INSTANTIATE

}  // namespace ztr
