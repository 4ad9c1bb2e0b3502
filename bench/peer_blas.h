// A peer BLAS library, loaded at run time for comparison only.  Nothing of it is linked into
// the library or its tests; when it is not installed its benchmarks are simply not registered.
#pragma once

namespace bench {

struct PeerBlas {
  double (*ddot)(int n, const double* x, int incx, const double* y, int incy) = nullptr;
  void (*set_num_threads)(int n) = nullptr;
  bool loaded() const { return ddot != nullptr; }
};

// The peer as found on this machine (loaded once).
const PeerBlas& peer_blas();

}  // namespace bench
