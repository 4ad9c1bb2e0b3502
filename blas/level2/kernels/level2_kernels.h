// The level-2 kernels' signatures (scalars and option letters by value).
#pragma once

#include "service/kernel_variant.h"

ZTR_DECLARE_VARIANTS(void, dgemv,
                     (char, int, int, double, const double*, int, const double*, int, double,
                      double*, int))
ZTR_DECLARE_VARIANTS(void, dsymv,
                     (char, int, double, const double*, int, const double*, int, double, double*,
                      int))
ZTR_DECLARE_VARIANTS(void, dsymv_columns,
                     (char, int, int, int, double, const double*, int, const double*, double*))
ZTR_DECLARE_VARIANTS(void, dtrmv, (char, char, char, int, const double*, int, double*, int))
ZTR_DECLARE_VARIANTS(void, dtrsv, (char, char, char, int, const double*, int, double*, int))
ZTR_DECLARE_VARIANTS(void, dger,
                     (int, int, double, const double*, int, const double*, int, double*, int))
ZTR_DECLARE_VARIANTS(void, dsyr2,
                     (char, int, double, const double*, int, const double*, int, double*, int))
