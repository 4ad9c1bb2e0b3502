#include <cstdlib>
#include <cstring>

#include "service/cpu.h"
#include "service/error.h"
#include "service/platform.h"
#include "service/service_lock.h"

namespace ztr {
namespace {

// CPUID bits, by leaf and register.
constexpr unsigned kL1EdxSse2 = 1u << 26;
constexpr unsigned kL1EcxSse3 = 1u << 0;
constexpr unsigned kL1EcxSsse3 = 1u << 9;
constexpr unsigned kL1EcxFma = 1u << 12;
constexpr unsigned kL1EcxSse41 = 1u << 19;
constexpr unsigned kL1EcxSse42 = 1u << 20;
constexpr unsigned kL1EcxAes = 1u << 25;
constexpr unsigned kL1EcxOsxsave = 1u << 27;
constexpr unsigned kL1EcxAvx = 1u << 28;
constexpr unsigned kL7EbxBmi1 = 1u << 3;
constexpr unsigned kL7EbxAvx2 = 1u << 5;
constexpr unsigned kL7EbxBmi2 = 1u << 8;
constexpr unsigned kL7EbxAvx512f = 1u << 16;
constexpr unsigned kExtEcxLzcnt = 1u << 5;  // leaf 0x80000001
constexpr unsigned long long kXcr0SseAvx = 0x6;  // XMM and YMM state enabled by the OS
// Opmask, upper halves of ZMM0-15 and ZMM16-31: the OS saves the 512-bit state.
constexpr unsigned long long kXcr0Zmm = 0xe0;

constexpr int kNotRead = -911;
constexpr int kReadAbsent = -6;

int g_cpu_type = -1;       // written under the service lock, read without it
int g_hardware_type = -1;
int g_debug_type = kNotRead;
int g_cbwr = 0;            // 0 = variable absent (reported as 1)
int g_cbwr_parsed = -1;
int g_microarch = -1;
int g_avx512_supported = -1;
int g_avx512_in_use = -1;

int load(const int& v) { return __atomic_load_n(&v, __ATOMIC_ACQUIRE); }
void store(int& v, int x) { __atomic_store_n(&v, x, __ATOMIC_RELEASE); }

const char* env(const char* name) { return platform().getenv(name); }

void parse_cbwr_locked() {
  if (load(g_cbwr_parsed) != -1) return;
  const char* v = env("ZTR_CBWR");
  int mode = 0;
  if (v != nullptr && std::strlen(v) < 128) {
    if (std::strncmp(v, "BRANCH=", 7) == 0) v += 7;
    static constexpr struct {
      const char* name;
      int mode;
    } kNames[] = {{"AUTO", kCbwrAuto},     {"COMPATIBLE", kCbwrCompatible}, {"SSE2", kCbwrSse2},
                  {"SSE3", kCbwrSse3},     {"SSSE3", kCbwrSsse3},           {"SSE4_1", kCbwrSse41},
                  {"SSE4_2", kCbwrSse42},  {"AVX", kCbwrAvx},               {"AVX2", kCbwrAvx2}};
    mode = kCbwrAuto;  // anything unrecognised means AUTO, silently
    for (const auto& n : kNames)
      if (std::strcmp(v, n.name) == 0) mode = n.mode;
  } else if (v != nullptr) {
    mode = kCbwrAuto;
  }
  g_cbwr = mode;
  store(g_cbwr_parsed, 1);
}

int mode_reported() { return g_cbwr == 0 ? kCbwrNotSet : g_cbwr; }

int compute_hardware_type() {
  const Platform& os = platform();
  if (!os.has_cpuid()) return 2;
  const CpuidRegs l0 = os.cpuid(0, 0);
  const CpuidRegs l1 = os.cpuid(1, 0);
  // Types 6 and 7 are decided by the feature bits alone, whoever made the processor.
  if ((l1.ecx & kL1EcxOsxsave) && (l1.ecx & kL1EcxAvx) &&
      (os.xgetbv(0) & kXcr0SseAvx) == kXcr0SseAvx) {
    const CpuidRegs l7 = l0.eax >= 7 ? os.cpuid(7, 0) : CpuidRegs{0, 0, 0, 0};
    const CpuidRegs ext0 = os.cpuid(0x80000000u, 0);
    const CpuidRegs ext1 = ext0.eax >= 0x80000001u ? os.cpuid(0x80000001u, 0) : CpuidRegs{0, 0, 0, 0};
    const bool avx2 = (l1.ecx & kL1EcxFma) && (l1.ecx & kL1EcxAes) && (ext1.ecx & kExtEcxLzcnt) &&
                      (l7.ebx & kL7EbxAvx2) && (l7.ebx & kL7EbxBmi1) && (l7.ebx & kL7EbxBmi2);
    return avx2 ? 7 : 6;
  }
  if (l1.ecx & kL1EcxSse42) return 5;
  if (l1.ecx & kL1EcxSsse3) return 4;
  if (l1.ecx & kL1EcxSse3) return 3;
  if (l1.edx & kL1EdxSse2) return 2;
  return 0;
}

int branch_type(int mode) {
  switch (mode) {
    case kCbwrCompatible:
    case kCbwrSse2: return 2;
    case kCbwrSse3: return 3;
    case kCbwrSsse3:
    case kCbwrSse41: return 4;
    case kCbwrSse42: return 5;
    case kCbwrAvx: return 6;
    default: return 7;
  }
}

unsigned leaf1_ecx() {
  return platform().has_cpuid() ? platform().cpuid(1, 0).ecx : 0u;
}

bool compute_avx512_supported() {
#if !defined(__x86_64__)
  // The tier's tiles need the 32 vector registers of 64-bit mode; i386 builds have none.
  return false;
#endif
  const Platform& os = platform();
  if (!os.has_cpuid()) return false;
  const CpuidRegs l0 = os.cpuid(0, 0);
  const CpuidRegs l1 = os.cpuid(1, 0);
  if (!(l1.ecx & kL1EcxOsxsave) || l0.eax < 7) return false;
  if (!(os.cpuid(7, 0).ebx & kL7EbxAvx512f)) return false;
  const unsigned long long state = kXcr0SseAvx | kXcr0Zmm;
  return (os.xgetbv(0) & state) == state;
}

}  // namespace

int avx512_tier_supported() {
  int s = load(g_avx512_supported);
  if (s < 0) {
    s = compute_avx512_supported() ? 1 : 0;
    store(g_avx512_supported, s);
  }
  return s;
}

int avx512_tier_in_use() {
  int u = load(g_avx512_in_use);
  if (u >= 0) return u;
  // detect_cpu_type has read the forced type: type 7 here means either none or 7 was forced.
  const int mode = cbwr_mode();
  u = detect_cpu_type() == 7 && hardware_cpu_type() == 7 &&
              (mode == kCbwrNotSet || mode == kCbwrAuto) && avx512_tier_supported()
          ? 1
          : 0;
  if (u != 0) {
    const char* off = env("ZTR_DISABLE_AVX512");
    if (off != nullptr && off[0] != '\0') u = 0;
  }
  store(g_avx512_in_use, u);
  return u;
}

void avx512_tier_force(int on) {
  store(g_avx512_in_use, on != 0 && avx512_tier_supported() ? 1 : 0);
}

int cbwr_mode() {
  if (load(g_cbwr_parsed) == -1) {
    ServiceLockGuard guard;
    parse_cbwr_locked();
  }
  return mode_reported();
}

int hardware_cpu_type() {
  int t = load(g_hardware_type);
  if (t < 0) {
    t = compute_hardware_type();
    if (t == 0) fatal_processor_too_old();
    store(g_hardware_type, t);
  }
  return t;
}

int detect_cpu_type() {
  int t = load(g_cpu_type);
  if (t >= 0) return t;
  bool too_old = false;
  {
    ServiceLockGuard guard;
    t = load(g_cpu_type);
    if (t >= 0) return t;
    parse_cbwr_locked();
    if (g_debug_type == kNotRead) {
      g_debug_type = kReadAbsent;
      const char* v = env("ZTR_DEBUG_CPU_TYPE");
      if (v != nullptr && std::strlen(v) < 32) {
        const int d = std::atoi(v);
        if (d >= kCpuTypeMin && d <= kCpuTypeMax) g_debug_type = d;
      }
    }
    int hw = load(g_hardware_type);
    if (hw < 0) {
      hw = compute_hardware_type();
      if (hw != 0) store(g_hardware_type, hw);
    }
    if (hw == 0) {
      too_old = true;
    } else {
      const int mode = mode_reported();
      if (g_debug_type != kReadAbsent) {
        t = g_debug_type;
      } else if (mode == kCbwrNotSet || mode == kCbwrAuto) {
        t = hw;
      } else {
        const int mapped = branch_type(mode);
        t = mapped <= hw ? mapped : hw;
      }
      store(g_cpu_type, t);
    }
  }
  if (too_old) fatal_processor_too_old();  // outside the lock: it prints and ends the process
  return t;
}

int sse41_allowed() {
  const int mode = cbwr_mode();
  if (mode == kCbwrNotSet || mode == kCbwrAuto) return (leaf1_ecx() & kL1EcxSse41) ? 1 : 0;
  return mode >= kCbwrSse41 ? 1 : 0;
}

int cpu_microarch() {
  int m = load(g_microarch);
  if (m >= 0) return m;
  switch (detect_cpu_type()) {
    case 4: m = sse41_allowed() ? kClassSse41 : kClassSsse3; break;
    case 5: {
      const char* v = env("ZTR_DEBUG_CPU_MA");
      const int forced = v != nullptr ? std::atoi(v) : 0;
      if (forced == kClassSse42 || forced == kClassSse42Aes) {
        m = forced;
      } else {
        m = ((leaf1_ecx() & kL1EcxAes) && cbwr_mode() == kCbwrNotSet) ? kClassSse42Aes
                                                                         : kClassSse42;
      }
      break;
    }
    case 6: m = kClassAvx; break;
    default: m = kClassOther; break;
  }
  store(g_microarch, m);
  return m;
}

}  // namespace ztr
