#include "sparse_solver/common/supernodes.h"

namespace ztr {

void mark_ancestors(const Supernodes& sn, unsigned char* need) {
  // Supernodes come before their parents.
  for (int s = 0; s < sn.count; ++s) {
    const int p = sn.parent(s);
    if (need[s] && p >= 0) need[p] = 1;
  }
}

}  // namespace ztr
