// Without the external allocator library the allocator table holds the C runtime's functions.
#include <gtest/gtest.h>

#include <cstdlib>

#include "service/allocator.h"
#include "service/memory.h"

namespace ztr {
namespace {

TEST(AllocatorTable, FallsBackToTheCRuntime) {
  EXPECT_EQ(allocator_table().allocate, &std::malloc);
  EXPECT_EQ(allocator_table().allocate_zeroed, &std::calloc);
  EXPECT_EQ(allocator_table().reallocate, &std::realloc);
  EXPECT_EQ(allocator_table().release, &std::free);
  void* p = mm_malloc(100, 64);
  ASSERT_NE(p, nullptr);
  mm_free(p);
}

}  // namespace
}  // namespace ztr
