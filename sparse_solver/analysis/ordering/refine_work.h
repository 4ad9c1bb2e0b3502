// Work arrays of the refinement passes of one multilevel bisection.  They are allocated once
// for the finest graph and serve every coarser level and both kinds of refinement, so a level
// costs no allocation and no clearing of whole arrays: markers are stamps compared with a
// counter that only grows, and the queues are left empty by every pass.
#pragma once

#include "sparse_solver/analysis/ordering/gain_queue.h"

namespace ztr {

struct RefineWork {
  GainQueue queue[2];
  WorkArray<int> locked;     // stamp of the pass that moved the vertex
  WorkArray<int> mark;       // stamp of the last list or move that marked the vertex
  WorkArray<int> inside;     // edge refinement: edge weight to the vertex's own part
  WorkArray<int> outside;    // ... and to the other part
  WorkArray<int> log_v;      // moves of the pass, in order
  WorkArray<int> log_start;  // separator refinement: first pulled-in vertex of each move
  WorkArray<unsigned char> log_s;
  WorkArray<int> pulled;  // separator refinement: vertices pulled into the separator
  // The vertices a refinement looks at: the separator, or the boundary of an edge cut.  A
  // caller may hand in candidates (a superset, projected from the coarser level) in
  // `sep_seeds` or `cut_seeds`; after an edge refinement `list` holds exactly the boundary.
  WorkArray<int> list, sep_seeds, cut_seeds;
  int nlist = 0;
  int stamp = 0;
  int capacity = 0;

  // Room for graphs of up to n vertices.
  bool allocate(WorkMemory* mem, int n, const char* label) {
    const std::size_t un = static_cast<std::size_t>(n);
    capacity = n;
    return queue[0].allocate(mem, n, label) && queue[1].allocate(mem, n, label) &&
           locked.allocate(mem, un, label, true) && mark.allocate(mem, un, label, true) &&
           inside.allocate(mem, un, label) && outside.allocate(mem, un, label) &&
           log_v.allocate(mem, un, label) && log_start.allocate(mem, un, label) &&
           log_s.allocate(mem, un, label) &&
           // A vertex enters the separator from a part at most twice per pass: once before
           // its own move and once after it.
           pulled.allocate(mem, 2 * un, label) && list.allocate(mem, un, label) &&
           sep_seeds.allocate(mem, un, label) && cut_seeds.allocate(mem, un, label);
  }
  int next_stamp() { return ++stamp; }
};

}  // namespace ztr
