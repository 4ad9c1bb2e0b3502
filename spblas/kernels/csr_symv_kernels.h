// The six variants of the symmetric CSR kernels, one translation unit per CpuType.  All
// variants compute the same sums in the same order; they differ only in the code the compiler
// makes for each instruction-set level.
#pragma once

namespace ztr::kernels {

#define ZTR_CSR_SYMV_DECLS                                                                       \
  void csr_symv_lower(const int* first, const int* last, const int* m, const int* len,           \
                      const double* alpha, const double* val, const int* indx, const int* pntrb, \
                      const int* pntre, const double* x, double* y, const double* beta);         \
  void csr_symv_upper(const int* first, const int* last, const int* m, const int* len,           \
                      const double* alpha, const double* val, const int* indx, const int* pntrb, \
                      const int* pntre, const double* x, double* y, const double* beta);         \
  void csr_symv_merge(int begin, int end, double* y, const double* const* vecs, int count,       \
                      int offset, int offset_step);

namespace t2 {
ZTR_CSR_SYMV_DECLS
}
namespace t3 {
ZTR_CSR_SYMV_DECLS
}
namespace t4 {
ZTR_CSR_SYMV_DECLS
}
namespace t5 {
ZTR_CSR_SYMV_DECLS
}
namespace t6 {
ZTR_CSR_SYMV_DECLS
}
namespace t7 {
ZTR_CSR_SYMV_DECLS
}

#undef ZTR_CSR_SYMV_DECLS

}  // namespace ztr::kernels
