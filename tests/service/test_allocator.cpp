// The allocator table takes the external allocator library when it is loaded: this binary
// carries the test allocator, so every request of the memory manager must reach it.
#include <gtest/gtest.h>

#include "service/allocator.h"
#include "service/memory.h"
#include "testalloc.h"

namespace ztr {
namespace {

TEST(AllocatorTable, UsesTheExternalLibrary) {
  EXPECT_TRUE(allocator_is_external());
  const long requests = ztr_testalloc_requests();
  const long live = ztr_testalloc_live();
  void* p = mm_malloc_direct(10, 64);
  EXPECT_EQ(ztr_testalloc_requests(), requests + 1);
  EXPECT_EQ(ztr_testalloc_live(), live + 1);
  mm_free_direct(p);
  EXPECT_EQ(ztr_testalloc_live(), live);
}

}  // namespace
}  // namespace ztr
