// The symmetric CSR product behind ztr_cspblas_dcsrsymv: y := beta*y + alpha*A*x with A
// symmetric and one triangle of it stored in CSR form.  Row r holds entries
// pntrb[r]-pntrb[0] .. pntre[r]-pntrb[0]-1 of val and indx (pntrb[0] is the base, whatever
// its value); indx holds zero-based columns.
#pragma once

#include "service/dispatch.h"

namespace ztr {

// Processes rows first..last (one-based, inclusive) of an m x m matrix into y of len entries:
// first y := beta*y (y := 0 without reading it when beta is 0), then every stored entry of
// the triangle updates y at its row and, off the diagonal, at its column.
//   Lower triangle: y covers rows 0..len-1 (the columns a row can reach are at most the row).
//   Upper triangle: y covers rows m-len..m-1.
// Entries of the other triangle are skipped, and so are columns outside 0..m-1.
using CsrSymvKernelFn = void (*)(const int* first, const int* last, const int* m, const int* len,
                                 const double* alpha, const double* val, const int* indx,
                                 const int* pntrb, const int* pntre, const double* x, double* y,
                                 const double* beta);
using CsrSymvKernelSlot =
    DispatchSlot<void(const int*, const int*, const int*, const int*, const double*, const double*,
                      const int*, const int*, const int*, const double*, double*, const double*)>;

// Adds private vectors into rows begin..end-1 of y:
//   y[k] = ((y[k] + v_0[k - o_0]) + v_1[k - o_1]) + ... + v_{count-1}[k - o_{count-1}]
// in that order, where v_j = vecs[j] and o_j = offset + j*offset_step (the row where v_j
// starts).
using CsrSymvMergeFn = void (*)(int begin, int end, double* y, const double* const* vecs, int count,
                                int offset, int offset_step);
using CsrSymvMergeSlot = DispatchSlot<void(int, int, double*, const double* const*, int, int, int)>;

// Threads are used only above this many rows per thread.
inline constexpr int kCsrSymvRowsPerThread = 100;
// Up to this order one thread performs every merge: sharing them out costs more.
inline constexpr int kCsrSymvSerialMergeRows = 1000;
// In dynamic mode a machine offering this many threads or more gets kCsrSymvDynamicThreads:
// the product is bound by memory bandwidth and the merge grows with the thread count.
inline constexpr int kCsrSymvDynamicCapFrom = 16;
inline constexpr int kCsrSymvDynamicThreads = 8;

CsrSymvKernelSlot& csr_symv_lower_slot();
CsrSymvKernelSlot& csr_symv_upper_slot();
CsrSymvMergeSlot& csr_symv_merge_slot();

// The threaded drivers (lower and upper triangle), over all m rows.  n must equal m.
void ztr_spblas_dcsr0nslnc__mvout_omp(const int* m, const int* n, const double* alpha,
                                      const double* val, const int* indx, const int* pntrb,
                                      const int* pntre, const double* x, double* y,
                                      const double* beta);
void ztr_spblas_dcsr0nsunc__mvout_omp(const int* m, const int* n, const double* alpha,
                                      const double* val, const int* indx, const int* pntrb,
                                      const int* pntre, const double* x, double* y,
                                      const double* beta);

}  // namespace ztr
