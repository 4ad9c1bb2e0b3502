#include "blas/gemm/gemm_dispatch.h"

#include "service/kernel_variant.h"

namespace ztr {

#define ZTR_GEMM_SLOT(type, name, fn) type name(ZTR_VARIANTS_IN(::ztr::gemm, fn))

ZTR_GEMM_SLOT(decltype(g_gemm_serial), g_gemm_serial, gemm_serial);
ZTR_GEMM_SLOT(decltype(g_gemm_blocked), g_gemm_blocked, gemm_blocked);
ZTR_GEMM_SLOT(decltype(g_gemm_scale_c), g_gemm_scale_c, gemm_scale_c);
ZTR_GEMM_SLOT(decltype(g_gemm_blocked_available), g_gemm_blocked_available,
              gemm_blocked_available);
ZTR_GEMM_SLOT(decltype(g_gemm_params_init), g_gemm_params_init, gemm_params_init);
ZTR_GEMM_SLOT(decltype(g_gemm_plan_handback), g_gemm_plan_handback, gemm_plan_handback);

#undef ZTR_GEMM_SLOT

}  // namespace ztr
