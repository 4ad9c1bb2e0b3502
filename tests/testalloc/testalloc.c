#include "testalloc.h"

#include <stdlib.h>

#define EXPORT __attribute__((visibility("default")))

static long g_countdown; /* requests until the armed failure; 0 = not armed */
static int g_sticky;
static size_t g_fail_above;
static long g_live, g_requests, g_failures;

/* Decides whether this request fails.  Thread-safe through atomics: tests arm it while no
 * other thread allocates, but library calls under test may allocate from many threads. */
static int should_fail(size_t bytes) {
  __atomic_add_fetch(&g_requests, 1, __ATOMIC_SEQ_CST);
  int fail = 0;
  if (g_fail_above != 0 && bytes > g_fail_above) fail = 1;
  long c = __atomic_load_n(&g_countdown, __ATOMIC_SEQ_CST);
  if (c > 0) {
    long left = __atomic_sub_fetch(&g_countdown, 1, __ATOMIC_SEQ_CST);
    if (left == 0) {
      fail = 1;
      if (g_sticky) __atomic_store_n(&g_countdown, 1, __ATOMIC_SEQ_CST);
    }
  }
  if (fail) __atomic_add_fetch(&g_failures, 1, __ATOMIC_SEQ_CST);
  return fail;
}

static void* t_malloc(size_t size) {
  if (should_fail(size)) return NULL;
  void* p = malloc(size);
  if (p) __atomic_add_fetch(&g_live, 1, __ATOMIC_SEQ_CST);
  return p;
}

static void* t_calloc(size_t count, size_t size) {
  if (should_fail(count * size)) return NULL;
  void* p = calloc(count, size);
  if (p) __atomic_add_fetch(&g_live, 1, __ATOMIC_SEQ_CST);
  return p;
}

static void* t_realloc(void* old, size_t size) {
  if (should_fail(size)) return NULL;
  void* p = realloc(old, size);
  if (p && !old) __atomic_add_fetch(&g_live, 1, __ATOMIC_SEQ_CST);
  return p;
}

static void t_free(void* p) {
  if (p) __atomic_sub_fetch(&g_live, 1, __ATOMIC_SEQ_CST);
  free(p);
}

/* The four variables the library looks up. */
EXPORT void* (*ztr_alloc_malloc)(size_t) = t_malloc;
EXPORT void* (*ztr_alloc_calloc)(size_t, size_t) = t_calloc;
EXPORT void* (*ztr_alloc_realloc)(void*, size_t) = t_realloc;
EXPORT void (*ztr_alloc_free)(void*) = t_free;

EXPORT void ztr_testalloc_fail_nth(long n, int sticky) {
  g_sticky = sticky;
  __atomic_store_n(&g_countdown, n, __ATOMIC_SEQ_CST);
}
EXPORT void ztr_testalloc_fail_above(size_t bytes) { g_fail_above = bytes; }
EXPORT void ztr_testalloc_reset(void) {
  __atomic_store_n(&g_countdown, 0, __ATOMIC_SEQ_CST);
  g_sticky = 0;
  g_fail_above = 0;
}
EXPORT long ztr_testalloc_live(void) { return __atomic_load_n(&g_live, __ATOMIC_SEQ_CST); }
EXPORT long ztr_testalloc_requests(void) { return __atomic_load_n(&g_requests, __ATOMIC_SEQ_CST); }
EXPORT long ztr_testalloc_failures(void) { return __atomic_load_n(&g_failures, __ATOMIC_SEQ_CST); }
