// Processor detection.  Once per process the library decides which instruction-set level its
// kernels use, the CpuType:
//   2 SSE2, 3 SSE3, 4 SSSE3, 5 SSE4.2, 6 AVX, 7 AVX2 (with FMA, BMI1/2, LZCNT, AES present;
//   the kernels never fuse multiplies and adds).
// "ZTR_DEBUG_CPU_TYPE" forces a type (unchecked, for testing every variant on one machine);
// "ZTR_CBWR" caps the level so that results are the same across processors.
#pragma once

namespace ztr {

inline constexpr int kCpuTypeMin = 2;
inline constexpr int kCpuTypeMax = 7;
inline constexpr int kCpuTypeCount = kCpuTypeMax - kCpuTypeMin + 1;

// Reproducibility branch: 1 not set, 2 AUTO, 3 COMPATIBLE, 4 SSE2, 5 SSE3, 6 SSSE3,
// 7 SSE4_1, 8 SSE4_2, 9 AVX, 10 AVX2.
enum CbwrMode : int {
  kCbwrNotSet = 1,
  kCbwrAuto = 2,
  kCbwrCompatible = 3,
  kCbwrSse2 = 4,
  kCbwrSse3 = 5,
  kCbwrSsse3 = 6,
  kCbwrSse41 = 7,
  kCbwrSse42 = 8,
  kCbwrAvx = 9,
  kCbwrAvx2 = 10,
};

// The CpuType in force (2..7).  Stops the process (messages 1210, 1211) on a processor
// without SSE2.
int detect_cpu_type();
// What the processor supports, before overrides.
int hardware_cpu_type();
int cbwr_mode();
// Microarchitecture class for thread-split and blocking decisions.  The numbers are those
// "ZTR_DEBUG_CPU_MA" takes.
enum ProcessorClass : int {
  kClassOther = 0,        // CpuTypes 2, 3 and 7: no class-specific tuning
  kClassSsse3 = 32,       // CpuType 4 without SSE4.1
  kClassSse41 = 33,       // CpuType 4 with SSE4.1
  kClassSse42 = 64,       // CpuType 5
  kClassSse42Aes = 66,    // CpuType 5 with AES and no reproducibility branch
  kClassAvx = 128,        // CpuType 6
};
int cpu_microarch();
inline bool ssse3_class(int microarch) {
  return microarch == kClassSsse3 || microarch == kClassSse41;
}

// A level-2 cache above this size is large: the splits and blockings tuned for the SSSE3
// classes change there (such caches are shared by fewer cores, so each thread gets more).
inline constexpr int kLargeL2Bytes = 0x300000;  // 3 MiB
// Whether the processor has the 512-bit tier of CpuType 7 (AVX-512 foundation instructions)
// and the OS saves its state (XCR0 bits 5, 6 and 7 besides XMM and YMM); never in i386
// builds.
int avx512_tier_supported();
// Whether the CpuType 7 kernels run their 512-bit tier: type 7 chosen automatically (no
// branch, or AUTO; no forced type other than 7), the tier supported, and "ZTR_DISABLE_AVX512"
// absent or empty.  The tier gives the same results, bit for bit, as the 256-bit kernels.
int avx512_tier_in_use();
// For tests and benchmarks that compare the tiers in one process: the 512-bit tier on
// (where supported) or off for the calls that start afterwards, whatever was decided.
void avx512_tier_force(int on);
// Whether SSE4.1 kernels may be used (processor support, or a branch of SSE4_1 or above).
int sse41_allowed();

// Cache description.  cache_size(0) is the last level; -1 for a level outside 0..count.
int cache_size(int level);
// Copies the level count and the sizes of levels 1 to 4 (0 where absent); returns 5.
int cache_table(int* table);
// Level-2 size class from the CPUID leaf-2 descriptors: 0..6, -1 without a match, 256 when a
// reproducibility branch is set.
int l2_size_class();

}  // namespace ztr
