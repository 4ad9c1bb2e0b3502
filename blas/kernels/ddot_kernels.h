// The six variants of the serial dot-product kernel, one per CpuType, each in its own
// translation unit compiled for that instruction-set level.  All return 0.0 for n <= 0 and
// share the strided path (one accumulator, elements in BLAS order); they differ in how they
// sum unit-stride vectors, and each variant's order of additions is fixed (see its file).
#pragma once

namespace ztr::kernels {

#define ZTR_DDOT_KERNEL_DECL                                                          \
  double ddot_kernel(const int* n, const double* x, const int* incx, const double* y, \
                     const int* incy)

namespace t2 {
ZTR_DDOT_KERNEL_DECL;
}
namespace t3 {
ZTR_DDOT_KERNEL_DECL;
}
namespace t4 {
ZTR_DDOT_KERNEL_DECL;
}
namespace t5 {
ZTR_DDOT_KERNEL_DECL;
}
namespace t6 {
ZTR_DDOT_KERNEL_DECL;
}
namespace t7 {
ZTR_DDOT_KERNEL_DECL;
}

#undef ZTR_DDOT_KERNEL_DECL

}  // namespace ztr::kernels
