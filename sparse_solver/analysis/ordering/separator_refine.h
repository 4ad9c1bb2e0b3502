// Vertex-separator refinement: Fiduccia-Mattheyses passes that move separator vertices into
// one of the two parts (pulling their neighbours in the other part into the separator) as
// long as that shrinks the separator within the balance tolerance.
#pragma once

#include "sparse_solver/analysis/ordering/ordering_graph.h"
#include "sparse_solver/analysis/ordering/refine_work.h"

namespace ztr {

// The run of moves without improvement after which a refinement pass (of a separator or of
// an edge cut) gives up: hill climbing for a while lets a pass leave a local minimum, the
// bound keeps the cost of the rolled-back tail small.
// The limit grows with the size n of the graph being refined.  The floor is low because the
// small graphs (the coarsest levels and the subgraphs of a few hundred vertices deep in the
// dissection) are refined most often: a floor of 40 moved half of a 100-vertex graph in
// every pass and cost an eighth of the ordering's time without lowering fill.
inline int fruitless_move_limit(int n) {
  constexpr int kMinFruitlessMoves = 15, kMaxFruitlessMoves = 200;
  const int limit = n / 25;
  return limit < kMinFruitlessMoves ? kMinFruitlessMoves
                                    : (limit > kMaxFruitlessMoves ? kMaxFruitlessMoves : limit);
}

// Labels of a vertex in a bisection.
inline constexpr int kPart0 = 0;
inline constexpr int kPart1 = 1;
inline constexpr int kSeparator = 2;

// Weight of part 0, part 1 and the separator.
void separator_weights(const OrderGraph& g, const int* where, long long pwgt[3]);

// The balance rule of a bisection.  With a and b the weights of the two parts (separator
// vertices not counted), the bisection is balanced when the heavier part weighs at most ub
// times half of a + b:  max(a, b) <= ub * (a + b) / 2,  i.e. |a - b| <= (ub - 1) * (a + b).
// Every bisection of the dissection, its initial partition and every refinement pass (of
// separators and of edge cuts alike) use this one rule with ub = kBisectionBalance.  One
// exception keeps the rule satisfiable on weighted graphs: when a single vertex outweighs
// that margin (heavy coarse or compressed vertices), a difference |a - b| up to the weight
// of the heaviest vertex is accepted as well.
struct Balance {
  double ub = 1;
  long long heaviest = 1;
  bool ok(long long a, long long b) const {
    const long long diff = a > b ? a - b : b - a;
    return 2.0 * static_cast<double>(a > b ? a : b) <= ub * static_cast<double>(a + b) ||
           diff <= heaviest;
  }
};
Balance make_balance(const OrderGraph& g, double ub);

// Refines the separator `where` (which must separate: no edge joins part 0 and part 1) under
// the balance rule `bal` and updates pwgt.  The result is again a separator.  With nseeds >= 0
// work->sep_seeds[0 .. nseeds) lists every separator vertex (others may be listed too);
// otherwise the separator is found by a scan.  `work` has room for g.
void refine_separator(RefineWork* work, const OrderGraph& g, const Balance& bal, int* where,
                      long long pwgt[3], int nseeds = -1);

// Orders two bisections given as weights (part 0, part 1, separator): true when a is better
// than b: a balanced one beats an unbalanced one; of two unbalanced ones the one with the
// smaller difference between the parts wins; of two balanced ones the smaller separator, then
// the smaller difference.
bool better_bisection(const long long a[3], const long long b[3], const Balance& bal);

}  // namespace ztr
