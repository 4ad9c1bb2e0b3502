#include <stdio.h>

#include "ztr.h"

int main(void) {
  ZTR_Set_Num_Threads(2);
  printf("consumer: max threads %d\n", ZTR_Get_Max_Threads());
  return ZTR_Get_Max_Threads() >= 1 ? 0 : 1;
}
