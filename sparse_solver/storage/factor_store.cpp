#include "sparse_solver/storage/factor_store.h"

#include <cstring>

#include "service/platform.h"

namespace ztr {
namespace {

// Zeroed storage of `bytes`: kept and cleared when `a` already has that size, else new and
// backed with pages in one request (a fresh block's pages are cleared by the system anyway,
// and asking for all of them at once costs about half of taking a fault on each; where the
// system cannot, the pages are touched here in one pass rather than one at a time between
// the updates).
bool zeroed(WorkArray<unsigned char>& a, std::size_t bytes, WorkMemory* mem, StageStatus* st) {
  if (a.get() != nullptr && a.size() == bytes) {
    std::memset(a.get(), 0, bytes);
    return true;
  }
  if (a.allocate(mem, bytes, "korvine factor", true)) {
    if (!platform().prefault(a.get(), bytes)) std::memset(a.get(), 0, bytes);
    return true;
  }
  *st = {kErrMemory, kStageFactorData, static_cast<long long>(bytes)};
  return false;
}

}  // namespace

StageStatus FactorStore::prepare(const Supernodes& sn, FactorKind kind, std::size_t value_bytes,
                                 WorkMemory* mem) {
  StageStatus st;
  const std::size_t values = static_cast<std::size_t>(sn.values);
  const bool has_u = kind_has_u(kind), indefinite = kind_is_indefinite(kind);
  window_.close();
  has_u_ = has_u;
  if (!has_u) u_.release();
  if (!indefinite) d_.release();
  pivots_.release();
  if (!zeroed(l_, values * value_bytes, mem, &st) ||
      (has_u && !zeroed(u_, values * value_bytes, mem, &st)) ||
      (indefinite && !zeroed(d_, 2 * static_cast<std::size_t>(sn.n) * value_bytes, mem, &st)))
    return st;
  if (!pivots_.allocate(mem, sn.n, "korvine pivots"))
    st = {kErrMemory, kStageFactorData, 4LL * sn.n};
  return st;
}

StageStatus FactorStore::prepare_out_of_core(const Supernodes& sn, FactorKind kind,
                                             std::size_t value_bytes, WorkMemory* mem,
                                             OocRecord* rec, int index, std::size_t budget,
                                             int msglvl) {
  StageStatus st;
  const bool has_u = kind_has_u(kind), indefinite = kind_is_indefinite(kind);
  l_.release();
  u_.release();
  d_.release();
  pivots_.release();
  has_u_ = has_u;
  if (indefinite && !zeroed(d_, 2 * static_cast<std::size_t>(sn.n) * value_bytes, mem, &st))
    return st;
  if (!pivots_.allocate(mem, sn.n, "korvine pivots"))
    return {kErrMemory, kStageFactorData, 4LL * sn.n};
  return window_.open(sn, has_u, value_bytes, budget, rec, index, msglvl, mem);
}

long long FactorStore::value_bytes(const Supernodes& sn, FactorKind kind, std::size_t value_bytes) {
  const long long one = sn.values * static_cast<long long>(value_bytes);
  return kind_has_u(kind) ? 2 * one : one;
}

long long FactorStore::bytes(const Supernodes& sn, FactorKind kind, std::size_t value_bytes) {
  const long long d =
      kind_is_indefinite(kind) ? 2LL * sn.n * static_cast<long long>(value_bytes) : 0;
  const long long pivots = static_cast<long long>(sizeof(int)) * (sn.n > 0 ? sn.n : 1);
  return FactorStore::value_bytes(sn, kind, value_bytes) + d + pivots;
}

void FactorStore::release() {
  window_.close();
  l_.release();
  u_.release();
  d_.release();
  pivots_.release();
}

}  // namespace ztr
