#include "bench/peer_blas.h"

#include <dlfcn.h>

#include <cstring>

namespace bench {
namespace {

template <typename Fn>
void resolve(void* lib, const char* name, Fn* fn) {
  void* sym = dlsym(lib, name);
  std::memcpy(fn, &sym, sizeof sym);
}

}  // namespace

const PeerBlas& peer_blas() {
  static const PeerBlas peer = [] {
    PeerBlas p;
    // RTLD_LOCAL and lookups through the handle: the peer's cblas_ddot never meets ours.
    void* lib = dlopen(ZTR_PEER_BLAS_PATH, RTLD_NOW | RTLD_LOCAL);
    if (lib == nullptr) return p;
    resolve(lib, "cblas_ddot", &p.ddot);
    resolve(lib, "openblas_set_num_threads", &p.set_num_threads);
    return p;
  }();
  return peer;
}

}  // namespace bench
