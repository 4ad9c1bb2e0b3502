// The scale factor that brings a matrix whose largest entry has magnitude anrm into
// [rmin, rmax], where the eigensolvers' iterations neither overflow nor lose accuracy to
// underflow; 1 when it is there already (and for a zero matrix).  The drivers scale the
// matrix by it before the reduction and the eigenvalues by its inverse afterwards.
#pragma once

namespace ztr {

inline double safe_range_factor(double anrm, double rmin, double rmax) {
  if (anrm > 0.0 && anrm < rmin) return rmin / anrm;
  if (anrm > rmax) return rmax / anrm;
  return 1.0;
}

}  // namespace ztr
