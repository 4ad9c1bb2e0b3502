// The allocator table: the only way the memory manager obtains and returns memory.
//
// At load the library looks for an optional external allocator library, "libztr_alloc.so",
// found through the dynamic loader's usual search (LD_LIBRARY_PATH, the run path, the system
// directories).  If it exports the four data symbols "ztr_alloc_malloc", "ztr_alloc_calloc",
// "ztr_alloc_realloc" and "ztr_alloc_free", each a variable holding a non-null pointer to a
// function with the signature of the C runtime's malloc, calloc, realloc and free, the table
// takes those four functions; in every other case it takes the C runtime's.  The external
// library is never unloaded, so its functions stay valid for the life of the process.
#pragma once

#include <cstddef>

namespace ztr {

struct AllocatorTable {
  void* (*allocate)(std::size_t size);
  void* (*allocate_zeroed)(std::size_t count, std::size_t size);
  void* (*reallocate)(void* p, std::size_t size);
  void (*release)(void* p);
};

inline constexpr const char* kAllocatorLibrary = "libztr_alloc.so";

const AllocatorTable& allocator_table();
// True when the table holds the external library's functions.
bool allocator_is_external();

}  // namespace ztr
