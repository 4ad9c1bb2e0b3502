// sqrt(x^2 + y^2) without unnecessary overflow or underflow.
#pragma once

namespace ztr {

// NaN when either argument is NaN.
double dlapy2(double x, double y);

}  // namespace ztr
