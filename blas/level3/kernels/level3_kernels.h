// The level-3 leaf kernels (unblocked triangular solve and multiply on a diagonal block of
// at most a few dozen rows), one variant per CpuType.
#pragma once

#include "service/kernel_variant.h"

ZTR_DECLARE_VARIANTS(void, dtrsm_leaf, (char, char, char, char, int, int, const double*, int,
                                        double*, int))
ZTR_DECLARE_VARIANTS(void, dtrmm_leaf, (char, char, char, char, int, int, const double*, int,
                                        double*, int))
