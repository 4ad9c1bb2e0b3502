// Vertex-separator refinement: Fiduccia-Mattheyses passes that move separator vertices into
// one of the two parts (pulling their neighbours in the other part into the separator) as
// long as that shrinks the separator within the balance tolerance.
#pragma once

#include "sparse_solver/ordering/ordering_graph.h"

namespace ztr {

// Labels of a vertex in a bisection.
inline constexpr int kPart0 = 0;
inline constexpr int kPart1 = 1;
inline constexpr int kSeparator = 2;

// Weight of part 0, part 1 and the separator.
void separator_weights(const OrderGraph& g, const int* where, long long pwgt[3]);

// Largest weight a part may have under balance tolerance `ub` (1.1: a part may exceed half
// of the total by 10%).  Never below what the heaviest vertex forces.
long long max_part_weight(const OrderGraph& g, double ub);

// Refines the separator `where` (which must separate: no edge joins part 0 and part 1) and
// updates pwgt.  The result is again a separator.
int refine_separator(WorkMemory* mem, const OrderGraph& g, double ub, int* where,
                     long long pwgt[3]);

// Orders two bisections: true when (a_max_part, a_sep) is better than (b_...): a balanced one
// beats an unbalanced one, then the smaller separator, then the better balance.
bool better_bisection(const long long a[3], const long long b[3], long long limit);

}  // namespace ztr
