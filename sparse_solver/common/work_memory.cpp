#include "sparse_solver/common/work_memory.h"

#include <cstring>

#include "service/memory.h"

namespace ztr {

void* work_alloc(WorkMemory* mem, std::size_t count, std::size_t elem_size, bool zero,
                 const char* label) {
  void* p = nullptr;
  if (elem_size != 0 && count <= SIZE_MAX / elem_size) {
    p = zero ? mm_calloc_direct(count, elem_size, kWorkAlignment)
             : mm_malloc_direct(count * elem_size, kWorkAlignment);
  }
  if (p == nullptr) {
    const char* none = nullptr;
    mem->failed_label.compare_exchange_strong(none, label);
    return nullptr;
  }
  const long long bytes = static_cast<long long>(count * elem_size);
  const long long now = mem->in_use.fetch_add(bytes) + bytes;
  long long peak = mem->peak.load();
  while (now > peak && !mem->peak.compare_exchange_weak(peak, now)) {
  }
  return p;
}

void work_free(WorkMemory* mem, void* p, std::size_t count, std::size_t elem_size) {
  if (p == nullptr) return;
  mem->in_use.fetch_sub(static_cast<long long>(count * elem_size));
  mm_free_direct(p);
}

}  // namespace ztr
