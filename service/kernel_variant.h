// Helpers for kernels that exist in six variants, one per CpuType.
//
// A variant's translation unit is compiled with ZTR_KERNEL_CPU_TYPE set to its type (see
// ztr_kernel_sources in cmake/ZtrKernels.cmake); ZTR_VARIANT_NS names its namespace, t2 .. t7,
// inside ztr::kernels.  Where a kernel's six variants differ only in what the compiler makes
// of the same source, that source is a header included by six one-line translation units.
#pragma once

#define ZTR_KV_CAT_(a, b) a##b
#define ZTR_KV_CAT(a, b) ZTR_KV_CAT_(a, b)
#ifdef ZTR_KERNEL_CPU_TYPE
#define ZTR_VARIANT_NS ZTR_KV_CAT(t, ZTR_KERNEL_CPU_TYPE)
#endif

// Declares `ret name params` in each of the six variant namespaces.
#define ZTR_DECLARE_VARIANTS(ret, name, params) \
  namespace ztr::kernels {                      \
  namespace t2 { ret name params; }             \
  namespace t3 { ret name params; }             \
  namespace t4 { ret name params; }             \
  namespace t5 { ret name params; }             \
  namespace t6 { ret name params; }             \
  namespace t7 { ret name params; }             \
  }

// The six variants of `name` in namespace `ns` (t2 .. t7 inside it), in CpuType order, as a
// DispatchSlot wants them; ZTR_VARIANTS for the kernels in ztr::kernels.
#define ZTR_VARIANTS_IN(ns, name) \
  { ns::t2::name, ns::t3::name, ns::t4::name, ns::t5::name, ns::t6::name, ns::t7::name }
#define ZTR_VARIANTS(name) ZTR_VARIANTS_IN(::ztr::kernels, name)
