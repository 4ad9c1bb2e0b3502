// The unblocked factorization: one dispatched kernel per triangle.
#include "lapack/potrf/potrf.h"
#include "service/dispatch.h"
#include "service/kernel_variant.h"
#include "service/letters.h"

ZTR_DECLARE_VARIANTS(int, dpotf2_lower, (int, double*, int))
ZTR_DECLARE_VARIANTS(int, dpotf2_upper, (int, double*, int))

namespace ztr {
namespace {
DispatchSlot<int(int, double*, int)> g_dpotf2_lower(ZTR_VARIANTS(dpotf2_lower));
ZTR_REGISTER_DISPATCH_SLOT(g_dpotf2_lower);
DispatchSlot<int(int, double*, int)> g_dpotf2_upper(ZTR_VARIANTS(dpotf2_upper));
ZTR_REGISTER_DISPATCH_SLOT(g_dpotf2_upper);
}  // namespace

void ztr_lapack_dpotf2(char uplo, int n, double* a, int lda, int* info) {
  *info = n <= 0                   ? 0
          : same_letter(uplo, 'U') ? g_dpotf2_upper(n, a, lda)
                                   : g_dpotf2_lower(n, a, lda);
}

}  // namespace ztr
