#include "lapack/lapacke/lapacke_frame.h"

#include <cstdint>

#include "service/messages.h"

namespace ztr {

void lapacke_report(const char* name, int info) {
  if (info >= 0) return;
  if (info == kLapackeWorkMemoryError) {
    msg_print(kMsgLapackeWorkMemory, 1, name);
  } else if (info == kLapackeTransposeMemoryError) {
    msg_print(kMsgLapackeTransposeMemory, 1, name);
  } else {
    msg_print(kMsgLapackeWrongParameter, 2, -info, name);
  }
}

bool lapacke_layout_ok(const char* name, int layout) {
  if (layout == kLapackeRowMajor || layout == kLapackeColMajor) return true;
  lapacke_report(name, -1);
  return false;
}

namespace lapacke_detail {

int adjust(int info) {
  return info < 0 ? info - 1 : info;
}

void* alloc_copy(const LapackeMatrix& m) {
  const std::size_t ld = static_cast<std::size_t>(m.ld_t);
  const std::size_t cols = static_cast<std::size_t>(m.cols > 1 ? m.cols : 1);
  // A copy whose size does not fit the address space is as unobtainable as a failed one.
  if (ld != 0 && cols > SIZE_MAX / sizeof(double) / ld) return nullptr;
  return mm_malloc_direct(ld * cols * sizeof(double), kWorkAlignment);
}

void* alloc_work(double count, std::size_t size) {
  // NaN fails the first test.
  if (!(count <= static_cast<double>(INT32_MAX))) return nullptr;
  const std::size_t n = count > 1 ? static_cast<std::size_t>(count) : 1;
  if (n > SIZE_MAX / size) return nullptr;
  return mm_malloc_direct(n * size, kWorkAlignment);
}

void to_column_major(const LapackeMatrix& m, double* copy) {
  if (m.kind == LapackeMatrix::Kind::General) {
    lapacke_ge_transpose(kLapackeRowMajor, m.rows, m.cols, m.data, m.ld, copy, m.ld_t);
  } else {
    lapacke_tr_transpose(kLapackeRowMajor, m.uplo, 'N', m.cols, m.data, m.ld, copy, m.ld_t);
  }
}

void from_column_major(const LapackeMatrix& m, const double* copy) {
  if (m.kind == LapackeMatrix::Kind::General) {
    lapacke_ge_transpose(kLapackeColMajor, m.rows, m.cols, copy, m.ld_t, m.data, m.ld);
  } else {
    lapacke_tr_transpose(kLapackeColMajor, m.uplo, 'N', m.cols, copy, m.ld_t, m.data, m.ld);
  }
}

}  // namespace lapacke_detail
}  // namespace ztr
