#include "service/cpu.h"
#include "service/platform.h"
#include "service/service_lock.h"

namespace ztr {
namespace {

constexpr int kMaxLevels = 4;

struct CacheDescription {
  int filled;  // 0 until computed
  int count;
  int size[kMaxLevels];
};
CacheDescription g_cache{0, 0, {0, 0, 0, 0}};
int g_l2_class = -2;  // -2: not yet computed

// With a reproducibility branch the blocking must not depend on the processor, so fixed sizes
// stand in for the real ones.
void fixed_sizes(CacheDescription* c) {
  const int mode = cbwr_mode();
  const bool three = mode >= kCbwrSse42 || (mode == kCbwrAuto && detect_cpu_type() >= 5);
  c->count = three ? 3 : 2;
  c->size[0] = 32768;
  c->size[1] = 262144;
  c->size[2] = three ? 4194304 : 0;
}

// Deterministic cache parameters, data and unified caches only.  Processors that leave the
// standard leaf 4 empty describe their caches in the same format in extended leaf 0x8000001D.
void walk_cache_leaf(unsigned leaf, CacheDescription* c) {
  const Platform& os = platform();
  for (unsigned sub = 0; c->count < kMaxLevels; ++sub) {
    const CpuidRegs r = os.cpuid(leaf, sub);
    const unsigned type = r.eax & 0x1f;
    if (r.ebx == 0 || r.ecx == 0 || type == 0) break;
    if (type == 2) continue;  // instruction cache
    const long long ways = ((r.ebx >> 22) & 0x3ff) + 1;
    const long long partitions = ((r.ebx >> 12) & 0x3ff) + 1;
    const long long line = (r.ebx & 0xfff) + 1;
    const long long sets = static_cast<long long>(r.ecx) + 1;
    const long long bytes = ways * partitions * line * sets;
    c->size[c->count++] = bytes > 0x7fffffff ? 0x7fffffff : static_cast<int>(bytes);
  }
}

void walk_leaf4(CacheDescription* c) {
  const Platform& os = platform();
  if (!os.has_cpuid()) return;
  if (os.cpuid(0, 0).eax >= 4) walk_cache_leaf(4, c);
  if (c->count == 0 && os.cpuid(0x80000000u, 0).eax >= 0x8000001Du) walk_cache_leaf(0x8000001Du, c);
}

const CacheDescription& description() {
  if (__atomic_load_n(&g_cache.filled, __ATOMIC_ACQUIRE) == 0) {
    // The branch and the type take the service lock themselves: settle them first.
    const bool branch = cbwr_mode() != kCbwrNotSet;
    if (branch) detect_cpu_type();
    ServiceLockGuard guard;
    if (g_cache.filled == 0) {
      CacheDescription c{0, 0, {0, 0, 0, 0}};
      if (branch) {
        fixed_sizes(&c);
      } else {
        walk_leaf4(&c);
      }
      g_cache.count = c.count;
      for (int i = 0; i < kMaxLevels; ++i) g_cache.size[i] = c.size[i];
      __atomic_store_n(&g_cache.filled, 1, __ATOMIC_RELEASE);
    }
  }
  return g_cache;
}

int l2_class_of(unsigned char d, int current) {
  switch (d) {
    case 0x40: return 0;
    case 0x41: case 0x79: return 1;
    case 0x42: case 0x7A: case 0x82: return 2;
    case 0x43: case 0x7B: return 3;
    case 0x44: case 0x7C: case 0x84: return 4;
    case 0x45: case 0x7D: case 0x85: return 5;
    case 0x49: return 6;
    default: return current;
  }
}

}  // namespace

int cache_size(int level) {
  const CacheDescription& c = description();
  if (level < 0 || level > c.count) return -1;
  if (level == 0) return c.count > 0 ? c.size[c.count - 1] : -1;
  return c.size[level - 1];
}

int cache_table(int* table) {
  const CacheDescription& c = description();
  table[0] = c.count;
  for (int i = 0; i < kMaxLevels; ++i) table[i + 1] = c.size[i];
  return 5;
}

int l2_size_class() {
  int cls = __atomic_load_n(&g_l2_class, __ATOMIC_ACQUIRE);
  if (cls != -2) return cls;
  if (cbwr_mode() != kCbwrNotSet) {
    cls = 256;
  } else {
    cls = -1;
    const Platform& os = platform();
    if (os.has_cpuid() && os.cpuid(0, 0).eax >= 2) {
      const CpuidRegs r = os.cpuid(2, 0);
      const unsigned regs[4] = {r.eax, r.ebx, r.ecx, r.edx};
      // Each register holds four one-byte descriptors unless its bit 31 is set; the low
      // byte of EAX is the iteration count, not a descriptor.  The last match decides.
      for (int i = 0; i < 4; ++i) {
        if (regs[i] & 0x80000000u) continue;
        for (int b = (i == 0 ? 1 : 0); b < 4; ++b)
          cls = l2_class_of(static_cast<unsigned char>(regs[i] >> (8 * b)), cls);
      }
    }
  }
  __atomic_store_n(&g_l2_class, cls, __ATOMIC_RELEASE);
  return cls;
}

}  // namespace ztr
