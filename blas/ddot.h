// The dot product behind cblas_ddot: the driver that decides how many threads to use, the
// threaded kernel, and the serial kernel reached through a dispatch slot.
//
// Arguments follow the Fortran-style convention (everything by address).  Element i of x is
// x[i*incx] for incx >= 0 and x[(n-1-i)*|incx|] for incx < 0; likewise y.
#pragma once

#include "service/dispatch.h"

namespace ztr {

using DdotKernelFn = double (*)(const int* n, const double* x, const int* incx, const double* y,
                                const int* incy);
using DdotSlot =
    DispatchSlot<double(const int*, const double*, const int*, const double*, const int*)>;

// Vectors up to this length never start threads: below it the start-up of a parallel region
// costs more than the product.
inline constexpr int kDdotSerialMaxLength = 2500;
// Partial results of up to this many threads live on the stack.
inline constexpr int kDdotStackPartials = 128;

// The serial kernel for the processor in use; the slot for tests that run every variant.
double ddot_kernel(const int* n, const double* x, const int* incx, const double* y,
                   const int* incy);
DdotSlot& ddot_kernel_slot();

// Chooses the thread count and runs the serial or the threaded kernel.
double ddot_driver(const int* n, const double* x, const int* incx, const double* y,
                   const int* incy);

// The thread-count policy of ddot_driver as a pure function: n, the increments, the
// microarchitecture class, the threads available t, the dynamic flag and the cache table
// (count, then sizes of levels 1..4; only read for classes 32 and 33).  A result of 1 means
// the serial kernel on the whole vectors.
int ddot_thread_count(int n, int incx, int incy, int microarch, int t, int dynamic,
                      const int* cache);

// Splits the product among `nthreads` threads in pieces that are multiples of 8 elements (the
// last thread takes the remainder) and adds the partial results in thread order.
double ztr_blas_ddot_omp(int nthreads, const int* n, const double* x, const int* incx,
                         const double* y, const int* incy);

}  // namespace ztr
