#include "service/memory.h"

#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <cstdint>
#include <cstring>
#include <new>

#include "service/allocator.h"
#include "service/platform.h"
#include "service/service_lock.h"

namespace ztr {
namespace {

using Address = std::uintptr_t;

// ---- direct blocks -------------------------------------------------------------------
// Header below the user pointer: [raw address][total bytes requested], pointer-sized words
// (two 32-bit words on i386).  A raw address of 0 marks a block that must not be released.
constexpr std::size_t kWord = sizeof(Address);
constexpr std::size_t kHeader = 2 * kWord;
constexpr int kMinAlignment = 64;

Address* header_of(void* p) { return reinterpret_cast<Address*>(p) - 2; }

void* place_direct(void* raw, std::size_t total, std::size_t alignment) {
  Address user = (reinterpret_cast<Address>(raw) + alignment + kHeader) & ~(alignment - 1);
  Address* header = reinterpret_cast<Address*>(user) - 2;
  header[0] = reinterpret_cast<Address>(raw);
  header[1] = static_cast<Address>(total);
  return reinterpret_cast<void*>(user);
}

bool add_overflows(std::size_t a, std::size_t b) { return a > SIZE_MAX - b; }

// ---- pooled buffers --------------------------------------------------------------------
// One per thread.  The owner reads and writes its pool without a lock; another thread may
// only clear an in_use flag (cross-thread free), under the service lock.
struct ThreadPool {
  void* raw[kPoolBuffersPerThread];
  std::atomic<void*> user[kPoolBuffersPerThread];
  std::size_t size[kPoolBuffersPerThread];
  std::size_t capacity[kPoolBuffersPerThread];
  std::atomic<int> in_use[kPoolBuffersPerThread];
  std::atomic<int> count;  // read by other threads during a cross-thread free
};

// -1 not yet read, 1 pool switched off by the environment, 0 on.
std::atomic<int> g_disabled{-1};
// Entries 1..kPoolMaxThreads: owner thread identifiers and their pools.
std::atomic<long> g_thread_ids[kPoolMaxThreads + 1];
std::atomic<ThreadPool*> g_pools[kPoolMaxThreads + 1];
std::atomic<int> g_thread_count{0};
// The calling thread's index in the table (0: none recorded yet).
thread_local int t_pool_index = 0;

long current_thread_id() { return static_cast<long>(syscall(SYS_gettid)); }

bool env_set(const char* name) {
  const char* v = platform().getenv(name);
  return v != nullptr && v[0] != '\0';
}

bool pool_disabled() {
  int d = g_disabled.load(std::memory_order_acquire);
  if (d < 0) {
    ServiceLockGuard guard;
    d = g_disabled.load(std::memory_order_relaxed);
    if (d < 0) {
      d = (env_set("ZTR_DISABLE_FAST_MM") || env_set("ZTR_MM_DISABLE")) ? 1 : 0;
      g_disabled.store(d, std::memory_order_release);
    }
  }
  return d == 1;
}

// The calling thread's pool, or null when it has none yet.
ThreadPool* find_own_pool(long tid) {
  int k = t_pool_index;
  if (k != 0) {
    if (g_thread_ids[k].load(std::memory_order_acquire) == tid)
      return g_pools[k].load(std::memory_order_acquire);
    t_pool_index = 0;  // the slot is stale: the index belongs to another thread
  }
  for (int i = g_thread_count.load(std::memory_order_acquire); i >= 1; --i) {
    if (g_thread_ids[i].load(std::memory_order_acquire) == tid) {
      t_pool_index = i;
      return g_pools[i].load(std::memory_order_acquire);
    }
  }
  return nullptr;
}

ThreadPool* register_pool(long tid) {
  ServiceLockGuard guard;
  int n = g_thread_count.load(std::memory_order_relaxed);
  if (n >= kPoolMaxThreads) return nullptr;
  void* record = allocator_table().allocate(sizeof(ThreadPool));
  if (record == nullptr) return nullptr;
  std::memset(record, 0, sizeof(ThreadPool));
  auto* pool = new (record) ThreadPool{};
  g_pools[n + 1].store(pool, std::memory_order_release);
  g_thread_ids[n + 1].store(tid, std::memory_order_release);
  g_thread_count.store(n + 1, std::memory_order_release);
  t_pool_index = n + 1;
  return pool;
}

Address align_up(Address a, std::size_t alignment) {
  return (a + alignment - 1) & ~static_cast<Address>(alignment - 1);
}

}  // namespace

int mm_effective_alignment(int alignment) {
  if (alignment >= kMinAlignment && (alignment & (alignment - 1)) == 0) return alignment;
  return kMinAlignment;
}

namespace {

// A direct block of `size` bytes from the allocator table, zeroed by the allocator's zeroed
// request when `zeroed` (rather than a fill of our own: a large block comes as fresh pages the
// system has already cleared, and writing zeros over them would touch every page once more
// before the caller does).
void* direct_block(std::size_t size, int alignment, bool zeroed) {
  if (size == 0) return nullptr;
  const std::size_t a = static_cast<std::size_t>(mm_effective_alignment(alignment));
  if (add_overflows(size, a + kHeader)) return nullptr;
  const std::size_t total = size + a + kHeader;
  void* raw =
      zeroed ? allocator_table().allocate_zeroed(total, 1) : allocator_table().allocate(total);
  return raw != nullptr ? place_direct(raw, total, a) : nullptr;
}

}  // namespace

void* mm_malloc_direct(std::size_t size, int alignment) {
  return direct_block(size, alignment, false);
}

void* mm_calloc_direct(std::size_t count, std::size_t size, int alignment) {
  if (count == 0 || size == 0 || count > SIZE_MAX / size) return nullptr;
  return direct_block(count * size, alignment, true);
}

void* mm_realloc_direct(void* p, std::size_t new_size) {
  if (p == nullptr) return new_size == 0 ? nullptr : mm_malloc_direct(new_size, kMinAlignment);
  Address* header = header_of(p);
  void* raw = reinterpret_cast<void*>(header[0]);
  if (raw == nullptr) return nullptr;
  const std::size_t offset = static_cast<std::size_t>(reinterpret_cast<Address>(p) - header[0]);
  if (add_overflows(new_size, offset)) return nullptr;
  const std::size_t total = new_size + offset;
  void* moved = allocator_table().reallocate(raw, total);
  if (moved == nullptr) return nullptr;
  if (moved == raw) {
    header[1] = static_cast<Address>(total);
    return p;
  }
  void* q = static_cast<char*>(moved) + offset;
  Address* new_header = header_of(q);
  new_header[0] = reinterpret_cast<Address>(moved);
  new_header[1] = static_cast<Address>(total);
  if (reinterpret_cast<Address>(q) % kMinAlignment == 0) return q;
  // The allocator moved the block to an address with another remainder modulo 64: the
  // contents are intact but misaligned.  Copy them into a fresh aligned block.  Should that
  // fail, the misaligned block is still a valid direct block holding the data, so it is
  // returned rather than losing the caller's contents.
  void* aligned = mm_malloc_direct(new_size, kMinAlignment);
  if (aligned == nullptr) return q;
  std::memcpy(aligned, q, new_size);
  allocator_table().release(moved);
  return aligned;
}

void mm_free_direct(void* p) {
  if (p == nullptr) return;
  void* raw = reinterpret_cast<void*>(header_of(p)[0]);
  if (raw != nullptr) allocator_table().release(raw);
}

void* mm_malloc(std::size_t size, int alignment) {
  if (size == 0) return nullptr;
  if (pool_disabled() || size > kPoolBypassBytes) return mm_malloc_direct(size, alignment);

  const std::size_t a = static_cast<std::size_t>(mm_effective_alignment(alignment));
  const std::size_t need = size + a;
  const long tid = current_thread_id();
  ThreadPool* pool = find_own_pool(tid);
  if (pool == nullptr) pool = register_pool(tid);
  if (pool == nullptr) return mm_malloc_direct(size, alignment);

  // Exact capacity first; otherwise the first bigger free buffer; otherwise a new buffer
  // while fewer than five exist; otherwise replace the first smaller free buffer.
  int equal = -1, bigger = -1, smaller = -1;
  for (int i = 0; i < pool->count; ++i) {
    if (pool->in_use[i].load(std::memory_order_acquire) != 0) continue;
    if (pool->capacity[i] == need) {
      equal = i;
      break;
    }
    if (pool->capacity[i] > need && bigger < 0) bigger = i;
    if (pool->capacity[i] < need && smaller < 0) smaller = i;
  }
  int take = equal >= 0 ? equal : bigger;
  if (take < 0) {
    if (pool->count < kPoolBuffersPerThread) {
      void* raw = allocator_table().allocate(need);
      if (raw == nullptr) return nullptr;
      take = pool->count.load(std::memory_order_relaxed);
      pool->raw[take] = raw;
      pool->capacity[take] = need;
      pool->count.store(take + 1, std::memory_order_release);
    } else if (smaller >= 0) {
      take = smaller;
      allocator_table().release(pool->raw[take]);
      pool->raw[take] = allocator_table().allocate(need);
      if (pool->raw[take] == nullptr) {
        // Leave the buffer empty so that a later request replaces it again.
        pool->capacity[take] = 0;
        pool->user[take].store(nullptr, std::memory_order_release);
        return nullptr;
      }
      pool->capacity[take] = need;
    } else {
      return mm_malloc_direct(size, alignment);  // all five buffers are in use
    }
  }
  void* user = reinterpret_cast<void*>(align_up(reinterpret_cast<Address>(pool->raw[take]), a));
  pool->size[take] = size;
  pool->user[take].store(user, std::memory_order_release);
  pool->in_use[take].store(1, std::memory_order_release);
  return user;
}

void mm_free(void* p) {
  if (p == nullptr) return;
  if (pool_disabled()) {
    mm_free_direct(p);
    return;
  }
  if (ThreadPool* pool = find_own_pool(current_thread_id())) {
    for (int i = 0; i < pool->count; ++i) {
      if (pool->user[i].load(std::memory_order_acquire) == p) {
        pool->in_use[i].store(0, std::memory_order_release);
        return;
      }
    }
  }
  {
    // A buffer handed out in one thread may be freed in another: search every pool.
    ServiceLockGuard guard;
    const int n = g_thread_count.load(std::memory_order_acquire);
    for (int k = 1; k <= n; ++k) {
      ThreadPool* other = g_pools[k].load(std::memory_order_acquire);
      const int buffers = other->count.load(std::memory_order_acquire);
      for (int i = 0; i < buffers; ++i) {
        if (other->user[i].load(std::memory_order_acquire) == p) {
          other->in_use[i].store(0, std::memory_order_release);
          return;
        }
      }
    }
  }
  mm_free_direct(p);
}

PoolStats mm_pool_stats() {
  PoolStats s{0, 0, pool_disabled()};
  if (ThreadPool* pool = find_own_pool(current_thread_id())) {
    s.buffers = pool->count.load();
    for (int i = 0; i < s.buffers; ++i) s.in_use += pool->in_use[i].load() != 0 ? 1 : 0;
  }
  return s;
}

}  // namespace ztr
