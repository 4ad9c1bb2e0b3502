/* Thread control: ZTR_Set_Num_Threads, ZTR_Get_Max_Threads and ZTR_Set_Dynamic.  The
 * setters override the environment variables (ZTR_NUM_THREADS, ...); with dynamic
 * adjustment on, the library uses at most one thread per physical core. */
#include <stdio.h>

#include <ztr.h>

int main(void) {
  const int initial = ZTR_Get_Max_Threads();
  printf("ZTR_Get_Max_Threads  at least one thread at start: %s\n", initial >= 1 ? "pass" : "FAIL");

  ZTR_Set_Num_Threads(1);
  const int one = ZTR_Get_Max_Threads();
  printf("ZTR_Set_Num_Threads  1 gives one thread: %s\n", one == 1 ? "pass" : "FAIL");

  /* Dynamic off: the requested count is used as it is, even above the core count. */
  ZTR_Set_Dynamic(0);
  ZTR_Set_Num_Threads(3);
  const int three = ZTR_Get_Max_Threads();
  printf("ZTR_Set_Dynamic      off, 3 requested gives 3: %s\n", three == 3 ? "pass" : "FAIL");

  /* A count of zero or less is ignored. */
  ZTR_Set_Num_Threads(0);
  const int kept = ZTR_Get_Max_Threads();
  printf("ZTR_Set_Num_Threads  0 is ignored: %s\n", kept == 3 ? "pass" : "FAIL");
  ZTR_Set_Dynamic(1);
  return initial >= 1 && one == 1 && three == 3 && kept == 3 ? 0 : 1;
}
