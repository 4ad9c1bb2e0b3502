// The fill-reducing reordering of the sparse solver's analysis: symmetric graph in,
// permutation and the top of the separator tree out.
#pragma once

namespace ztr {

// Reordering methods (the solver's iparm[1]).
inline constexpr int kOrderMinimumDegree = 0;
inline constexpr int kOrderConstrainedMinimumDegree = 1;
inline constexpr int kOrderNestedDissection = 2;
inline constexpr int kOrderParallelNestedDissection = 3;

// Orders the graph of an n x n symmetric pattern.
//
//   xadj, adjncy  zero-based compressed rows (n + 1 and xadj[n] entries); diagonal entries
//                 may be present and are ignored.  The pattern should be symmetric; one that
//                 is not is ordered as the pattern of A + A'.
//   method        0 multiple minimum degree; 1 constrained minimum degree (see `constraint`);
//                 2 nested dissection; 3 nested dissection on `threads` threads
//   threads       thread count for method 3 (values below 1 count as 1)
//   perm          out, n entries: perm[k] is the vertex placed at position k
//   tree, parts   separator tree buffer of 4 * P entries, P = *parts rounded up to a power of
//                 two (at least 1), and the requested part count; on return *parts is the
//                 number of parts recorded (1 when the order was not split).  The layout is
//                 described in nd_order.h.  Methods 0 and 1 record one part.  Either may be
//                 null when no tree is wanted (both, or only tree).
//   bytes         if not null, the peak memory of the call in bytes is added to *bytes
//   constraint    method 1 only, n entries or null: vertices of a lower constraint value are
//                 ordered before those of a higher one, each group by minimum degree; null
//                 gives plain minimum degree
//
// Graphs of n <= 8 are returned in the identity order by the nested-dissection methods.
// Returns 0, kOrderNoMemory (-2), kOrderBadInput (-3: bad arguments, unknown method) or
// kOrderOverflow (-8: sizes beyond 32-bit integers).  Inputs are never modified, and on
// failure the outputs may be partly written.
int reorder(int n, const int* xadj, const int* adjncy, int method, int threads, int* perm,
            int* tree, int* parts, long long* bytes, const int* constraint = nullptr);

// Label of the allocation that failed in the last failing call on this thread (null if
// none): for diagnostics and tests.
const char* reorder_failed_allocation();

}  // namespace ztr
