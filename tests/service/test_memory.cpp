// The memory manager: alignment, the direct header, the per-thread pools and their limits,
// cross-thread frees, and every allocation-failure path (through the test allocator).
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <thread>
#include <vector>

#include "service/allocator.h"
#include "service/memory.h"
#include "testalloc.h"
#include "tests/support/child.h"

namespace ztr {
namespace {

using Address = std::uintptr_t;
const auto addr = [](const void* p) { return reinterpret_cast<Address>(p); };

TEST(DirectBlocks, AlignmentAndHeader) {
  for (int alignment : {0, 16, 32, 64, 96, 100, -128, 128, 256, 4096}) {
    const int a = mm_effective_alignment(alignment);
    EXPECT_EQ(a, (alignment >= 64 && (alignment & (alignment - 1)) == 0) ? alignment : 64);
    for (std::size_t size : {std::size_t{1}, std::size_t{7}, std::size_t{1000}}) {
      void* p = mm_malloc_direct(size, alignment);
      ASSERT_NE(p, nullptr);
      EXPECT_EQ(addr(p) % static_cast<Address>(a), 0u);
      // The raw address sits in the header just below the block.
      const Address* h = reinterpret_cast<const Address*>(p) - 2;
      EXPECT_GE(addr(p) - h[0], 2 * sizeof(Address) + 1);
      EXPECT_LE(addr(p) - h[0], static_cast<Address>(a) + 2 * sizeof(Address));
      std::memset(p, 0xab, size);
      mm_free_direct(p);
    }
  }
  EXPECT_EQ(mm_malloc_direct(0, 64), nullptr);
  mm_free_direct(nullptr);
}

// calloc zeroes and refuses zero counts and an overflowing product without asking the
// allocator; realloc keeps contents and alignment while the C runtime moves the block; every
// failure returns null and leaves the old block as it was.
TEST(DirectBlocks, CallocReallocAndFailures) {
  test::Disarm disarm;
  const long live = ztr_testalloc_live();
  // A dirty block of the same size first, which the C runtime hands out again.
  void* dirty = mm_malloc_direct(91, 128);
  ASSERT_NE(dirty, nullptr);
  std::memset(dirty, 0xa5, 91);
  mm_free_direct(dirty);
  auto* z = static_cast<unsigned char*>(mm_calloc_direct(13, 7, 128));
  ASSERT_NE(z, nullptr);
  EXPECT_EQ(addr(z) % 128, 0u);
  for (int i = 0; i < 91; ++i) EXPECT_EQ(z[i], 0) << i;
  mm_free_direct(z);
  EXPECT_TRUE(mm_calloc_direct(0, 8, 64) == nullptr && mm_calloc_direct(8, 0, 64) == nullptr);
  const long before = ztr_testalloc_requests();
  EXPECT_EQ(mm_calloc_direct(SIZE_MAX / 4 + 2, 8, 64), nullptr);  // the product wraps to 8
  EXPECT_EQ(ztr_testalloc_requests(), before);
  EXPECT_EQ(mm_realloc_direct(nullptr, 0), nullptr);
  auto* p = static_cast<int*>(mm_realloc_direct(nullptr, 40));
  ASSERT_NE(p, nullptr);
  for (int i = 0; i < 10; ++i) p[i] = i * i;
  for (std::size_t n = 80; n <= (1u << 22); n *= 3) {
    p = static_cast<int*>(mm_realloc_direct(p, n));
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(addr(p) % 64, 0u) << n;
    for (int i = 0; i < 10; ++i) ASSERT_EQ(p[i], i * i) << n;
  }
  ztr_testalloc_fail_nth(1, 0);
  EXPECT_EQ(mm_realloc_direct(p, 1 << 23), nullptr);
  EXPECT_EQ(p[9], 81);
  mm_free_direct(p);
  for (void* (*call)() :
       {+[] { return mm_malloc_direct(100, 64); }, +[] { return mm_calloc_direct(10, 10, 64); },
        +[] { return mm_realloc_direct(nullptr, 10); }}) {
    ztr_testalloc_fail_nth(1, 0);
    EXPECT_EQ(call(), nullptr);
  }
  EXPECT_EQ(ztr_testalloc_live(), live);
}

// Pools are per thread; each test below runs in a fresh thread so that it starts with an
// empty pool of its own.
const auto in_new_thread = [](auto fn) { std::thread(fn).join(); };

// Exact sizes come back without the allocator, a smaller request fits a bigger free buffer;
// a request at 40 MiB is pooled, one above bypasses the pool and is released at once.
TEST(Pool, ReusesBuffersBelowTheBypassSize) {
  in_new_thread([] {
    void* a = mm_malloc(1000, 128);
    ASSERT_TRUE(a != nullptr && addr(a) % 128 == 0);
    mm_free(a);
    const long requests = ztr_testalloc_requests();
    void* b = mm_malloc(1000, 128);
    EXPECT_EQ(b, a);
    mm_free(b);
    void* c = mm_malloc(500, 100);  // alignment 100 means 64
    EXPECT_EQ(addr(c) % 64, 0u);
    EXPECT_EQ(ztr_testalloc_requests(), requests);
    EXPECT_EQ(mm_malloc(0, 64), nullptr);
    void* at_limit = mm_malloc(kPoolBypassBytes, 64);
    void* above = mm_malloc(kPoolBypassBytes + 1, 64);
    ASSERT_TRUE(at_limit != nullptr && above != nullptr);
    EXPECT_EQ(mm_pool_stats().buffers, 2);
    const long live = ztr_testalloc_live();
    for (void* p : {c, above, at_limit}) mm_free(p);
    EXPECT_EQ(ztr_testalloc_live(), live - 1);
    EXPECT_EQ(mm_pool_stats().in_use, 0);
  });
}

TEST(Pool, FiveBuffersThenDirectBlocks) {
  in_new_thread([] {
    std::vector<void*> held;
    for (int i = 0; i < kPoolBuffersPerThread; ++i) held.push_back(mm_malloc(4096, 64));
    const long live = ztr_testalloc_live();
    EXPECT_TRUE(mm_pool_stats().buffers == 5 && mm_pool_stats().in_use == 5);
    void* sixth = mm_malloc(4096, 64);
    ASSERT_NE(sixth, nullptr);
    EXPECT_TRUE(mm_pool_stats().buffers == 5 && ztr_testalloc_live() == live + 1);
    mm_free(sixth);  // a direct block: released at once
    for (void* p : held) mm_free(p);
    EXPECT_EQ(mm_pool_stats().in_use, 0);
    EXPECT_EQ(ztr_testalloc_live(), live);  // the five buffers stay in the pool
    // A larger request replaces the first smaller free buffer once all five exist.
    void* big = mm_malloc(8192, 64);
    EXPECT_EQ(mm_pool_stats().buffers, 5);
    mm_free(big);
    EXPECT_EQ(ztr_testalloc_live(), live);
  });
}

TEST(Pool, CrossThreadFree) {
  void* p = nullptr;
  in_new_thread([&] {
    p = mm_malloc(2048, 64);
    EXPECT_EQ(mm_pool_stats().in_use, 1);
  });
  const long live = ztr_testalloc_live();
  in_new_thread([&] { mm_free(p); });
  EXPECT_EQ(ztr_testalloc_live(), live);  // marked free in its owner's pool, not released
}

TEST(Pool, AllocationFailures) {
  test::Disarm disarm;
  in_new_thread([] {
    // The pool record itself cannot be made: a direct block is used.
    ztr_testalloc_fail_nth(1, 0);
    void* p = mm_malloc(100, 64);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(mm_pool_stats().buffers, 0);
    mm_free(p);
  });
  in_new_thread([] {
    void* keep = mm_malloc(64, 64);  // makes the pool
    // A new buffer cannot be obtained: null, and no buffer is added.
    ztr_testalloc_fail_nth(1, 0);
    EXPECT_EQ(mm_malloc(100, 64), nullptr);
    EXPECT_EQ(mm_pool_stats().buffers, 1);
    std::vector<void*> held{keep};
    for (int i = 0; i < 4; ++i) held.push_back(mm_malloc(64, 64));
    for (void* q : held) mm_free(q);
    // Replacing a smaller buffer fails: null, and the buffer is left empty ...
    ztr_testalloc_fail_nth(1, 0);
    EXPECT_EQ(mm_malloc(1 << 16, 64), nullptr);
    ztr_testalloc_reset();
    // ... so the next request replaces it again.
    void* again = mm_malloc(1 << 16, 64);
    ASSERT_NE(again, nullptr);
    std::memset(again, 1, 1 << 16);
    mm_free(again);
    EXPECT_EQ(mm_pool_stats().buffers, 5);
  });
}

ZTR_CHILD(pool_disabled) {
  const long live = ztr_testalloc_live();
  void* p = mm_malloc(1000, 64);
  if (!mm_pool_stats().disabled || mm_pool_stats().buffers != 0) return 1;
  if (ztr_testalloc_live() != live + 1) return 2;
  mm_free(p);
  return ztr_testalloc_live() == live ? 0 : 3;
}

TEST(Pool, DisabledByEitherVariable) {
  for (const std::string& v :
       {std::string("ZTR_MM_DISABLE=1"), std::string("ZTR_DISABLE_FAST_MM=yes"),
        "ZTR_MM_DISABLE=" + std::string(40, 'x')})
    EXPECT_EQ(test::run_child("pool_disabled", {v}).exit_code, 0) << v;
  // An empty value does not count.
  EXPECT_NE(test::run_child("pool_disabled", {"ZTR_MM_DISABLE="}).exit_code, 0);
}

}  // namespace
}  // namespace ztr
