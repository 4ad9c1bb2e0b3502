#include "sparse_solver/interface/handle.h"

#include <cstring>
#include <new>

#include "service/memory.h"
#include "sparse_solver/storage/ooc_files.h"

namespace ztr {
namespace {

template <class T>
T* make_record(long long* bytes) {
  void* p = mm_malloc_direct(sizeof(T), kSolverAlignment);
  if (p == nullptr) {
    *bytes = static_cast<long long>(sizeof(T));
    return nullptr;
  }
  return new (p) T();
}

template <class T>
void destroy_record(T* p) {
  if (p == nullptr) return;
  p->~T();
  mm_free_direct(p);
}

}  // namespace

bool create_handle(void** pt, long long* bytes) {
  auto* control = make_record<ControlRecord>(bytes);
  auto* copy = control != nullptr ? make_record<MatrixCopy>(bytes) : nullptr;
  void* scratch =
      copy != nullptr ? mm_calloc_direct(1, kScratchRecordBytes, kSolverAlignment) : nullptr;
  if (scratch == nullptr) {
    if (copy != nullptr) *bytes = kScratchRecordBytes;
    destroy_record(copy);
    destroy_record(control);
    return false;
  }
  for (int i = 0; i < kHandleWords; ++i) pt[i] = nullptr;
  pt[kHandleControlWord] = control;
  pt[kHandleCopyWord] = copy;
  pt[kHandleScratchWord] = scratch;
  return true;
}

bool create_factor_records(ControlRecord* c, int maxfct) {
  void* p =
      mm_malloc_direct(sizeof(Factorization) * static_cast<std::size_t>(maxfct), kSolverAlignment);
  if (p == nullptr) return false;
  c->factors = static_cast<Factorization*>(p);
  for (int i = 0; i < maxfct; ++i) new (&c->factors[i]) Factorization();
  c->maxfct = maxfct;
  return true;
}

void release_factor(ControlRecord* c, int index) {
  if (c->factors == nullptr) return;
  Factorization& f = c->factors[index];
  f.~Factorization();
  new (&f) Factorization();
}

void release_analysis(void** pt) {
  ControlRecord* c = handle_control(pt);
  if (c->factors != nullptr) {
    for (int i = 0; i < c->maxfct; ++i) c->factors[i].~Factorization();
    mm_free_direct(c->factors);
    c->factors = nullptr;
  }
  // The temporary files of an out-of-core run go with the analysis they belong to (a new
  // analysis or phase -1), unless the caller keeps them (keep_file = 0).  The factorizations'
  // streams are closed by now.
  if (c->ooc.keep_file != 0)
    ooc_remove_files(&c->ooc, kind_has_u(c->shape.kind), c->matching, c->msglvl);
  c->plan = SubtreePlan();
  c->separator_tree.release();
  c->separator_parts = 1;
  c->sn.~Supernodes();
  new (&c->sn) Supernodes();
  c->analysed = false;
  MatrixCopy* copy = handle_copy(pt);
  copy->ia.release();
  copy->ja.release();
  copy->inserted.release();
}

void release_handle(void** pt) {
  if (pt[kHandleControlWord] != nullptr) {
    release_analysis(pt);
    destroy_record(handle_control(pt));
  }
  destroy_record(handle_copy(pt));
  if (pt[kHandleScratchWord] != nullptr) mm_free_direct(pt[kHandleScratchWord]);
  for (int i = 0; i < kHandleWords; ++i) pt[i] = nullptr;
}

void count_call(void** pt) {
  auto w = reinterpret_cast<std::intptr_t>(pt[kHandleCallCountWord]);
  if (w <= 0) w = 0;
  pt[kHandleCallCountWord] = reinterpret_cast<void*>(w + 1);
}

}  // namespace ztr
