#include "sparse_solver/interface/partial_solve.h"

#include <algorithm>

#include "sparse_solver/interface/input_checks.h"
#include "sparse_solver/common/work_memory.h"
#include "sparse_solver/interface/solver_params.h"

namespace ztr {
namespace {

// iparm[47] value that ends the private analysis after its reordering.
constexpr int kStopAfterReordering = -10;
constexpr int kOrderNestedDissection = 2;
constexpr int kReturnPermutation = 2;

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
  const int base = ip[34] != 0 ? 0 : 1;
  // Nor are rows read through row starts the body rejects (its check writes the offending
  // position into the parameters, here into a copy: iparm[30] is the request itself).
  int scratch[kIparmSize];
  std::copy(ip, ip + kIparmSize, scratch);
  if (check_row_starts(n, g.ia, base, scratch) != 0) return out;
  WorkMemory mem;
  WorkArray<int> pos, holder, rcount, rptr, rcols, rperm;
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
  // The upper triangle (diagonal included) of the pattern of the unmarked components, in
  // their places; entries out of range are skipped as the analysis skips them.
  if (!get(rcount, &mem, rest + 1, &out) || !get(rperm, &mem, rest, &out)) return out;
  std::fill(rcount.get(), rcount.get() + rest + 1, 0);
  const int nnz = g.ia[n] - base;
  auto entry = [&](int i, int e, int* lo, int* hi) {
    const int j = g.ja[e] - base;
    if (j < 0 || j >= n) return false;
    *lo = std::min(pos[i], pos[j]);
    *hi = std::max(pos[i], pos[j]);
    return *lo != *hi && *hi < rest;
  };
  int lo = 0, hi = 0;
  for (int i = 0; i < n; ++i)
    for (int e = g.ia[i] - base; e < g.ia[i + 1] - base; ++e)
      if (entry(i, e, &lo, &hi)) ++rcount[lo + 1];
  if (!get(rptr, &mem, rest + 1, &out) || !get(rcols, &mem, nnz + rest, &out)) return out;
  rptr[0] = 0;
  for (int r = 0; r < rest; ++r) rptr[r + 1] = rptr[r] + rcount[r + 1] + 1;
  for (int r = 0; r < rest; ++r) {
    rcols[rptr[r]] = r;
    rcount[r] = rptr[r] + 1;
  }
  for (int i = 0; i < n; ++i)
    for (int e = g.ia[i] - base; e < g.ia[i + 1] - base; ++e)
      if (entry(i, e, &lo, &hi)) rcols[rcount[lo]++] = hi;
  // Sorted and without the duplicates a full pattern gives, in the caller's index base.
  int kept = 0;
  for (int r = 0; r < rest; ++r) {
    std::sort(rcols.get() + rptr[r], rcols.get() + rcount[r]);
    const int start = kept;
    for (int e = rptr[r]; e < rcount[r]; ++e)
      if (e == rptr[r] || rcols[e] != rcols[e - 1]) rcols[kept++] = rcols[e] + base;
    rptr[r] = start + base;
  }
  rptr[rest] = kept + base;
  if (rest > 0) {
    const int given_perm_mode = ip[4], given_stop = ip[47];
    ip[0] = 1;
    ip[1] = kOrderNestedDissection;
    ip[2] = threads;
    ip[4] = kReturnPermutation;
    ip[7] = 0;
    ip[26] = 0;
    ip[47] = kStopAfterReordering;
    void* pt[kHandleWords] = {};
    int error = 0;
    const KorvineArgs a{
        pt,          1, 1,  g.mtype, kPhaseAnalysis, rest,    nullptr, rptr.get(), rcols.get(),
        rperm.get(), 1, ip, 0,       nullptr,        nullptr, &error};
    korvine_body<double>(a, threads);
    const int analysis_error = error;
    const KorvineArgs release{
        pt,      1, 1,  g.mtype, kPhaseReleaseAll, rest,    nullptr, nullptr, nullptr,
        nullptr, 1, ip, 0,       nullptr,          nullptr, &error};
    korvine_body<double>(release, threads);
    if (analysis_error != 0) {
      ip[4] = given_perm_mode;  // the caller's settings stay as they were
      ip[47] = given_stop;
      out.error = analysis_error;
      return out;
    }
  }
  // The unmarked places in the returned order, then the marked ones in their exchange order.
  for (int k = 0; k < n; ++k) {
    const int place = k < rest ? rperm[k] - base : k;
    g.perm[k] = holder[place] + base;
  }
  ip[4] = 1;
  ip[47] = marked;
  ip[1] = kOrderNestedDissection;
  out.wanted = marked;
  return out;
}

}  // namespace ztr
