// The compz argument of the tridiagonal eigensolvers that can return vectors, and the check
// of the arguments that go with it.
#pragma once

#include <algorithm>

#include "service/letters.h"

namespace ztr {

// What compz asks for: none, a given matrix updated, or the tridiagonal's own vectors.
enum Compz { kCompzNone = 0, kCompzUpdate = 1, kCompzVectors = 2 };

// Decodes compz ('N', 'V', 'I', either case) into *icompz and checks n and ldz (at least 1,
// and at least n when vectors are wanted).  Returns the one-based position of the first bad
// argument in the (compz, n, d, e, z, ldz) list, or 0.
inline int check_compz(const char* compz, int n, int ldz, int* icompz) {
  *icompz = -1;
  if (same_letter(*compz, 'N')) *icompz = kCompzNone;
  if (same_letter(*compz, 'V')) *icompz = kCompzUpdate;
  if (same_letter(*compz, 'I')) *icompz = kCompzVectors;
  if (*icompz < 0) return 1;
  if (n < 0) return 2;
  if (ldz < 1 || (*icompz != kCompzNone && ldz < std::max(1, n))) return 6;
  return 0;
}

}  // namespace ztr
