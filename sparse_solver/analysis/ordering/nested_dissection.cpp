#include "sparse_solver/analysis/ordering/nested_dissection.h"

#include <omp.h>

#include <algorithm>

#include "sparse_solver/analysis/ordering/minimum_degree.h"
#include "sparse_solver/analysis/ordering/node_bisection.h"
#include "sparse_solver/analysis/ordering/ordering_codes.h"
#include "sparse_solver/analysis/ordering/random_stream.h"
#include "sparse_solver/analysis/ordering/separator_refine.h"

namespace ztr {
namespace {

// A bisection makes at least two complete multilevel bisections from independent streams
// (unless a shortcut below drops the second) and keeps the best: under the tight balance
// rule a single multilevel run often ends in a separator a few vertices thicker than needed,
// and on irregular graphs (random geometric ones) the second run lowers fill by about 3
// percent for about half again the time.
constexpr int kMinTries = 2;
// Ancestors in a row that gave the same answer before a subgraph takes the shortcut:
// - after two level-structure separators that beat the multilevel ones by a wide margin (a
//   piece of a mesh), the level structure's separator alone, without multilevel tries: on the
//   2-D and 3-D grids this takes 15 to 40 percent off the ordering time for up to 2 percent
//   more fill, while after one such ancestor only, random geometric graphs lost 3 percent;
// - after two level structures that lost by a wide margin, none: about 5 percent less time on
//   random geometric graphs, fill unchanged;
// - after three bisections whose tries all kept the same one of their two partitions, only
//   that one is carried: 17 to 27 percent less time on the 27-point grids, whose separators
//   come from edge cuts, fill unchanged; after two, random geometric graphs lost 0.6 to 1
//   percent.
constexpr int kLevelOnlyAfter = 2;
constexpr int kSkipLevelAfter = 2;
constexpr int kOnePartitionAfter = 3;
// The further tries are dropped (the number of separators asked for is made, by default one):
// - after four bisections in a row whose second try ended on the first one's separator
//   weight: on the 27-point grids nine second tries in ten tie and are wasted work (5 percent
//   less time there, fill within 0.15 percent; after three ties, +0.4 percent on the 20^3
//   grid), while on random geometric graphs, where a second try wins one time in three, four
//   ties in a row are rare;
// - below 512 vertices where the level structure is no longer built (irregular graphs): the
//   small subgraphs are many and a second try gains them little (8 to 12 percent less time
//   on random geometric graphs and a structural matrix for a few tenths of a percent of fill,
//   which the wider initial search of large subgraphs pays back; below 1 024, the larger of
//   two geometric graphs lost 0.4 percent more; without the condition, meshes lost up to 0.7).
constexpr int kOneTryAfterTies = 4;
constexpr int kOneTryBelow = 512;

bool one_try(const NdHistory& h, int n) {
  return h.ties >= kOneTryAfterTies || (n < kOneTryBelow && h.level <= -kSkipLevelAfter);
}

BisectionHint hint_from(const NdHistory& h) {
  BisectionHint hint;
  hint.level_only = h.level >= kLevelOnlyAfter;
  hint.skip_level = h.level <= -kSkipLevelAfter;
  if (h.partition >= kOnePartitionAfter) hint.partitions = kSeparatorPartition;
  if (h.partition <= -kOnePartitionAfter) hint.partitions = kCutPartition;
  return hint;
}

// Extends a run by one answer: +1 and -1 lengthen a run of their sign or start a new one, 0
// ends it.
int extend_run(int run, int answer) {
  if (answer > 0) return run > 0 ? run + 1 : 1;
  if (answer < 0) return run < 0 ? run - 1 : -1;
  return 0;
}

NdHistory history_after(NdHistory h, const BisectionOutcome& out) {
  h.level = extend_run(h.level, out.level);
  // Only a bisection that made two or more tries tells whether they tie.
  if (out.ties != 0) h.ties = out.ties > 0 ? h.ties + 1 : 0;
  // A bisection without multilevel tries tells nothing about the partitions.
  if (out.partitions != 0) {
    const int answer = out.partitions == kSeparatorPartition ? 1
                       : out.partitions == kCutPartition     ? -1
                                                             : 0;
    h.partition = extend_run(h.partition, answer);
  }
  return h;
}

void record(const NdShared& sh, int slot, int first, int last) {
  if (sh.tree == nullptr) return;
  sh.tree[2 * slot] = first;
  sh.tree[2 * slot + 1] = last;
}

// Tree slots: leaves 0 .. P-1 first, then the separator of internal node k (1 .. P-1) in
// slot P + k - 1.
int leaf_slot(const NdShared& sh, int node, int depth) {
  return (node << (sh.levels - depth)) - sh.parts;
}

// A part ordered on its own by multiple minimum degree (vertex weights count as
// multiplicities), straight into its range of positions.
int order_part(const NdShared& sh, const OrderGraph& g, const int* label, int first) {
  return MMDOrder(sh.mem, g.n, g.xadj.get(), g.adjncy.get(), g.vwgt.get(), nullptr, label,
                  sh.order + first);
}

int dissect_owned(const NdShared& sh, OrderGraph g, WorkArray<int> label, int first, int node,
                  int depth, int threads, std::uint64_t seed, NdHistory history);

}  // namespace

int ztr_pds_metis_mlevelnesteddissection_korvine(const NdShared& sh, const OrderGraph& g,
                                                 const int* label, int first, int node, int depth,
                                                 int threads, std::uint64_t seed,
                                                 NdHistory history) {
  const int n = g.n;
  if (n == 0) return kOrderOk;
  if (depth == sh.levels) record(sh, leaf_slot(sh, node, depth), first, first + n - 1);
  const bool in_tree = depth < sh.levels;

  WorkArray<int> where;
  int count[3] = {0, 0, 0};
  if (n > kMmdPartSize) {
    if (!where.allocate(sh.mem, static_cast<std::size_t>(n),
                        "ztr_pds_metis_mlevelnesteddissection_korvine: where")) {
      return kOrderNoMemory;
    }
    const int tries = one_try(history, n) ? sh.tries : std::max(sh.tries, kMinTries);
    BisectionOutcome outcome;
    const int rc =
        node_bisection(sh.mem, g, seed, tries, hint_from(history), where.get(), &outcome);
    if (rc != kOrderOk) return rc;
    history = history_after(history, outcome);
    for (int v = 0; v < n; ++v) ++count[where[v]];
  }
  // Small parts, and graphs that would not split (a part would be the whole graph), are
  // ordered by minimum degree.
  if (n <= kMmdPartSize || count[0] == n || count[1] == n) {
    if (in_tree) record(sh, leaf_slot(sh, node, depth), first, first + n - 1);
    return order_part(sh, g, label, first);
  }

  // The separator last, after both halves.
  const int sep_first = first + count[0] + count[1];
  int pos = sep_first;
  for (int v = 0; v < n; ++v) {
    if (where[v] == kSeparator) sh.order[pos++] = label ? label[v] : v;
  }
  if (in_tree) record(sh, sh.parts + node - 1, sep_first, first + n - 1);

  // The two halves as subgraphs of their own, with their labels.
  OrderGraph half[2];
  WorkArray<int> half_label[2];
  {
    WorkArray<int> verts, map;
    if (!verts.allocate(sh.mem, static_cast<std::size_t>(n),
                        "ztr_pds_metis_mlevelnesteddissection_korvine: verts") ||
        !map.allocate(sh.mem, static_cast<std::size_t>(n),
                      "ztr_pds_metis_mlevelnesteddissection_korvine: map")) {
      return kOrderNoMemory;
    }
    for (int v = 0; v < n; ++v) map[v] = -1;
    for (int s = 0; s < 2; ++s) {
      int nv = 0;
      for (int v = 0; v < n; ++v) {
        if (where[v] == s) verts[nv++] = v;
      }
      if (!half_label[s].allocate(sh.mem, static_cast<std::size_t>(nv),
                                  "ztr_pds_metis_mlevelnesteddissection_korvine: label")) {
        return kOrderNoMemory;
      }
      for (int a = 0; a < nv; ++a) half_label[s][a] = label ? label[verts[a]] : verts[a];
      const int rc = induced_subgraph(sh.mem, g, verts.get(), nv, map.get(), &half[s],
                                      "ztr_pds_metis_mlevelnesteddissection_korvine: subgraph");
      if (rc != kOrderOk) return rc;
    }
  }
  where.release();

  const int half_first[2] = {first, first + count[0]};
  const int half_threads[2] = {(threads + 1) / 2, threads / 2};
  int half_rc[2] = {kOrderOk, kOrderOk};
  auto run_half = [&](int s) {
    half_rc[s] = dissect_owned(sh, std::move(half[s]), std::move(half_label[s]), half_first[s],
                               2 * node + s, depth + 1, half_threads[s] > 0 ? half_threads[s] : 1,
                               RandomStream::child_seed(seed, s), history);
  };
  if (in_tree && threads > 1) {
#pragma omp parallel num_threads(2)
    {
      // With fewer threads than asked for, one thread takes both halves.
      const int t = omp_get_thread_num();
      const int nt = omp_get_num_threads();
      for (int s = t; s < 2; s += nt) run_half(s);
    }
  } else {
    run_half(0);
    run_half(1);
  }
  return half_rc[0] != kOrderOk ? half_rc[0] : half_rc[1];
}

namespace {

// A half owns its graph and labels for the time of its subtree.  Halves shrink
// geometrically, so the subgraphs alive at any time weigh about three times the top graph.
int dissect_owned(const NdShared& sh, OrderGraph g, WorkArray<int> label, int first, int node,
                  int depth, int threads, std::uint64_t seed, NdHistory history) {
  return ztr_pds_metis_mlevelnesteddissection_korvine(sh, g, label.get(), first, node, depth,
                                                      threads, seed, history);
}

}  // namespace

int MlevelNestedDissectionCC(const NdShared& sh, const OrderGraph& g) {
  const int n = g.n;
  WorkArray<int> comp, verts, map;
  if (!comp.allocate(sh.mem, static_cast<std::size_t>(n), "MlevelNestedDissectionCC: comp") ||
      !verts.allocate(sh.mem, static_cast<std::size_t>(n), "MlevelNestedDissectionCC: verts") ||
      !map.allocate(sh.mem, static_cast<std::size_t>(n), "MlevelNestedDissectionCC: map")) {
    return kOrderNoMemory;
  }
  const int ncomp = connected_components(sh.mem, g, comp.get());
  if (ncomp < 0) return ncomp;
  // Vertices grouped by component (counting sort keeps the vertex order within each).
  WorkArray<int> start;
  if (!start.allocate(sh.mem, static_cast<std::size_t>(ncomp) + 1,
                      "MlevelNestedDissectionCC: sgraphs", true)) {
    return kOrderNoMemory;
  }
  for (int v = 0; v < n; ++v) ++start[comp[v] + 1];
  for (int c = 0; c < ncomp; ++c) start[c + 1] += start[c];
  for (int v = 0; v < n; ++v) verts[start[comp[v]]++] = v;
  for (int c = ncomp; c > 0; --c) start[c] = start[c - 1];
  start[0] = 0;
  for (int v = 0; v < n; ++v) map[v] = -1;
  NdShared local = sh;
  local.tree = nullptr;
  local.levels = 0;
  std::uint64_t seed = kOrderingSeed;
  for (int c = 0; c < ncomp; ++c) {
    const int nv = start[c + 1] - start[c];
    OrderGraph sub;
    WorkArray<int> label;
    if (!label.allocate(sh.mem, static_cast<std::size_t>(nv), "MlevelNestedDissectionCC: label")) {
      return kOrderNoMemory;
    }
    for (int a = 0; a < nv; ++a) label[a] = verts[start[c] + a];
    int rc = induced_subgraph(sh.mem, g, verts.get() + start[c], nv, map.get(), &sub,
                              "MlevelNestedDissectionCC: sgraphs");
    if (rc == kOrderOk) {
      rc = dissect_owned(local, std::move(sub), std::move(label), start[c], 1, 1, 1, seed,
                         NdHistory());
    }
    if (rc != kOrderOk) return rc;
    seed = RandomStream::child_seed(seed, 1);
  }
  return kOrderOk;
}

}  // namespace ztr
