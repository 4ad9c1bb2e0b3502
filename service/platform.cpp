#include "service/platform.h"

#include <cpuid.h>
#include <omp.h>
#include <sched.h>
#include <sys/mman.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>

namespace ztr {
namespace {

const char* os_getenv(const char* name) { return std::getenv(name); }

bool os_has_cpuid() { return __get_cpuid_max(0, nullptr) != 0; }

CpuidRegs os_cpuid(std::uint32_t leaf, std::uint32_t subleaf) {
  CpuidRegs r{0, 0, 0, 0};
  __cpuid_count(leaf, subleaf, r.eax, r.ebx, r.ecx, r.edx);
  return r;
}

std::uint64_t os_xgetbv(std::uint32_t index) {
  std::uint32_t lo = 0, hi = 0;
  __asm__ volatile("xgetbv" : "=a"(lo), "=d"(hi) : "c"(index));
  return (static_cast<std::uint64_t>(hi) << 32) | lo;
}

int os_num_procs() { return omp_get_num_procs(); }

bool os_affinity_unrestricted() {
  cpu_set_t mask;
  CPU_ZERO(&mask);
  if (sched_getaffinity(0, sizeof(mask), &mask) != 0) return false;
  long online = sysconf(_SC_NPROCESSORS_ONLN);
  return online > 0 && CPU_COUNT(&mask) == online;
}

bool read_int_file(const char* path, int* value) {
  std::FILE* f = std::fopen(path, "r");
  if (f == nullptr) return false;
  bool ok = std::fscanf(f, "%d", value) == 1;
  std::fclose(f);
  return ok;
}

bool os_cpu_ids(int cpu, int* package_id, int* core_id) {
  char path[128];
  std::snprintf(path, sizeof path, "/sys/devices/system/cpu/cpu%d/topology/physical_package_id",
                cpu);
  if (!read_int_file(path, package_id)) return false;
  std::snprintf(path, sizeof path, "/sys/devices/system/cpu/cpu%d/topology/core_id", cpu);
  return read_int_file(path, core_id);
}

void os_exit_now(int code) { _exit(code); }
void os_exit_process(int code) { std::exit(code); }

double os_clock_seconds() {
  using clock = std::chrono::steady_clock;
  return std::chrono::duration<double>(clock::now().time_since_epoch()).count();
}

// Linux 5.14 and later; older systems reject the request and the caller touches the pages.
#ifndef MADV_POPULATE_WRITE
#define MADV_POPULATE_WRITE 23
#endif

bool os_prefault(void* p, std::size_t bytes) {
  const long page = sysconf(_SC_PAGESIZE);
  if (page <= 0) return false;
  const auto mask = static_cast<std::uintptr_t>(page) - 1;
  const std::uintptr_t from = (reinterpret_cast<std::uintptr_t>(p) + mask) & ~mask;
  const std::uintptr_t to = (reinterpret_cast<std::uintptr_t>(p) + bytes) & ~mask;
  if (to <= from) return true;
  return madvise(reinterpret_cast<void*>(from), to - from, MADV_POPULATE_WRITE) == 0;
}

constexpr Platform kDefault{os_getenv,        os_has_cpuid,   os_cpuid,
                            os_xgetbv,        os_num_procs,   os_affinity_unrestricted,
                            os_cpu_ids,       os_exit_now,    os_exit_process,
                            os_clock_seconds, os_prefault};

Platform g_platform = kDefault;

}  // namespace

Platform& platform() { return g_platform; }
const Platform& default_platform() { return kDefault; }

void terminate_now(int code) {
  g_platform.exit_now(code);
  std::abort();
}

void terminate_process(int code) {
  g_platform.exit_process(code);
  std::abort();
}

}  // namespace ztr
