/* The test allocator: an external allocator library (soname libztr_alloc.so) that the
 * library picks up through its allocator-table mechanism.  It passes every request to the C
 * runtime and counts them, and a test can arm it to fail chosen allocations, so that every
 * allocation-failure path of the library can be exercised and every leak seen. */
#ifndef ZTR_TESTALLOC_H
#define ZTR_TESTALLOC_H

#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Fail the n-th allocation request from now on (1 = the next one); with `sticky`, that one
 * and every later one fail.  n = 0 disarms. */
void ztr_testalloc_fail_nth(long n, int sticky);
/* Fail every request for more than `bytes` bytes; 0 disarms. */
void ztr_testalloc_fail_above(size_t bytes);
/* Disarm everything. */
void ztr_testalloc_reset(void);
/* Blocks obtained and not yet released. */
long ztr_testalloc_live(void);
/* Allocation requests seen (allocate, allocate zeroed, reallocate), failed ones included. */
long ztr_testalloc_requests(void);
/* Requests that were made to fail. */
long ztr_testalloc_failures(void);

#ifdef __cplusplus
}
namespace ztr::test {
// Leaves the test allocator disarmed however the scope ends.
struct Disarm {
  ~Disarm() { ztr_testalloc_reset(); }
};
}  // namespace ztr::test
#endif

#endif
