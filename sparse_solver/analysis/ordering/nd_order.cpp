#include "sparse_solver/analysis/ordering/nd_order.h"

#include <omp.h>

#include <algorithm>

#include "sparse_solver/analysis/ordering/nested_dissection.h"
#include "sparse_solver/analysis/ordering/ordering_codes.h"
#include "sparse_solver/analysis/ordering/random_stream.h"

namespace ztr {
namespace {

// Compression is kept only when it removes more than 15% of the vertices: below that the
// bookkeeping costs more than the smaller graph saves.
constexpr double kCompressKeepFraction = 0.85;
// The largest part count whose tree indices fit in an int.
constexpr int kMaxParts = 1 << 29;

// Groups of vertices with identical closed neighbourhoods (adj(v) + v).  cptr/cind list the
// members of each group; the compressed graph has one vertex per group, weighted by its size.
struct Compression {
  WorkArray<int> cptr, cind;
  int groups = 0;
};

int find_groups(WorkMemory* mem, const OrderGraph& g, Compression* c) {
  const int n = g.n;
  const std::size_t un = static_cast<std::size_t>(n);
  WorkArray<unsigned long long> key;
  WorkArray<int> idx, mark, group;
  if (!key.allocate(mem, un, "ONMETIS: keys") || !idx.allocate(mem, un, "ONMETIS: keys") ||
      !mark.allocate(mem, un, "ONMETIS: mark") || !group.allocate(mem, un, "ONMETIS: map") ||
      !c->cptr.allocate(mem, un + 1, "ONMETIS: cptr") ||
      !c->cind.allocate(mem, un, "ONMETIS: cind")) {
    return kOrderNoMemory;
  }
  for (int v = 0; v < n; ++v) {
    unsigned long long h = static_cast<unsigned>(v);
    for (int k = g.xadj[v]; k < g.xadj[v + 1]; ++k) h += static_cast<unsigned>(g.adjncy[k]);
    key[v] = h;
    idx[v] = v;
    mark[v] = -1;
    group[v] = -1;
  }
  std::sort(idx.get(), idx.get() + n, [&](int a, int b) {
    const int da = g.xadj[a + 1] - g.xadj[a], db = g.xadj[b + 1] - g.xadj[b];
    if (key[a] != key[b]) return key[a] < key[b];
    if (da != db) return da < db;
    return a < b;
  });
  // Within a run of equal keys and degrees, compare each unassigned vertex with the rest.
  int ng = 0, nm = 0;
  for (int a = 0; a < n; ++a) {
    const int v = idx[a];
    if (group[v] >= 0) continue;
    group[v] = ng;
    c->cptr[ng] = nm;
    c->cind[nm++] = v;
    mark[v] = v;
    for (int k = g.xadj[v]; k < g.xadj[v + 1]; ++k) mark[g.adjncy[k]] = v;
    const int dv = g.xadj[v + 1] - g.xadj[v];
    for (int b = a + 1; b < n; ++b) {
      const int u = idx[b];
      if (key[u] != key[v] || g.xadj[u + 1] - g.xadj[u] != dv) break;
      if (group[u] >= 0 || mark[u] != v) continue;  // u must be adjacent to v
      bool same = true;
      for (int k = g.xadj[u]; k < g.xadj[u + 1] && same; ++k) same = mark[g.adjncy[k]] == v;
      if (same) {
        group[u] = ng;
        c->cind[nm++] = u;
      }
    }
    ++ng;
  }
  c->cptr[ng] = nm;
  c->groups = ng;
  return kOrderOk;
}

// The graph of the groups: the representative's (first member's) neighbours, by group.
int compressed_graph(WorkMemory* mem, const OrderGraph& g, const Compression& c, OrderGraph* out) {
  const int n = g.n, ng = c.groups;
  WorkArray<int> group, mark;
  if (!group.allocate(mem, static_cast<std::size_t>(n), "ONMETIS: map") ||
      !mark.allocate(mem, static_cast<std::size_t>(ng), "ONMETIS: mark") ||
      !out->xadj.allocate(mem, static_cast<std::size_t>(ng) + 1, "ONMETIS: cxadj") ||
      !out->adjncy.allocate(mem, static_cast<std::size_t>(g.nnz()), "ONMETIS: cadjncy") ||
      !out->vwgt.allocate(mem, static_cast<std::size_t>(ng), "ONMETIS: cvwgt")) {
    return kOrderNoMemory;
  }
  for (int q = 0; q < ng; ++q) {
    mark[q] = -1;
    for (int k = c.cptr[q]; k < c.cptr[q + 1]; ++k) group[c.cind[k]] = q;
  }
  int cnt = 0;
  out->n = ng;
  out->xadj[0] = 0;
  for (int q = 0; q < ng; ++q) {
    const int v = c.cind[c.cptr[q]];
    mark[q] = q;
    for (int k = g.xadj[v]; k < g.xadj[v + 1]; ++k) {
      const int r = group[g.adjncy[k]];
      if (mark[r] != q) {
        mark[r] = q;
        out->adjncy[cnt++] = r;
      }
    }
    out->xadj[q + 1] = cnt;
    out->vwgt[q] = c.cptr[q + 1] - c.cptr[q];
  }
  out->total_vwgt = n;
  return kOrderOk;
}

// Turns entries left at -1 into empty ranges after their predecessor, walking the slots in
// position order (left subtree, right subtree, separator).
void fill_empty(int* tree, int parts, int node, int* end) {
  int slot;
  if (node >= parts) {
    slot = node - parts;
  } else {
    fill_empty(tree, parts, 2 * node, end);
    fill_empty(tree, parts, 2 * node + 1, end);
    slot = parts + node - 1;
  }
  if (tree[2 * slot] < 0) {
    tree[2 * slot] = *end + 1;
    tree[2 * slot + 1] = *end;
  } else {
    *end = tree[2 * slot + 1];
  }
}

// Restores the caller's nested-parallelism setting when the call ends, on every path.
struct NestedScope {
  int saved = -1;
  explicit NestedScope(bool on) {
    if (!on) return;
    saved = omp_get_max_active_levels();
    if (saved < 64) omp_set_max_active_levels(64);
  }
  ~NestedScope() {
    if (saved >= 0) omp_set_max_active_levels(saved);
  }
};

}  // namespace

int ONMETIS(WorkMemory* mem, OrderGraph g, const int* options, int threads, int* perm, int* iperm,
            int* tree, int* parts) {
  const int n = g.n;
  const int requested = parts ? *parts : 1;
  if (requested > kMaxParts) return kOrderBadInput;
  int P = 1, levels = 0;
  while (P < requested) {
    P *= 2;
    ++levels;
  }
  // Whether the root was split is read from the tree, so a caller without one gets a
  // private one.
  WorkArray<int> own_tree;
  if (tree == nullptr) {
    if (!own_tree.allocate(mem, 4 * static_cast<std::size_t>(P), "ONMETIS: sepinfo")) {
      return kOrderNoMemory;
    }
    tree = own_tree.get();
  }
  std::fill(tree, tree + 4 * P, -1);
  int opt[kNdOptionCount];
  std::copy(kNdDefaultOptions, kNdDefaultOptions + kNdOptionCount, opt);
  if (options != nullptr && options[0] != 0) std::copy(options, options + kNdOptionCount, opt);
  int flags = opt[5];
  const int prune = opt[6];
  int tries = std::max(1, opt[7]);
  if (threads < 1) threads = 1;

  // The graph actually dissected: pruned, compressed, or the whole one.  `kept` maps its
  // vertices back (pruning), `comp` its groups (compression).
  OrderGraph work;
  WorkArray<int> kept;
  Compression comp;
  bool compressed = false;
  int nkept = n;
  if (prune > 0 && n > 0) {
    const double threshold = 0.1 * prune * static_cast<double>(g.nnz()) / n;
    if (!kept.allocate(mem, static_cast<std::size_t>(n), "ONMETIS: piperm")) {
      return kOrderNoMemory;
    }
    nkept = 0;
    for (int v = 0; v < n; ++v) {
      const int d = g.xadj[v + 1] - g.xadj[v];
      if (!(d > 0 && d >= threshold)) kept[nkept++] = v;
    }
    if (nkept == n || nkept == 0) {
      nkept = n;
      kept.release();
    } else {
      WorkArray<int> map;
      if (!map.allocate(mem, static_cast<std::size_t>(n), "ONMETIS: map")) {
        return kOrderNoMemory;
      }
      for (int v = 0; v < n; ++v) map[v] = -1;
      const int rc =
          induced_subgraph(mem, g, kept.get(), nkept, map.get(), &work, "ONMETIS: pgraph");
      if (rc != kOrderOk) return rc;
    }
  } else if ((flags & kNdFlagCompress) && n > 0) {
    int rc = find_groups(mem, g, &comp);
    if (rc != kOrderOk) return rc;
    if (comp.groups >= kCompressKeepFraction * n) {
      flags &= ~kNdFlagCompress;
      comp = Compression();
    } else {
      compressed = true;
      if (n > 2 * comp.groups && tries == 1) tries = 2;
      rc = compressed_graph(mem, g, comp, &work);
      if (rc != kOrderOk) return rc;
    }
  }
  if (!compressed && kept.get() == nullptr) {
    work = std::move(g);
  } else {
    g = OrderGraph();
  }

  const int m = work.n;  // positions of the dissected graph
  const std::size_t um = static_cast<std::size_t>(m);
  WorkArray<int> order;
  if (!order.allocate(mem, um, "ONMETIS: order")) return kOrderNoMemory;
  int rc;
  if (flags & kNdFlagComponents) {
    rc = MlevelNestedDissectionCC(NdShared{mem, order.get(), nullptr, P, levels, tries}, work);
  } else {
    const NestedScope nested(threads > 1 && levels > 0);
    rc = ztr_pds_metis_mlevelnesteddissection_korvine(
        NdShared{mem, order.get(), tree, P, levels, tries}, work, nullptr, 0, 1, 0, threads,
        kOrderingSeed, NdHistory());
  }
  if (rc != kOrderOk) return rc;
  work = OrderGraph();

  // Back to the caller's vertices (and positions, for the tree).
  if (compressed) {
    WorkArray<int> start;  // first original position of each compressed position
    if (!start.allocate(mem, static_cast<std::size_t>(m) + 1, "ONMETIS: cptr")) {
      return kOrderNoMemory;
    }
    int pos = 0;
    for (int q = 0; q < m; ++q) {
      start[q] = pos;
      const int grp = order[q];
      for (int k = comp.cptr[grp]; k < comp.cptr[grp + 1]; ++k) perm[pos++] = comp.cind[k];
    }
    start[m] = pos;
    {
      for (int s = 0; s < 2 * P; ++s) {
        if (tree[2 * s] < 0) continue;
        const int f = tree[2 * s], l = tree[2 * s + 1];
        tree[2 * s] = start[f];
        tree[2 * s + 1] = start[l + 1] - 1;
      }
    }
  } else if (kept.get() != nullptr) {
    WorkArray<unsigned char> placed;
    if (!placed.allocate(mem, static_cast<std::size_t>(n), "ONMETIS: placed", true)) {
      return kOrderNoMemory;
    }
    for (int q = 0; q < m; ++q) {
      perm[q] = kept[order[q]];
      placed[perm[q]] = 1;
    }
    int pos = m;
    for (int v = 0; v < n; ++v) {
      if (!placed[v]) perm[pos++] = v;
    }
  } else {
    std::copy(order.get(), order.get() + m, perm);
  }
  if (iperm != nullptr) {
    for (int k = 0; k < n; ++k) iperm[perm[k]] = k;
  }

  int P_out = P;
  {
    // Not split at the root: one part.
    if ((flags & kNdFlagComponents) || P == 1 || tree[2 * P] < 0) {
      std::fill(tree, tree + 4 * P, -1);
      tree[0] = 0;
      tree[1] = n - 1;
      P_out = 1;
    }
    int end = -1;
    fill_empty(tree, P_out, 1, &end);
    // Pruned vertices follow everything: they extend the slot that comes last.
    const int last_slot = P_out == 1 ? 0 : P_out;
    tree[2 * last_slot + 1] = n - 1;
    for (int s = 2 * P_out - 1; s < 2 * P; ++s) {
      tree[2 * s] = n;
      tree[2 * s + 1] = n - 1;
    }
  }
  if (parts != nullptr) *parts = P_out;
  return kOrderOk;
}

}  // namespace ztr
