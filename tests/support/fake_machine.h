// A simulated machine for tests of what the library decides from the processor and the
// topology: CPUID, XGETBV and the processor queries answer through the platform seam, in a
// child process (the decisions are made once per process).  For the processor, the
// description comes from the child's environment.  TEST_CPU names the feature set ("nocpuid",
// "nosse2", "sse2" ... "avx", "avx2", and AVX2 machines missing one companion of CpuType 7);
// TEST_AVX512 adds the 512-bit foundation, TEST_VENDOR, TEST_XCR0, TEST_LEAF2 and TEST_CACHES
// vary the vendor, the state the OS saves, the descriptor bytes and the cache records.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "service/platform.h"

namespace ztr::test {

struct FakeCpu {
  bool has_cpuid = true;
  char vendor[13] = "GenuineOrvan";
  std::uint32_t max_leaf = 0xd, max_ext = 0x80000008u;
  std::uint32_t l1_ecx = 0, l1_edx = 0, l7_ebx = 0, ext_ecx = 0;
  std::uint64_t xcr0 = 0;
  CpuidRegs leaf2{0, 0, 0, 0};
  std::vector<CpuidRegs> leaf4, ext1d;  // subleaves of leaf 4 and of 0x8000001D
};
inline FakeCpu g_cpu;

inline CpuidRegs fake_cpuid(std::uint32_t leaf, std::uint32_t sub) {
  CpuidRegs r{0, 0, 0, 0};
  auto sub_of = [&](const std::vector<CpuidRegs>& v) { return sub < v.size() ? v[sub] : r; };
  if (leaf < 0x80000000u && leaf > g_cpu.max_leaf) return r;
  if (leaf >= 0x80000000u && leaf > g_cpu.max_ext) return r;
  if (leaf == 0) {
    r.eax = g_cpu.max_leaf;
    std::memcpy(&r.ebx, g_cpu.vendor, 4);
    std::memcpy(&r.edx, g_cpu.vendor + 4, 4);
    std::memcpy(&r.ecx, g_cpu.vendor + 8, 4);
  }
  if (leaf == 1) r = {0, 0, g_cpu.l1_ecx, g_cpu.l1_edx};
  if (leaf == 2) r = g_cpu.leaf2;
  if (leaf == 4) r = sub_of(g_cpu.leaf4);
  if (leaf == 7) r.ebx = sub == 0 ? g_cpu.l7_ebx : 0;
  if (leaf == 0x80000000u) r.eax = g_cpu.max_ext;
  if (leaf == 0x80000001u) r.ecx = g_cpu.ext_ecx;
  if (leaf == 0x8000001Du) r = sub_of(g_cpu.ext1d);
  return r;
}

// XGETBV faults on a processor whose OS has not enabled it: the library must not ask then.
inline std::uint64_t fake_xgetbv(std::uint32_t) {
  if (!(g_cpu.l1_ecx & (1u << 27))) {
    std::printf("XGETBV without OSXSAVE");
    std::fflush(stdout);
    std::_Exit(3);
  }
  return g_cpu.xcr0;
}

// Feature bits, by leaf and register.
constexpr std::uint32_t kSse2 = 1u << 26;  // leaf 1 EDX
constexpr std::uint32_t kSse3 = 1u << 0, kSsse3 = 1u << 9, kFma = 1u << 12, kSse41 = 1u << 19,
                        kSse42 = 1u << 20, kAes = 1u << 25, kOsxsave = 1u << 27,
                        kAvx = 1u << 28;                                    // leaf 1 ECX
constexpr std::uint32_t kBmi1 = 1u << 3, kAvx2 = 1u << 5, kBmi2 = 1u << 8;  // leaf 7 EBX
constexpr std::uint32_t kLzcnt = 1u << 5;                                   // 0x80000001 ECX

// A cache record of leaf 4 / 0x8000001D.
inline CpuidRegs cache(unsigned type, unsigned ways, unsigned line, unsigned sets,
                       unsigned parts = 1) {
  return {type, ((ways - 1) << 22) | ((parts - 1) << 12) | (line - 1), sets - 1, 0};
}

// TEST_CPU names a processor; TEST_VENDOR, TEST_XCR0, TEST_LEAF2 and TEST_CACHES vary it.
inline void install_fake_cpu() {
  const std::string kind = std::getenv("TEST_CPU") ? std::getenv("TEST_CPU") : "avx2";
  FakeCpu& c = g_cpu;
  c.l1_edx = kSse2;
  c.xcr0 = 0x7;
  if (kind == "nocpuid") c.has_cpuid = false;
  if (kind == "nosse2") c.l1_edx = 0;
  if (kind == "sse3") c.l1_ecx = kSse3;
  if (kind == "ssse3") c.l1_ecx = kSse3 | kSsse3;
  if (kind == "sse41") c.l1_ecx = kSse3 | kSsse3 | kSse41;
  if (kind == "sse42") c.l1_ecx = kSse3 | kSsse3 | kSse41 | kSse42;
  if (kind == "sse42aes") c.l1_ecx = kSse3 | kSsse3 | kSse41 | kSse42 | kAes;
  if (kind == "avx") c.l1_ecx = kSse3 | kSsse3 | kSse41 | kSse42 | kOsxsave | kAvx;
  if (kind == "avx_no_osxsave") c.l1_ecx = kSse3 | kSsse3 | kSse41 | kSse42 | kAvx;
  if (kind.rfind("avx2", 0) == 0) {
    c.l1_ecx = kSse3 | kSsse3 | kFma | kSse41 | kSse42 | kAes | kOsxsave | kAvx;
    c.l7_ebx = kAvx2 | kBmi1 | kBmi2;
    c.ext_ecx = kLzcnt;
  }
  // AVX2 machines missing one of the companions that type 7 requires.
  if (kind == "avx2_no_fma") c.l1_ecx &= ~kFma;
  if (kind == "avx2_no_aes") c.l1_ecx &= ~kAes;
  if (kind == "avx2_no_lzcnt") c.ext_ecx = 0;
  if (kind == "avx2_no_bmi2") c.l7_ebx &= ~kBmi2;
  if (kind == "avx2_no_leaf7") c.max_leaf = 6;
  if (std::getenv("TEST_AVX512") != nullptr) c.l7_ebx |= 1u << 16;  // the 512-bit foundation
  if (const char* v = std::getenv("TEST_VENDOR")) std::snprintf(c.vendor, sizeof c.vendor, "%s", v);
  if (const char* v = std::getenv("TEST_XCR0")) c.xcr0 = std::strtoull(v, nullptr, 0);
  if (const char* v = std::getenv("TEST_LEAF2")) {
    unsigned r[4] = {0, 0, 0, 0};
    std::sscanf(v, "%x %x %x %x", &r[0], &r[1], &r[2], &r[3]);
    c.leaf2 = {r[0], r[1], r[2], r[3]};
  }
  const std::string caches = std::getenv("TEST_CACHES") ? std::getenv("TEST_CACHES") : "";
  // L1 data 32 KiB, L1 instruction 32 KiB, L2 1 MiB (2 partitions), L3 8 MiB.
  const std::vector<CpuidRegs> usual = {cache(1, 8, 64, 64), cache(2, 8, 64, 64),
                                        cache(3, 16, 64, 512, 2), cache(3, 16, 64, 8192)};
  if (caches == "" || caches == "leaf4") c.leaf4 = usual;
  if (caches == "ext") {  // leaf 4 empty, the extended leaf filled
    c.ext1d = usual;
    c.max_ext = 0x8000001Du;
  }
  if (caches == "six") {  // more data caches than the table holds
    c.leaf4 = {cache(1, 1, 64, 2), cache(3, 2, 64, 2), cache(3, 3, 64, 2),
               cache(3, 4, 64, 2), cache(3, 5, 64, 2), cache(3, 6, 64, 2)};
  }
  if (caches == "ebx0") c.leaf4 = {cache(1, 8, 64, 64), {3, 0, 63, 0}, cache(3, 16, 64, 8192)};
  if (caches == "ecx0")
    c.leaf4 = {cache(1, 8, 64, 64), cache(3, 16, 64, 1), cache(3, 16, 64, 8192)};
  if (caches == "none") c.max_leaf = 3;
  if (caches == "large_l2")  // L1 data 32 KiB, L2 4 MiB, L3 16 MiB
    c.leaf4 = {cache(1, 16, 64, 32), cache(3, 16, 64, 4096), cache(3, 16, 64, 16384)};
  platform().has_cpuid = [] { return g_cpu.has_cpuid; };
  platform().cpuid = fake_cpuid;
  platform().xgetbv = fake_xgetbv;
}

// A machine of `cores` physical cores with `smt` hardware threads each, in one package, whose
// affinity mask allows every processor unless `restricted`.
inline int g_fake_cores = 1, g_fake_smt = 1;
inline bool g_fake_restricted = false;
inline void install_fake_topology(int cores, int smt, bool restricted = false) {
  g_fake_cores = cores, g_fake_smt = smt, g_fake_restricted = restricted;
  platform().num_procs = [] { return g_fake_cores * g_fake_smt; };
  platform().affinity_unrestricted = [] { return !g_fake_restricted; };
  platform().cpu_ids = [](int cpu, int* package, int* core) {
    *package = 0;
    *core = cpu % g_fake_cores;
    return true;
  };
}

}  // namespace ztr::test
