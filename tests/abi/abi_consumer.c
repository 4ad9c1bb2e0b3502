/* A C99 program written against the public header only. */
#include <dlfcn.h>
#include <stdio.h>
#include <string.h>

#include "ztr.h"

int main(void) {
  ZTR_Set_Dynamic(0);
  ZTR_Set_Num_Threads(3);
  if (ZTR_Get_Max_Threads() != 3) return 1;
  ZTR_Set_Dynamic(1);
  printf("max_threads=%d\n", ZTR_Get_Max_Threads());
  /* The library opens the external allocator at load when it is on the search path. */
  void* allocator = dlopen("libztr_alloc.so", RTLD_NOW | RTLD_NOLOAD);
  if (allocator != NULL) {
    long (*requests)(void);
    void* sym = dlsym(allocator, "ztr_testalloc_requests");
    memcpy(&requests, &sym, sizeof requests);
    printf("external allocator loaded, requests=%ld\n", requests ? requests() : -1L);
  }
  return 0;
}
