// The frame every LAPACKE export runs in.  An export is a two-level shim:
//
//   top level   layout check, NaN scans of the inputs (done by the export itself), then
//               lapacke_with_workspace(): a size query through the `_work` level, workspace
//               allocation (direct family, 128-byte aligned), the real call, the release.
//   _work level lapacke_work(): column-major data goes straight to the driver; row-major data
//               is checked (leading dimensions), copied into column-major arrays, handed to the
//               driver, and copied back.
//
// The driver's info is adjusted to LAPACKE numbering (the layout is parameter 1, so a negative
// info loses one more), allocation failures become -1010 (workspace) and -1011 (copies) with
// their messages, and every path releases what it allocated.  The frame keeps no state.
#pragma once

#include <cstddef>
#include <cstdint>

#include "lapack/lapacke/lapacke_utils.h"
#include "service/error.h"
#include "service/memory.h"

namespace ztr {

// LAPACKE's codes for failed allocations.
inline constexpr int kLapackeWorkMemoryError = -1010;
inline constexpr int kLapackeTransposeMemoryError = -1011;

// The layer's report, through the message table: -1010 "Not enough memory to allocate work
// array in NAME", -1011 "Not enough memory to transpose matrix in NAME", any other negative
// info "Wrong parameter -info in NAME"; nothing for info >= 0.
void lapacke_report(const char* name, int info);

// Reports and returns false for a layout other than 101 or 102 (parameter 1, export's name).
bool lapacke_layout_ok(const char* name, int layout);

// One matrix argument of a LAPACKE function, as the `_work` level sees it.
struct LapackeMatrix {
  enum class Kind { General, Triangle };
  double* data;     // the caller's array (may be null for an absent output)
  int rows, cols;   // the matrix as the caller sees it
  int ld;           // the caller's leading dimension
  int ld_position;  // its LAPACKE parameter position, for the row-major check
  int ld_t;         // leading dimension of the column-major copy
  Kind kind;        // how it is copied: the whole matrix, or one triangle with its diagonal
  char uplo;        // for Kind::Triangle
  bool copy_in;     // transposed into the copy before the driver runs
  bool copy_out;    // transposed back after it
  bool present;     // false: not used by this call (its ld is still checked; no copy)
};

// The `_work` level.  `driver(double* const* arrays, const int* lds)` runs the Fortran-style
// routine on column-major arrays (one per matrix, in order) and returns its info.
//   query: a workspace query, run on the caller's arrays with the copies' leading dimensions.
template <typename Driver>
int lapacke_work(const char* work_name, int layout, LapackeMatrix* mats, int count, bool query,
                 Driver&& driver);

// The top level's workspace handling.  `work(double* w, int lw, int* iw, int liw)` calls the
// `_work` function; lw = -1 (and liw = -1 when the routine has iwork) asks for sizes.
template <typename Work>
int lapacke_with_workspace(const char* name, bool has_iwork, Work&& work);

// ---- implementation ----------------------------------------------------------------------

namespace lapacke_detail {
inline constexpr int kMaxMatrices = 4;
// A work array of `count` elements of `size` bytes, count as the size query answered it (a
// double, so that an answer beyond the int range is seen as such).  Null when count cannot
// be passed on as an int length, or its bytes exceed the address space, or the allocation
// fails: all three are the same failure to the caller.  At least one element.
void* alloc_work(double count, std::size_t size);
int adjust(int info);
void* alloc_copy(const LapackeMatrix& m);
void to_column_major(const LapackeMatrix& m, double* copy);
void from_column_major(const LapackeMatrix& m, const double* copy);
}  // namespace lapacke_detail

template <typename Driver>
int lapacke_work(const char* work_name, int layout, LapackeMatrix* mats, int count, bool query,
                 Driver&& driver) {
  using namespace lapacke_detail;
  double* arrays[kMaxMatrices] = {};
  int lds[kMaxMatrices] = {};
  if (layout == kLapackeColMajor) {
    for (int i = 0; i < count; ++i) {
      arrays[i] = mats[i].data;
      lds[i] = mats[i].ld;
    }
    install_default_xerbla();
    install_default_progress();
    return adjust(driver(arrays, lds));
  }
  if (layout != kLapackeRowMajor) {
    lapacke_report(work_name, -1);
    return -1;
  }
  // Every leading dimension is checked, also that of an output the call will not produce.
  for (int i = 0; i < count; ++i) {
    if (mats[i].ld < mats[i].cols) {
      lapacke_report(work_name, -mats[i].ld_position);
      return -mats[i].ld_position;
    }
    arrays[i] = mats[i].data;
    lds[i] = mats[i].ld_t;
  }
  install_default_xerbla();
  install_default_progress();
  if (query) return adjust(driver(arrays, lds));

  double* copies[kMaxMatrices] = {};
  int info = 0;
  for (int i = 0; i < count && info == 0; ++i) {
    if (!mats[i].present) continue;
    copies[i] = static_cast<double*>(alloc_copy(mats[i]));
    if (copies[i] == nullptr) info = kLapackeTransposeMemoryError;
  }
  if (info == 0) {
    for (int i = 0; i < count; ++i)
      if (mats[i].present && mats[i].copy_in) to_column_major(mats[i], copies[i]);
    info = adjust(driver(copies, lds));
    for (int i = 0; i < count; ++i)
      if (mats[i].present && mats[i].copy_out) from_column_major(mats[i], copies[i]);
  }
  for (int i = count - 1; i >= 0; --i) mm_free_direct(copies[i]);
  if (info == kLapackeTransposeMemoryError) lapacke_report(work_name, info);
  return info;
}

template <typename Work>
int lapacke_with_workspace(const char* name, bool has_iwork, Work&& work) {
  double work_query = 0;
  int iwork_query = 0;
  int info = work(&work_query, -1, has_iwork ? &iwork_query : nullptr, has_iwork ? -1 : 0);
  if (info == 0) {
    // Sizes come back as a double (truncated toward zero) and an int; at least one element
    // each, since the allocator gives nothing for zero bytes.  The `_work` call is told the
    // length it really got: a driver that answered 0 (an empty matrix) may still insist on
    // lwork >= 1, as DGETRI does.  A size that no int or no address space holds is a
    // failed allocation, never a length that wrapped around.
    int* iwork = nullptr;
    if (has_iwork) iwork = static_cast<int*>(lapacke_detail::alloc_work(iwork_query, sizeof(int)));
    double* w = (has_iwork && iwork == nullptr)
                    ? nullptr
                    : static_cast<double*>(lapacke_detail::alloc_work(work_query, sizeof(double)));
    if (w == nullptr) {
      info = kLapackeWorkMemoryError;
    } else {
      // Converted only now: alloc_work has checked that the size fits an int.
      const int lwork = work_query > 1 ? static_cast<int>(work_query) : 1;
      const int liwork = has_iwork ? (iwork_query > 1 ? iwork_query : 1) : 0;
      info = work(w, lwork, iwork, liwork);
    }
    mm_free_direct(w);
    mm_free_direct(iwork);
  }
  if (info == kLapackeWorkMemoryError) lapacke_report(name, info);
  return info;
}

}  // namespace ztr
