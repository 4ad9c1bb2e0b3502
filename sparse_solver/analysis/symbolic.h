// The symbolic factorization: from the fill-reducing order of the symmetric portrait, the
// postordered elimination tree, the supernodes (fundamental, then relaxed within the panel
// width), their row structures, the value layout, and the scatter map that places every
// entry of the caller's matrix in the factor storage.
#pragma once

#include "sparse_solver/common/status.h"
#include "sparse_solver/common/supernodes.h"

namespace ztr {

// sn->perm holds the ordering (sn->n positions); it is renumbered here to the supernodes'
// postorder, and sn->iperm, first, owner, row_ptr, lindx, val_ptr and the counts are set.
// partner (n entries, or null) pairs the unknowns of 2x2 pivots, whose two columns are kept
// in one supernode; has_u: the factor keeps a U part (full-pattern kinds).
StageStatus symbolic_factorization(WorkMemory* mem, Supernodes* sn, const int* xadj, const int* adj,
                                   const int* partner, int panel_width, bool has_u);

// sn->scatter from the zero-based pattern ia, ja (entries outside 0..n-1 are not placed):
// place + 1 in the L storage, or -(place + 1) in the U storage; with symmetric_storage (only
// the upper triangle given, no U) -(place + 1) is a place in L that takes the entry's mirror
// image, the transposed (for Hermitian matrices the conjugated) entry.
StageStatus scatter_map(WorkMemory* mem, Supernodes* sn, const int* ia, const int* ja,
                        bool symmetric_storage);

}  // namespace ztr
