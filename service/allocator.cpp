#include "service/allocator.h"

#include <dlfcn.h>

#include <cstdlib>

namespace ztr {
namespace {

AllocatorTable g_table{std::malloc, std::calloc, std::realloc, std::free};
bool g_external = false;

template <typename Fn>
Fn lookup(void* handle, const char* symbol) {
  // The library exports variables that hold the function pointers, not the functions.
  auto* slot = static_cast<Fn*>(dlsym(handle, symbol));
  return slot != nullptr ? *slot : nullptr;
}

// Runs when the library is loaded, before any exported call.
__attribute__((constructor)) void choose_allocator_table() {
  void* handle = dlopen(kAllocatorLibrary, RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) return;
  AllocatorTable t{lookup<decltype(t.allocate)>(handle, "ztr_alloc_malloc"),
                   lookup<decltype(t.allocate_zeroed)>(handle, "ztr_alloc_calloc"),
                   lookup<decltype(t.reallocate)>(handle, "ztr_alloc_realloc"),
                   lookup<decltype(t.release)>(handle, "ztr_alloc_free")};
  if (t.allocate && t.allocate_zeroed && t.reallocate && t.release) {
    g_table = t;
    g_external = true;
    return;  // keep the library loaded: the table now points into it
  }
  dlclose(handle);
}

}  // namespace

const AllocatorTable& allocator_table() { return g_table; }
bool allocator_is_external() { return g_external; }

}  // namespace ztr
