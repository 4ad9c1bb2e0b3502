// Level-1 BLAS in double precision, for the library's own LAPACK drivers and solver.
//
// Calling convention of every internal double-precision BLAS routine (levels 1, 2 and 3,
// and ztr_blas_dgemm): the argument list and semantics of the published reference BLAS,
// every argument by address, column-major storage, Fortran increments (a negative increment
// walks the vector from its far end: element i of an n-vector sits at x[(n-1-i)*|inc|]).
// Option letters are read from the first character of the string, in either case.  No
// argument is checked: callers pass valid dimensions (the exported front ends check theirs).
// Each routine is reached through a DispatchSlot with one variant per CpuType.
#pragma once

namespace ztr {

void blas_dswap(const int* n, double* x, const int* incx, double* y, const int* incy);
// x := alpha * x.  Reference semantics: incx <= 0 does nothing, and alpha = 0 multiplies
// (a NaN in x stays NaN).
void blas_dscal(const int* n, const double* alpha, double* x, const int* incx);
void blas_dcopy(const int* n, const double* x, const int* incx, double* y, const int* incy);
void blas_daxpy(const int* n, const double* alpha, const double* x, const int* incx,
                double* y, const int* incy);
// Named apart from the exported dot product, which has its own checked front end.
double blas_ddot(const int* n, const double* x, const int* incx, const double* y,
                 const int* incy);
// Euclidean norm, scaled so that no intermediate overflows or underflows harmfully (its
// result is accurate for every finite x whose norm is representable).  The order of the
// entries does not matter, so a negative increment is the same as its absolute value and
// increment 0 gives sqrt(n)*|x[0]|.  A NaN anywhere gives NaN; an infinity (and no NaN)
// gives infinity.
double blas_dnrm2(const int* n, const double* x, const int* incx);
// One-based index of the first entry of largest magnitude; 0 when n < 1 or incx <= 0.
// As in the reference loop, an entry replaces the current maximum only when it is strictly
// larger, so a NaN is chosen only as the first entry and later NaNs are passed over.
int blas_idamax(const int* n, const double* x, const int* incx);
// Plane rotation: x := c*x + s*y, y := c*y - s*x.
void blas_drot(const int* n, double* x, const int* incx, double* y, const int* incy,
               const double* c, const double* s);

}  // namespace ztr
