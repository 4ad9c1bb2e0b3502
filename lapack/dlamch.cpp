#include "lapack/dlamch.h"

#include <limits>

namespace ztr {

double dlamch(const char* cmach) {
  using L = std::numeric_limits<double>;
  // Rounding to nearest halves the spacing of the numbers next to 1.
  constexpr double eps = L::epsilon() * 0.5;
  switch (*cmach) {
    case 'E': case 'e': return eps;
    case 'S': case 's': {
      // The reciprocal of the largest number is below the smallest normal number, so the
      // smallest normal number is the safe minimum.
      constexpr double tiny = L::min();
      constexpr double small = 1.0 / L::max();
      return small >= tiny ? small * (1.0 + eps) : tiny;
    }
    case 'B': case 'b': return L::radix;
    case 'P': case 'p': return eps * L::radix;
    case 'N': case 'n': return L::digits;
    case 'R': case 'r': return 1.0;
    case 'M': case 'm': return L::min_exponent;
    case 'U': case 'u': return L::min();
    case 'L': case 'l': return L::max_exponent;
    case 'O': case 'o': return L::max();
    default: return 0.0;
  }
}

}  // namespace ztr
