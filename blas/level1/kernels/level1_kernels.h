// The level-1 kernels' signatures (scalars by value), declared in the six variant namespaces.
#pragma once

#include "service/kernel_variant.h"

ZTR_DECLARE_VARIANTS(void, dswap, (int, double*, int, double*, int))
ZTR_DECLARE_VARIANTS(void, dscal, (int, double, double*, int))
ZTR_DECLARE_VARIANTS(void, dcopy, (int, const double*, int, double*, int))
ZTR_DECLARE_VARIANTS(void, daxpy, (int, double, const double*, int, double*, int))
ZTR_DECLARE_VARIANTS(double, ddot, (int, const double*, int, const double*, int))
ZTR_DECLARE_VARIANTS(double, dnrm2, (int, const double*, int))
ZTR_DECLARE_VARIANTS(int, idamax, (int, const double*, int))
ZTR_DECLARE_VARIANTS(void, drot, (int, double*, int, double*, int, double, double))
