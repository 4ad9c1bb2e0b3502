// Machine parameters of IEEE double precision, as the LAPACK routines ask for them.
#pragma once

namespace ztr {

// cmach (first character, either case):
//   'E' eps, relative machine precision (2^-53: arithmetic rounds to nearest)
//   'S' sfmin, safe minimum: 1/sfmin does not overflow (2^-1022)
//   'B' base (2)          'P' eps*base (2^-52)    'N' mantissa digits (53)
//   'R' 1.0 (rounding)    'M' emin (-1021)        'U' rmin, underflow threshold (2^-1022)
//   'L' emax (1024)       'O' rmax, overflow threshold (largest finite)
// Any other letter gives 0.
double dlamch(const char* cmach);

}  // namespace ztr
