// Counting physical cores and packages.
//
// The count comes from the operating system's topology description (package and core
// identifiers of each logical processor) rather than from pinning a thread to every
// processor and reading APIC identifiers: the answer is the same on every vendor's processor
// and on machines of any size.  As with the pinning walk, a process that may not run on every
// processor leaves the count undetermined, which removes the physical-core cap.

#include "service/memory.h"
#include "service/platform.h"
#include "service/threads.h"

namespace ztr {
namespace {

constexpr int kMaxProcessors = 8192;

// Number of distinct values among the first n entries of ids (destroys nothing).
int count_distinct(const long long* ids, int n) {
  int distinct = 0;
  for (int i = 0; i < n; ++i) {
    bool seen = false;
    for (int j = 0; j < i && !seen; ++j) seen = ids[j] == ids[i];
    distinct += seen ? 0 : 1;
  }
  return distinct;
}

}  // namespace

bool cpu_topology(Topology* out) {
  const Platform& os = platform();
  if (!os.affinity_unrestricted()) return false;
  int n = os.num_procs();
  if (n < 1) return false;
  if (n > kMaxProcessors) n = kMaxProcessors;

  const std::size_t bytes = static_cast<std::size_t>(n) * sizeof(long long);
  auto* cores = static_cast<long long*>(mm_malloc_direct(bytes, 0));
  auto* packages = static_cast<long long*>(mm_malloc_direct(bytes, 0));
  if (cores == nullptr || packages == nullptr) {
    mm_free_direct(cores);
    mm_free_direct(packages);
    return false;
  }
  int enumerated = 0;
  for (int cpu = 0; cpu < n; ++cpu) {
    int package_id = 0, core_id = 0;
    if (!os.cpu_ids(cpu, &package_id, &core_id)) continue;
    packages[enumerated] = package_id;
    // A core is identified by its package and its identifier inside the package.
    cores[enumerated] = (static_cast<long long>(package_id) << 32) | static_cast<unsigned>(core_id);
    ++enumerated;
  }
  bool ok = enumerated > 0;
  if (ok) {
    out->logical_cpus = enumerated;
    out->physical_cores = count_distinct(cores, enumerated);
    out->packages = count_distinct(packages, enumerated);
  }
  mm_free_direct(cores);
  mm_free_direct(packages);
  return ok;
}

}  // namespace ztr
