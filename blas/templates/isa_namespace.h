// Inline functions and templates shared with the per-CpuType kernel translation units
// must not be merged across them by the linker: each variant's copy is compiled for its own
// instruction set, and a merged copy could run AVX code on an SSE2 processor.  Headers that
// such units include wrap their contents in ZTR_ISA_NS_BEGIN / ZTR_ISA_NS_END, which opens
// an inline namespace named after the variant (so the names callers use do not change but
// every variant's symbols are distinct) and nothing outside the kernel units.
#pragma once

#include "service/kernel_variant.h"

#ifdef ZTR_KERNEL_CPU_TYPE
#define ZTR_ISA_NS_BEGIN inline namespace ZTR_KV_CAT(isa, ZTR_KERNEL_CPU_TYPE) {
#define ZTR_ISA_NS_END }
#else
#define ZTR_ISA_NS_BEGIN
#define ZTR_ISA_NS_END
#endif
