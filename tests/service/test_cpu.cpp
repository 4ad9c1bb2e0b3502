// Processor detection with simulated processors: CPUID and XGETBV answer through the platform
// seam from a description in the child's environment (see fake_machine.h), so that every rule of
// the type selection, the reproducibility branch, the microarchitecture class and the cache
// description can be checked on any machine.  The type is fixed once per process, so every
// case is a child.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "service/cpu.h"
#include "service/dispatch.h"
#include "service/messages.h"
#include "service/platform.h"
#include "tests/support/child.h"
#include "tests/support/fake_machine.h"

namespace ztr {
namespace {

using test::install_fake_cpu;

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
    {"sse2", {"ZTR_DEBUG_CPU_TYPE=7"}, "type=7"},
    {"avx2", {"ZTR_DEBUG_CPU_TYPE=3", "ZTR_CBWR=AVX"}, "type=3"},
    {"avx2", {"ZTR_DEBUG_CPU_TYPE=5", "ZTR_CBWR=COMPATIBLE"}, "type=5"},
    {"avx2", {"ZTR_DEBUG_CPU_TYPE=2"}, "type=2 hw=7"},
    {"avx2", {"ZTR_DEBUG_CPU_TYPE=6"}, "ma=128"},
    {"avx2", {"ZTR_DEBUG_CPU_TYPE=1"}, "type=7"},
    {"avx2", {"ZTR_DEBUG_CPU_TYPE=8"}, "type=7"},
    {"avx2", {"ZTR_DEBUG_CPU_TYPE=000000000000000000000000000000003"}, "type=7"},
    {"avx", {"ZTR_DEBUG_CPU_TYPE=9", "ZTR_CBWR=SSE3"}, "type=3"},
    // Microarchitecture class of type 5: AES and no branch give 66; the debug class wins.
    {"sse42aes", {"ZTR_CBWR=AUTO"}, "ma=64"},
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
  std::vector<std::string> names;
  for (const SlotRegistration* s = SlotRegistration::first(); s != nullptr; s = s->next()) {
    names.push_back(s->name());
    EXPECT_EQ(s->missing(), 0) << s->name();
  }
  for (const char* known :
       {"g_ddot_kernel", "g_csr_symv_lower", "g_csr_symv_upper", "g_csr_symv_merge"})
    EXPECT_NE(std::find(names.begin(), names.end(), known), names.end()) << known;
}

}  // namespace
}  // namespace ztr
