// cblas_ddot, its driver and the dispatch slot of the serial kernel.
#include "blas/ddot.h"

#include "blas/kernels/ddot_kernels.h"
#include "include/ztr.h"
#include "service/cpu.h"
#include "service/kernel_variant.h"
#include "service/threads.h"

namespace ztr {
namespace {

DdotSlot g_ddot_kernel(ZTR_VARIANTS(ddot_kernel));
ZTR_REGISTER_DISPATCH_SLOT(g_ddot_kernel);

int max_int(int a, int b) {
  return a > b ? a : b;
}

// Classes 32 and 33 (SSSE3 processors) in dynamic mode.  With a small level-2 cache, pieces
// below about 2500 elements (6500 on large machines) do not pay for their thread; with a large
// or unknown one, short vectors get at most 2 or 4 threads, and class 33 never more than 4.
int threads_ssse3_class(int n, int t, int microarch, const int* cache) {
  if (cache[0] >= 1 && cache[2] <= kLargeL2Bytes) {
    if (t <= 4) return (t == 2 && n < 3000) ? 1 : t;
    if (t > 12 && n < 6500 * t) return max_int(4, n / 6500);
    return n >= 2500 * t ? t : max_int(4, n / 2500);
  }
  if (n < 6000) {
    if (t > 2) t = 2;
  } else if (n < 10000) {
    if (t > 4) t = 4;
  }
  if (microarch == kClassSse41 && t > 4) t = 4;
  return t;
}

// Classes 64, 66 and 128 in dynamic mode: pieces of at least 5000 elements on large machines.
int threads_wide_class(int n, int t) {
  if (n < 20000 && t > 4) return 4;
  if (t <= 8) return t;
  if (n >= 5000 * t) return t;
  return max_int(t <= 16 ? 8 : 16, n / 5000);
}

}  // namespace

DdotSlot& ddot_kernel_slot() {
  return g_ddot_kernel;
}

double ddot_kernel(const int* n, const double* x, const int* incx, const double* y,
                   const int* incy) {
  return g_ddot_kernel(n, x, incx, y, incy);
}

int ddot_thread_count(int n, int incx, int incy, int microarch, int t, int dynamic,
                      const int* cache) {
  if (n <= kDdotSerialMaxLength) return 1;
  const bool known_class = ssse3_class(microarch) || microarch == kClassSse42 ||
                           microarch == kClassSse42Aes || microarch == kClassAvx;
  // A zero increment reads one element over and over: splitting it gains nothing.
  if (t <= 1 || !known_class || incx == 0 || incy == 0) return 1;
  if (dynamic != 1) return t;
  if (ssse3_class(microarch)) return threads_ssse3_class(n, t, microarch, cache);
  return threads_wide_class(n, t);
}

double ddot_driver(const int* n, const double* x, const int* incx, const double* y,
                   const int* incy) {
  if (*n <= kDdotSerialMaxLength) return ddot_kernel(n, x, incx, y, incy);
  const int microarch = cpu_microarch();
  const int t = domain_max_threads(kDomainBlas);
  int cache[5] = {0, 0, 0, 0, 0};
  if (ssse3_class(microarch)) cache_table(cache);
  const int threads = ddot_thread_count(*n, *incx, *incy, microarch, t, get_dynamic(), cache);
  if (threads <= 1) return ddot_kernel(n, x, incx, y, incy);
  return ztr_blas_ddot_omp(threads, n, x, incx, y, incy);
}

}  // namespace ztr

extern "C" ZTR_API double cblas_ddot(int n, const double* x, int incx, const double* y, int incy) {
  return ztr::ddot_driver(&n, x, &incx, y, &incy);
}
