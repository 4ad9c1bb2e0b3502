// The templated multiply's variants, one per CpuType and scalar type.
#pragma once

#include <complex>

#include "service/kernel_variant.h"

#define ZTR_DECLARE_TGEMM(name, T)                                                           \
  ZTR_DECLARE_VARIANTS(void, name, (char, char, int, int, int, T, const T*, int, const T*, int, \
                                    T, T*, int))
ZTR_DECLARE_TGEMM(tgemm_s, float)
ZTR_DECLARE_TGEMM(tgemm_d, double)
ZTR_DECLARE_TGEMM(tgemm_c, std::complex<float>)
ZTR_DECLARE_TGEMM(tgemm_z, std::complex<double>)
#undef ZTR_DECLARE_TGEMM
