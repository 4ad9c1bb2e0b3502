// Multiple minimum degree on a quotient graph.
//
// The quotient graph keeps, for each uneliminated supervariable, a list of the elements
// (eliminated nodes whose boundary it lies in) followed by a list of variables it is still
// directly adjacent to; for each element, the list of variables on its boundary.  All lists
// live in one integer workspace `iw`; a new element's list is appended at the end and the
// workspace is compacted (and, rarely, grown) when the end is reached.
//
// One round of multiple elimination takes every supervariable of the current minimum
// external degree that is not adjacent to a node eliminated earlier in the round; those are
// independent, so their elements can be formed one after another with degrees left stale.
// At the end of the round the touched supervariables are merged when indistinguishable
// (identical lists), and their exact external degrees are recomputed.
#include "sparse_solver/analysis/ordering/minimum_degree.h"

#include <algorithm>
#include <climits>
#include <cstring>

#include "sparse_solver/analysis/ordering/ordering_codes.h"

namespace ztr {
namespace {

// Marks are compared with a running tag; when the tag reaches the largest int the marks are
// cleared and the tag starts again, so the tag never overflows on long runs.
constexpr int kTagLimit = 2147483647;
// Multiple elimination takes nodes of degree up to the minimum plus this tolerance.  Zero
// keeps the ordering a true minimum-degree ordering; larger values trade fill for speed.
constexpr int kMultipleEliminationDelta = 0;

enum NodeStatus : unsigned char {
  kVariable = 0,  // principal supervariable, not eliminated
  kMerged = 1,    // merged into another supervariable
  kElement = 2,   // eliminated, its element is live
  kAbsorbed = 3,  // eliminated, its element was absorbed into a later one
};

struct Mmd {
  WorkMemory* mem;
  int n;
  WorkArray<int> iw;
  long long iwlen = 0;
  long long pfree = 0;
  WorkArray<int> pe, len, elen, nv, deg, mark, head, next, prev, chain_next, chain_tail;
  WorkArray<int> touched, hhead, hnext;
  WorkArray<int> perm;  // the elimination sequence, in this graph's own vertex numbers
  WorkArray<unsigned char> status, in_round, in_bucket;
  int tag = 0;
  int ntouched = 0;
  int mindeg = 0;
  int maxdeg = 0;  // size of the bucket array minus one

  int new_tag() {
    if (tag >= kTagLimit - 1) {
      std::memset(mark.get(), 0, sizeof(int) * static_cast<std::size_t>(n));
      tag = 0;
    }
    return ++tag;
  }

  void bucket_insert(int i) {
    in_bucket[i] = 1;
    const int d = std::min(deg[i], maxdeg);
    prev[i] = -1;
    next[i] = head[d];
    if (head[d] >= 0) prev[head[d]] = i;
    head[d] = i;
    if (d < mindeg) mindeg = d;
  }
  void bucket_remove(int i) {
    if (!in_bucket[i]) return;
    in_bucket[i] = 0;
    const int d = std::min(deg[i], maxdeg);
    if (prev[i] >= 0) {
      next[prev[i]] = next[i];
    } else {
      head[d] = next[i];
    }
    if (next[i] >= 0) prev[next[i]] = prev[i];
  }

  bool live_list(int j) const {
    return (status[j] == kVariable || status[j] == kElement) && len[j] > 0;
  }

  // Moves every live list to the front of iw, in workspace order.  The first entry of each
  // live list is replaced by the encoded owner so that one scan finds the list starts.
  void compact() {
    for (int j = 0; j < n; ++j) {
      if (!live_list(j)) continue;
      const int first = iw[pe[j]];
      iw[pe[j]] = -(j + 1);
      pe[j] = first;
    }
    long long w = 0;
    for (long long r = 0; r < pfree;) {
      if (iw[r] < 0) {
        const int j = -iw[r] - 1;
        const int first = pe[j];
        pe[j] = static_cast<int>(w);
        iw[w++] = first;
        for (int k = 1; k < len[j]; ++k) iw[w++] = iw[r + k];
        r += len[j];
      } else {
        ++r;
      }
    }
    pfree = w;
  }

  // Makes room for `need` more entries at the end of iw.
  bool ensure_room(long long need) {
    if (pfree + need <= iwlen) return true;
    compact();
    if (pfree + need <= iwlen) return true;
    const long long grown = std::max(2 * iwlen, pfree + need + n);
    if (grown > INT_MAX) return false;
    WorkArray<int> bigger;
    if (!bigger.allocate(mem, static_cast<std::size_t>(grown), "MMDOrder: iw")) return false;
    std::memcpy(bigger.get(), iw.get(), sizeof(int) * static_cast<std::size_t>(pfree));
    iw = std::move(bigger);
    iwlen = grown;
    return true;
  }

  void touch(int i) {
    if (in_round[i]) return;
    in_round[i] = 1;
    touched[ntouched++] = i;
  }

  bool eliminate(int p, int* order, int* norder);
  bool update_list(int i, int p, int t);
  void merge_indistinguishable(const int* stage);
  void compute_degree(int i);
};

// Forms element p from supervariable p: its boundary is the union of p's variables and the
// boundaries of p's elements, which are absorbed.  Every variable on the boundary loses the
// absorbed elements and the variables now reachable through p.
bool Mmd::eliminate(int p, int* order, int* norder) {
  bucket_remove(p);
  for (int v = p; v >= 0; v = chain_next[v]) order[(*norder)++] = v;

  long long bound = len[p] - elen[p];
  for (int k = 0; k < elen[p]; ++k) {
    const int e = iw[pe[p] + k];
    if (status[e] == kElement) bound += len[e];
  }
  bound = std::min<long long>(bound, n);
  if (!ensure_room(bound)) return false;

  const int t = new_tag();
  mark[p] = t;
  const long long start = pfree;
  for (int k = 0; k < elen[p]; ++k) {
    const int e = iw[pe[p] + k];
    if (status[e] != kElement) continue;
    for (int q = 0; q < len[e]; ++q) {
      const int v = iw[pe[e] + q];
      if (status[v] == kVariable && mark[v] != t) {
        mark[v] = t;
        iw[pfree++] = v;
      }
    }
    status[e] = kAbsorbed;
    len[e] = 0;
  }
  for (int k = elen[p]; k < len[p]; ++k) {
    const int v = iw[pe[p] + k];
    if (status[v] == kVariable && mark[v] != t) {
      mark[v] = t;
      iw[pfree++] = v;
    }
  }
  status[p] = kElement;
  pe[p] = static_cast<int>(start);
  len[p] = static_cast<int>(pfree - start);
  elen[p] = 0;

  for (int k = 0; k < len[p]; ++k) {
    const int i = iw[pe[p] + k];
    if (!update_list(i, p, t)) return false;
    bucket_remove(i);
    touch(i);
  }
  return true;
}

// Rewrites i's list as [live elements, p | variables not on p's boundary].  The list never
// grows: i is on p's boundary either through p itself (which leaves the variable part) or
// through an element of p (which is absorbed and leaves the element part).
bool Mmd::update_list(int i, int p, int t) {
  int* l = iw.get() + pe[i];
  int w = 0;
  for (int k = 0; k < elen[i]; ++k) {
    const int e = l[k];
    if (status[e] == kElement && e != p) l[w++] = e;
  }
  const int kept_elements = w;
  for (int k = elen[i]; k < len[i]; ++k) {
    const int v = l[k];
    if (status[v] == kVariable && mark[v] != t) l[w++] = v;
  }
  if (w < len[i]) {
    if (w > kept_elements) l[w] = l[kept_elements];
    l[kept_elements] = p;
    elen[i] = kept_elements + 1;
    len[i] = w + 1;
  } else {
    // Unreachable for a symmetric graph; kept so that a list is never overrun.
    if (!ensure_room(len[i] + 1)) return false;
    l = iw.get() + pe[i];
    const long long start = pfree;
    for (int k = 0; k < kept_elements; ++k) iw[pfree++] = l[k];
    iw[pfree++] = p;
    for (int k = kept_elements; k < w; ++k) iw[pfree++] = l[k];
    pe[i] = static_cast<int>(start);
    elen[i] = kept_elements + 1;
    len[i] = w + 1;
  }
  return true;
}

// Supervariables with identical lists (and the same stage) are indistinguishable: they
// would be eliminated together, so they are merged now (mass elimination).
void Mmd::merge_indistinguishable(const int* stage) {
  for (int a = 0; a < ntouched; ++a) {
    const int i = touched[a];
    if (status[i] != kVariable) continue;
    unsigned long long h = 0;
    for (int k = 0; k < len[i]; ++k) h += static_cast<unsigned>(iw[pe[i] + k]);
    const int slot = static_cast<int>(h % static_cast<unsigned long long>(n));
    hnext[i] = hhead[slot];
    hhead[slot] = i;
    deg[i] = slot;  // the slot, until the degree is recomputed below
  }
  for (int a = 0; a < ntouched; ++a) {
    const int i0 = touched[a];
    if (status[i0] != kVariable || hhead[deg[i0]] < 0) continue;
    const int slot = deg[i0];
    for (int i = hhead[slot]; i >= 0; i = hnext[i]) {
      if (status[i] != kVariable) continue;
      const int t = new_tag();
      for (int k = 0; k < len[i]; ++k) mark[iw[pe[i] + k]] = t;
      int prevj = i;
      for (int j = hnext[i]; j >= 0; j = hnext[j]) {
        bool same = status[j] == kVariable && len[j] == len[i] && elen[j] == elen[i] &&
                    (stage == nullptr || stage[j] == stage[i]);
        for (int k = 0; same && k < len[j]; ++k) same = mark[iw[pe[j] + k]] == t;
        if (same) {
          nv[i] += nv[j];
          nv[j] = 0;
          status[j] = kMerged;
          len[j] = 0;
          chain_next[chain_tail[i]] = j;
          chain_tail[i] = chain_tail[j];
          hnext[prevj] = hnext[j];
        } else {
          prevj = j;
        }
      }
    }
    hhead[slot] = -1;
  }
}

// Exact external degree: the weight of the union of i's variables and its elements'
// boundaries, i itself excluded.
void Mmd::compute_degree(int i) {
  const int t = new_tag();
  mark[i] = t;
  long long d = 0;
  for (int k = 0; k < elen[i]; ++k) {
    const int e = iw[pe[i] + k];
    for (int q = 0; q < len[e]; ++q) {
      const int v = iw[pe[e] + q];
      if (status[v] == kVariable && mark[v] != t) {
        mark[v] = t;
        d += nv[v];
      }
    }
  }
  for (int k = elen[i]; k < len[i]; ++k) {
    const int v = iw[pe[i] + k];
    if (status[v] == kVariable && mark[v] != t) {
      mark[v] = t;
      d += nv[v];
    }
  }
  deg[i] = static_cast<int>(std::min<long long>(d, INT_MAX));
}

}  // namespace

int MMDOrder(WorkMemory* mem, int n, const int* xadj, const int* adjncy, const int* vwgt,
             const int* stage, const int* label, int* order) {
  if (n <= 0) return kOrderOk;
  Mmd m;
  m.mem = mem;
  m.n = n;
  const long long nnz = xadj[n];
  long long total_weight = 0;
  for (int i = 0; i < n; ++i) total_weight += vwgt ? vwgt[i] : 1;
  if (total_weight > INT_MAX) return kOrderOverflow;
  m.iwlen = nnz + n + 1024;
  if (m.iwlen > INT_MAX) return kOrderOverflow;
  m.maxdeg = static_cast<int>(total_weight);
  const std::size_t un = static_cast<std::size_t>(n);
  if (!m.iw.allocate(mem, static_cast<std::size_t>(m.iwlen), "MMDOrder: iw") ||
      !m.pe.allocate(mem, un, "MMDOrder: pe") || !m.len.allocate(mem, un, "MMDOrder: len") ||
      !m.elen.allocate(mem, un, "MMDOrder: elen") || !m.nv.allocate(mem, un, "MMDOrder: nv") ||
      !m.deg.allocate(mem, un, "MMDOrder: deg") ||
      !m.mark.allocate(mem, un, "MMDOrder: mark", true) ||
      !m.head.allocate(mem, static_cast<std::size_t>(m.maxdeg) + 1, "MMDOrder: head") ||
      !m.next.allocate(mem, un, "MMDOrder: next") || !m.prev.allocate(mem, un, "MMDOrder: prev") ||
      !m.chain_next.allocate(mem, un, "MMDOrder: chain") ||
      !m.chain_tail.allocate(mem, un, "MMDOrder: chain") ||
      !m.touched.allocate(mem, un, "MMDOrder: touched") ||
      !m.hhead.allocate(mem, un, "MMDOrder: hash") ||
      !m.hnext.allocate(mem, un, "MMDOrder: hash") ||
      !m.status.allocate(mem, un, "MMDOrder: status") ||
      !m.in_round.allocate(mem, un, "MMDOrder: round", true) ||
      !m.in_bucket.allocate(mem, un, "MMDOrder: round", true) ||
      !m.perm.allocate(mem, un, "MMDOrder: perm")) {
    return kOrderNoMemory;
  }
  // Vertices sorted by stage, so that each stage enters the degree lists when the previous
  // one is finished.
  WorkArray<int> by_stage;
  if (stage != nullptr) {
    if (!by_stage.allocate(mem, un, "MMDOrder: stage")) return kOrderNoMemory;
    for (int i = 0; i < n; ++i) by_stage[i] = i;
    // std::sort, not std::stable_sort: the latter takes a buffer from outside the memory
    // manager.  Ties are broken by the vertex number, which keeps the order deterministic.
    std::sort(by_stage.get(), by_stage.get() + n,
              [stage](int a, int b) { return stage[a] != stage[b] ? stage[a] < stage[b] : a < b; });
  }

  std::memcpy(m.iw.get(), adjncy, sizeof(int) * static_cast<std::size_t>(nnz));
  m.pfree = nnz;
  for (int i = 0; i <= m.maxdeg; ++i) m.head[i] = -1;
  for (int i = 0; i < n; ++i) {
    m.pe[i] = xadj[i];
    m.len[i] = xadj[i + 1] - xadj[i];
    m.elen[i] = 0;
    m.nv[i] = vwgt ? vwgt[i] : 1;
    m.status[i] = kVariable;
    m.chain_next[i] = -1;
    m.chain_tail[i] = i;
    m.hhead[i] = -1;
  }
  for (int i = 0; i < n; ++i) {
    long long d = 0;
    for (int k = xadj[i]; k < xadj[i + 1]; ++k) d += m.nv[adjncy[k]];
    m.deg[i] = static_cast<int>(d);
  }
  m.mindeg = m.maxdeg;
  int next_in_stage = 0;
  // Returns the number of supervariables admitted.
  auto admit_next_stage = [&]() {
    int admitted_now = 0;
    if (stage == nullptr) {
      for (int i = 0; i < n; ++i) m.bucket_insert(i);
      next_in_stage = n;
      return n;
    }
    while (admitted_now == 0 && next_in_stage < n) {
      const int s = stage[by_stage[next_in_stage]];
      for (; next_in_stage < n && stage[by_stage[next_in_stage]] == s; ++next_in_stage) {
        const int i = by_stage[next_in_stage];
        if (m.status[i] == kVariable) {
          m.bucket_insert(i);
          ++admitted_now;
        }
      }
    }
    return admitted_now;
  };
  // The stage a vertex belongs to is admitted once all earlier stages are eliminated.
  auto admitted = [&](int i) {
    return stage == nullptr || stage[i] <= stage[by_stage[next_in_stage - 1]];
  };
  admit_next_stage();

  int norder = 0;
  while (norder < n) {
    while (m.mindeg <= m.maxdeg && m.head[m.mindeg] < 0) ++m.mindeg;
    if (m.mindeg > m.maxdeg) {
      m.mindeg = m.maxdeg;
      if (admit_next_stage() == 0) return kOrderBadInput;  // unreachable: all are numbered
      continue;
    }
    // One round of multiple elimination.
    const int limit = m.mindeg + kMultipleEliminationDelta;
    m.ntouched = 0;
    for (int d = m.mindeg; d <= std::min(limit, m.maxdeg); ++d) {
      while (m.head[d] >= 0) {
        if (!m.eliminate(m.head[d], m.perm.get(), &norder)) return kOrderNoMemory;
      }
    }
    m.merge_indistinguishable(stage);
    // Every supervariable left in the lists has a degree of at least the round's minimum;
    // the touched ones re-enter below and may lower it.
    for (int a = 0; a < m.ntouched; ++a) {
      const int i = m.touched[a];
      m.in_round[i] = 0;
      if (m.status[i] != kVariable) continue;
      m.compute_degree(i);
      if (admitted(i)) m.bucket_insert(i);
    }
  }
  for (int k = 0; k < n; ++k) order[k] = label ? label[m.perm[k]] : m.perm[k];
  return kOrderOk;
}

}  // namespace ztr
