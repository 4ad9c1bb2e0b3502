// Generation of a plane rotation.
#pragma once

namespace ztr {

// c, s and r with [c s; -s c] * [f; g] = [r; 0] and c^2 + s^2 = 1: c >= 0, r carries the
// sign of f (for f = 0: c = 0, s = sign(g), r = |g|; for g = 0: c = 1, s = 0, r = f).
// Scaled where f or g lies outside the safe range, so nothing overflows or underflows.
void dlartg(double f, double g, double* c, double* s, double* r);

}  // namespace ztr
