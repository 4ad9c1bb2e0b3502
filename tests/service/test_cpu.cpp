// Processor detection with simulated processors: CPUID and XGETBV answer through the platform
// seam from a description in the child's environment (TEST_CPU), so that every rule of the
// type selection, the reproducibility branch, the microarchitecture class and the cache
// description can be checked on any machine.  The type is fixed once per process, so every
// case is a child.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "service/cpu.h"
#include "service/dispatch.h"
#include "service/messages.h"
#include "service/platform.h"
#include "tests/support/child.h"

namespace ztr {
namespace {

// ---- the simulated processor -------------------------------------------------------------

struct FakeCpu {
  bool has_cpuid = true;
  char vendor[13] = "GenuineOrvan";
  std::uint32_t max_leaf = 0xd, max_ext = 0x80000008u;
  std::uint32_t l1_ecx = 0, l1_edx = 0, l7_ebx = 0, ext_ecx = 0;
  std::uint64_t xcr0 = 0;
  CpuidRegs leaf2{0, 0, 0, 0};
  std::vector<CpuidRegs> leaf4, ext1d;  // subleaves of leaf 4 and of 0x8000001D
};
FakeCpu g_cpu;

bool fake_has_cpuid() {
  return g_cpu.has_cpuid;
}

CpuidRegs fake_cpuid(std::uint32_t leaf, std::uint32_t sub) {
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
std::uint64_t fake_xgetbv(std::uint32_t) {
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
CpuidRegs cache(unsigned type, unsigned ways, unsigned line, unsigned sets, unsigned parts = 1) {
  return {type, ((ways - 1) << 22) | ((parts - 1) << 12) | (line - 1), sets - 1, 0};
}

// TEST_CPU names a processor; TEST_VENDOR, TEST_XCR0, TEST_LEAF2 and TEST_CACHES vary it.
void install_fake_cpu() {
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
  if (caches == "ecx0") {
    CpuidRegs bad = cache(3, 16, 64, 1);
    bad.ecx = 0;
    c.leaf4 = {cache(1, 8, 64, 64), bad, cache(3, 16, 64, 8192)};
  }
  if (caches == "none") c.max_leaf = 3;
  platform().has_cpuid = fake_has_cpuid;
  platform().cpuid = fake_cpuid;
  platform().xgetbv = fake_xgetbv;
}

// Everything the detection answers, as blank-separated tokens.
ZTR_CHILD(cpu_report) {
  install_fake_cpu();
  const int type = detect_cpu_type();
  int t[5];
  const int words = cache_table(t);
  std::printf(
      " type=%d hw=%d cbwr=%d ma=%d sse41=%d l2class=%d words=%d count=%d sizes=%d,%d,%d,%d"
      " last=%d levels=%d,%d,%d,%d,%d ",
      type, hardware_cpu_type(), cbwr_mode(), cpu_microarch(), sse41_allowed(), l2_size_class(),
      words, t[0], t[1], t[2], t[3], t[4], cache_size(0), cache_size(-1), cache_size(1),
      cache_size(3), cache_size(4), cache_size(5));
  return 0;
}

struct Row {
  const char* cpu;
  std::vector<std::string> env;
  const char* want;  // tokens the report must hold
};

const std::string kLongCbwr = "ZTR_CBWR=AVX" + std::string(200, ' ');
const std::string kDebug31 = "ZTR_DEBUG_CPU_TYPE=" + std::string(30, '0') + "3";
const Row kRows[] = {
    // Type from the feature bits; type 7 needs every companion of AVX2, AVX needs OSXSAVE
    // (XGETBV is never executed without it) and both XCR0 bits; every vendor alike.
    {"nocpuid", {}, "type=2 count=0"},
    {"sse2", {}, "type=2 ma=0"},
    {"sse3", {}, "type=3 ma=0"},
    {"ssse3", {}, "type=4 ma=32 sse41=0"},
    {"sse41", {}, "type=4 ma=33 sse41=1"},
    {"sse42", {}, "type=5 ma=64"},
    {"sse42aes", {}, "type=5 ma=66"},
    {"avx", {}, "type=6 ma=128"},
    {"avx2",
     {},
     "type=7 hw=7 cbwr=1 ma=0 words=5 count=3 sizes=32768,1048576,8388608,0 "
     "last=8388608 levels=-1,32768,8388608,-1,-1"},
    {"avx2_no_fma", {}, "type=6"},
    {"avx2_no_aes", {}, "type=6"},
    {"avx2_no_lzcnt", {}, "type=6"},
    {"avx2_no_bmi2", {}, "type=6"},
    {"avx2_no_leaf7", {}, "type=6"},
    {"avx_no_osxsave", {}, "type=5"},
    {"avx2", {"TEST_XCR0=0x3"}, "type=5"},
    {"avx2", {"TEST_XCR0=0x5"}, "type=5"},
    {"avx", {"TEST_XCR0=0x1"}, "type=5"},
    {"avx2", {"TEST_XCR0=0xe7"}, "type=7"},
    {"avx2", {"TEST_VENDOR=SomeOtherMake"}, "type=7"},
    {"avx", {"TEST_VENDOR=SomeOtherMake", "ZTR_CBWR=SSE3"}, "type=3"},
    // Every reproducibility branch; malformed values (also too long for the buffer) are AUTO.
    {"avx2", {"ZTR_CBWR=AUTO"}, "cbwr=2 type=7"},
    {"avx2", {"ZTR_CBWR=COMPATIBLE"}, "cbwr=3 type=2"},
    {"avx2", {"ZTR_CBWR=SSE2"}, "cbwr=4 type=2"},
    {"avx2", {"ZTR_CBWR=SSE3"}, "cbwr=5 type=3"},
    {"avx2", {"ZTR_CBWR=SSSE3"}, "cbwr=6 type=4 ma=32 sse41=0"},
    {"avx2", {"ZTR_CBWR=SSE4_1"}, "cbwr=7 type=4 count=2 sizes=32768,262144,0,0"},
    {"avx2", {"ZTR_CBWR=SSE4_2"}, "cbwr=8 type=5 count=3 sizes=32768,262144,4194304,0"},
    {"avx2", {"ZTR_CBWR=AVX"}, "cbwr=9 type=6"},
    {"avx2", {"ZTR_CBWR=AVX2"}, "cbwr=10 type=7"},
    {"avx2", {"ZTR_CBWR=BRANCH=AVX"}, "cbwr=9 type=6"},
    {"avx2", {"ZTR_CBWR=BRANCH=SSE3"}, "cbwr=5 type=3"},
    {"avx2", {"ZTR_CBWR=avx"}, "cbwr=2 type=7"},
    {"avx2", {"ZTR_CBWR=AVX "}, "cbwr=2 type=7"},
    {"avx2", {"ZTR_CBWR=BRANCH=BRANCH=AVX"}, "cbwr=2 type=7"},
    {"avx2", {kLongCbwr}, "cbwr=2"},
    {"avx", {"ZTR_CBWR=AVX2"}, "type=6"},  // a branch above the processor: its own type
    {"ssse3", {"ZTR_CBWR=SSE4_2"}, "type=4"},
    {"ssse3", {"ZTR_CBWR=SSE4_1"}, "type=4 ma=33 sse41=1"},
    {"ssse3", {"ZTR_CBWR=AUTO"}, "count=2 sizes=32768,262144,0,0"},
    {"sse2", {"ZTR_CBWR=AVX", "TEST_CACHES=none"}, "last=4194304"},
    // The debug type is taken unchecked and wins over the branch; bad values are ignored.
    {"avx2", {"ZTR_DEBUG_CPU_TYPE=3"}, "type=3"},
    {"sse2", {"ZTR_DEBUG_CPU_TYPE=7"}, "type=7"},
    {"avx2", {"ZTR_DEBUG_CPU_TYPE=3", "ZTR_CBWR=AVX"}, "type=3"},
    {"avx2", {"ZTR_DEBUG_CPU_TYPE=5", "ZTR_CBWR=COMPATIBLE"}, "type=5"},
    {"avx2", {"ZTR_DEBUG_CPU_TYPE=2"}, "type=2 hw=7"},
    {"avx2", {"ZTR_DEBUG_CPU_TYPE=6"}, "ma=128"},
    {"avx2", {"ZTR_DEBUG_CPU_TYPE=1"}, "type=7"},
    {"avx2", {"ZTR_DEBUG_CPU_TYPE=8"}, "type=7"},
    {"avx2", {"ZTR_DEBUG_CPU_TYPE=abc"}, "type=7"},
    {"avx2", {"ZTR_DEBUG_CPU_TYPE=000000000000000000000000000000003"}, "type=7"},
    {"avx2", {kDebug31}, "type=3"},
    {"avx", {"ZTR_DEBUG_CPU_TYPE=9", "ZTR_CBWR=SSE3"}, "type=3"},
    // Microarchitecture class of type 5: AES and no branch give 66; the debug class wins.
    {"sse42aes", {"ZTR_CBWR=AUTO"}, "ma=64"},
    {"sse42aes", {"ZTR_DEBUG_CPU_MA=64"}, "ma=64"},
    {"sse42", {"ZTR_DEBUG_CPU_MA=66"}, "ma=66"},
    {"sse42", {"ZTR_DEBUG_CPU_MA=65"}, "ma=64"},
    // The cache walk: the extended leaf when leaf 4 is empty, at most four levels, a stop at
    // a record with EBX or ECX of 0, nothing known.
    {"avx2", {"TEST_CACHES=ext"}, "count=3 sizes=32768,1048576,8388608,0"},
    {"avx2",
     {"TEST_CACHES=six"},
     "count=4 sizes=128,256,384,512 last=512 levels=-1,128,384,512,-1"},
    {"avx2", {"TEST_CACHES=ebx0"}, "count=1"},
    {"avx2", {"TEST_CACHES=ecx0"}, "count=1"},
    {"avx2", {"TEST_CACHES=none"}, "count=0 last=-1"},
    // Level-two class from the descriptors (the low byte of EAX is the iteration count): the
    // last match decides, a register with bit 31 set holds none; fixed under a branch.
    {"avx2", {"TEST_LEAF2=0x43000001 0 0 0"}, "l2class=3"},
    {"avx2", {"TEST_LEAF2=0x00000001 0x7d 0 0"}, "l2class=5"},
    {"avx2", {"TEST_LEAF2=0x40004101 0 0 0x00490000"}, "l2class=6"},
    {"avx2", {"TEST_LEAF2=0x00000001 0x80000044 0 0"}, "l2class=-1"},
    {"avx2", {"TEST_LEAF2=0x00000049 0 0 0"}, "l2class=-1"},
    {"avx2", {"TEST_LEAF2=0x43000001 0 0 0", "ZTR_CBWR=AUTO"}, "l2class=256"},
};

TEST(CpuDetect, TypeBranchClassAndCachesOfSimulatedProcessors) {
  for (const Row& row : kRows) {
    std::vector<std::string> env = row.env;
    env.push_back(std::string("TEST_CPU=") + row.cpu);
    const auto r = test::run_child("cpu_report", env);
    EXPECT_EQ(r.exit_code, 0) << r.out;
    EXPECT_EQ(r.out.find("ZTR"), std::string::npos) << "no message expected: " << r.out;
    std::istringstream want(row.want);
    for (std::string token; want >> token;)
      EXPECT_NE(r.out.find(" " + token + " "), std::string::npos)
          << row.cpu << " " << (env.size() > 1 ? env[0].substr(0, 40) : "") << ": " << r.out;
  }
}

// No SSE2: both messages, exit code 1, nothing after them, whichever query comes first.
ZTR_CHILD(cpu_too_old) {
  install_fake_cpu();
  std::getenv("TEST_HARDWARE") ? hardware_cpu_type() : detect_cpu_type();
  std::printf("survived");
  return 0;
}

TEST(CpuDetect, ProcessorWithoutSse2StopsTheProcess) {
  const std::string expected = std::string(message_table_text(kMsgNoSse2)) + "\n" +
                               message_table_text(kMsgNoSse2Detail) + "\n";
  for (const char* query : {"TEST_HARDWARE=1", "TEST_DETECT=1"})
    for (const char* env : {"ZTR_DEBUG_CPU_TYPE=4", "ZTR_CBWR=COMPATIBLE", "TEST_NONE=1"}) {
      auto r = test::run_child("cpu_too_old", {"TEST_CPU=nosse2", query, env});
      EXPECT_EQ(r.exit_code, 1) << query << env;
      EXPECT_EQ(r.out, expected) << query << env;
    }
}

// ---- dispatch ----------------------------------------------------------------------------

template <int kType>
int variant() {
  return kType;
}

// A slot answers with the variant of the type in force, fills once, and stops the process
// with message 1213 when the type in force has no variant.
ZTR_CHILD(dispatch_slot) {
  install_fake_cpu();
  static DispatchSlot<int()> full{
      {variant<2>, variant<3>, variant<4>, variant<5>, variant<6>, variant<7>}};
  static DispatchSlot<int()> gap{
      {variant<2>, variant<3>, nullptr, variant<5>, variant<6>, variant<7>}};
  std::printf("full=%d again=%d", full(), full());
  std::fflush(stdout);
  std::printf(" gap=%d", gap());
  return 0;
}

TEST(Dispatch, SlotFollowsTheTypeAndStopsWithoutAVariant) {
  auto r = test::run_child("dispatch_slot", {"TEST_CPU=sse42"});
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_EQ(r.out, "full=5 again=5 gap=5");
  r = test::run_child("dispatch_slot", {"TEST_CPU=avx2", "ZTR_DEBUG_CPU_TYPE=4"});
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_EQ(r.out, "full=4 again=4" + std::string(msg_text(kMsgCpuNotSupported, 1, 4)) + "\n");
}

// Every slot the library defines has a variant for every CpuType.  This binary carries all
// of the library's objects, so every registration is present.
TEST(Dispatch, EveryLibrarySlotHasAllSixVariants) {
  int slots = 0;
  std::vector<std::string> names;
  for (const SlotRegistration* s = SlotRegistration::first(); s != nullptr; s = s->next()) {
    ++slots;
    names.push_back(s->name());
    EXPECT_EQ(s->missing(), 0) << s->name();
  }
  for (const char* known :
       {"g_ddot_kernel", "g_csr_symv_lower", "g_csr_symv_upper", "g_csr_symv_merge"})
    EXPECT_NE(std::find(names.begin(), names.end(), known), names.end()) << known;
  EXPECT_GE(slots, 4);
}

}  // namespace
}  // namespace ztr
