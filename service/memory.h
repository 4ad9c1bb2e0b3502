// The memory manager.  All memory of the library comes from here, and through the allocator
// table underneath.  Every block is aligned to A = the requested alignment when that is a
// power of two of at least 64, else 64.
//
// Pooled family (mm_malloc / mm_free): for the work buffers of BLAS and LAPACK drivers, which
// free and re-allocate buffers of the same size call after call.  Each thread keeps up to
// five buffers that it gets back without a system allocation (an exact-size match is one scan
// of five entries, without a lock).  Requests above 40 MiB, the sixth buffer in use, threads
// beyond the 1024th and a pool switched off by "ZTR_DISABLE_FAST_MM" or "ZTR_MM_DISABLE" are
// served by direct blocks instead.  A buffer may be freed by another thread than its owner.
//
// Direct family (mm_*_direct): each block is taken from and returned to the allocator table
// at once.  Two words below the user pointer p hold the raw address (p - 2w) and the total
// size requested from the allocator (p - w), where w is the size of a pointer.
#pragma once

#include <cstddef>

namespace ztr {

// Above this size mm_malloc does not pool, so that the pool never pins very large blocks.
inline constexpr std::size_t kPoolBypassBytes = 41943040;  // 40 MiB
inline constexpr int kPoolBuffersPerThread = 5;
inline constexpr int kPoolMaxThreads = 1024;

// Alignment of the library's work arrays: two cache lines, so that arrays of different
// threads never share a line (nor the adjacent line the hardware prefetches with it), and a
// multiple of every vector width.
inline constexpr int kWorkAlignment = 128;

void* mm_malloc(std::size_t size, int alignment);
void mm_free(void* p);

void* mm_malloc_direct(std::size_t size, int alignment);
// Null for a zero or overflowing count * size.
void* mm_calloc_direct(std::size_t count, std::size_t size, int alignment);
// Null p allocates (64-byte aligned).  On failure the old block stays valid.  A block that
// moves is 64-byte aligned again.
void* mm_realloc_direct(void* p, std::size_t new_size);
void mm_free_direct(void* p);

// The effective alignment of a request.
int mm_effective_alignment(int alignment);

// Introspection for tests: state of the calling thread's pool.
struct PoolStats {
  int buffers;  // buffers made so far (0 to 5)
  int in_use;   // buffers handed out now
  bool disabled;
};
PoolStats mm_pool_stats();

}  // namespace ztr
