#include "lapack/transpose_copy.h"

#include "service/dispatch.h"
#include "service/kernel_variant.h"

ZTR_DECLARE_VARIANTS(void, transpose_copy,
                     (char, char, int, int, double, const double*, int, double*, int))

namespace ztr {
namespace {
DispatchSlot<void(char, char, int, int, double, const double*, int, double*, int)>
    g_transpose_copy(ZTR_VARIANTS(transpose_copy));
}  // namespace

void transpose_copy(char ordering, char operation, int rows, int cols, double alpha,
                    const double* a, int lda, double* b, int ldb) {
  g_transpose_copy(ordering, operation, rows, cols, alpha, a, lda, b, ldb);
}

}  // namespace ztr
