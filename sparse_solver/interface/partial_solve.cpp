#include "sparse_solver/interface/partial_solve.h"

#include <algorithm>

#include "sparse_solver/analysis/ordering/ordering_codes.h"
#include "sparse_solver/analysis/ordering/reorder.h"
#include "sparse_solver/common/work_memory.h"
#include "sparse_solver/interface/input_checks.h"
#include "sparse_solver/interface/solver_params.h"

namespace ztr {
namespace {

// iparm[4]: the analysis that follows takes perm as its ordering.
constexpr int kUserPermutation = 1;

template <class T>
bool get(WorkArray<T>& a, WorkMemory* mem, std::size_t count, PartialPreparation* p) {
  if (a.allocate(mem, count, "partial solve")) return true;
  *p = {kErrMemory, kStageOwnCopies, static_cast<long long>(count * sizeof(T)), 0};
  return false;
}

}  // namespace

PartialPreparation prepare_partial_solve(const KorvineArgs& g, int threads) {
  PartialPreparation out;
  if (g.perm == nullptr) {
    out = {kErrInput, kErrNumNullArray, 0, 0};
    return out;
  }
  // Arrays the body rejects are left for it to report.
  if (g.ia == nullptr || g.ja == nullptr || g.n < 1) return out;
  int* ip = g.iparm;
  const int n = g.n;
  const int base = index_base(ip);
  // Nor are rows read through row starts the body rejects (its check writes the offending
  // position into the parameters, here into a copy: iparm[30] is the request itself).
  int scratch[kIparmSize];
  std::copy(ip, ip + kIparmSize, scratch);
  if (check_row_starts(n, g.ia, base, scratch) != 0) return out;
  WorkMemory mem;
  WorkArray<int> pos, holder, degree, xadj, adj, rperm;
  if (!get(pos, &mem, n, &out) || !get(holder, &mem, n, &out)) return out;
  // The marked components take the last places by exchanges, scanning from the end.
  for (int c = 0; c < n; ++c) pos[c] = holder[c] = c;
  int free_place = n - 1, marked = 0;
  for (int c = n - 1; c >= 0; --c) {
    if (g.perm[c] != 1) continue;
    const int from = pos[c], other = holder[free_place];
    pos[c] = free_place;
    holder[free_place] = c;
    pos[other] = from;
    holder[from] = other;
    --free_place;
    ++marked;
  }
  const int rest = n - marked;
  // The graph of the unmarked components' pattern (A + A', diagonal left out), in their
  // places; entries out of range are skipped as the analysis skips them.
  if (!get(degree, &mem, rest + 1, &out) || !get(rperm, &mem, rest, &out)) return out;
  std::fill(degree.get(), degree.get() + rest + 1, 0);
  auto edge = [&](int i, int e, int* lo, int* hi) {
    const int j = g.ja[e] - base;
    if (j < 0 || j >= n) return false;
    *lo = std::min(pos[i], pos[j]);
    *hi = std::max(pos[i], pos[j]);
    return *lo != *hi && *hi < rest;
  };
  int lo = 0, hi = 0;
  long long edges = 0;
  for (int i = 0; i < n; ++i)
    for (int e = g.ia[i] - base; e < g.ia[i + 1] - base; ++e)
      if (edge(i, e, &lo, &hi)) ++degree[lo + 1], ++degree[hi + 1], edges += 2;
  if (!get(xadj, &mem, rest + 1, &out) || !get(adj, &mem, static_cast<std::size_t>(edges), &out))
    return out;
  xadj[0] = 0;
  for (int r = 0; r < rest; ++r) xadj[r + 1] = xadj[r] + degree[r + 1];
  for (int r = 0; r < rest; ++r) degree[r] = xadj[r];
  for (int i = 0; i < n; ++i)
    for (int e = g.ia[i] - base; e < g.ia[i + 1] - base; ++e)
      if (edge(i, e, &lo, &hi)) adj[degree[lo]++] = hi, adj[degree[hi]++] = lo;
  // Sorted and without the duplicates a full pattern gives: the graph the analysis orders.
  int kept = 0;
  for (int r = 0; r < rest; ++r) {
    const int start = kept, first = xadj[r], last = xadj[r + 1];
    std::sort(adj.get() + first, adj.get() + last);
    for (int e = first; e < last; ++e)
      if (e == first || adj[e] != adj[e - 1]) adj[kept++] = adj[e];
    xadj[r] = start;
  }
  xadj[rest] = kept;
  if (rest > 0) {
    const int code = reorder(rest, xadj.get(), adj.get(), kOrderNestedDissection,
                             std::max(1, threads), rperm.get(), nullptr, nullptr, nullptr);
    if (code != kOrderOk) {
      out = {code == kOrderNoMemory   ? kErrMemory
             : code == kOrderOverflow ? kErrOverflow
                                      : kErrReordering,
             code == kOrderNoMemory ? static_cast<int>(kStageBeforeReordering) : 0, 0, 0};
      return out;
    }
  }
  // The unmarked places in the returned order, then the marked ones in their exchange order.
  for (int k = 0; k < n; ++k) {
    const int place = k < rest ? rperm[k] : k;
    g.perm[k] = holder[place] + base;
  }
  // The parameters as an analysis of the unmarked part by the solver itself leaves them.  The
  // matrix check the caller asked for is not switched off (it ran before the preparation and
  // runs again in the analysis that follows).
  ip[kIpDefaultsGiven] = 1;
  ip[kIpOrdering] = kOrderNestedDissection;
  ip[kIpThreads] = threads;
  ip[kIpUserPerm] = kUserPermutation;
  ip[kIpRefineMax] = 0;
  ip[kIpWantedOrStop] = marked;
  out.wanted = marked;
  return out;
}

}  // namespace ztr
