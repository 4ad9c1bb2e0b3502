#include "service/threads.h"

#include <omp.h>

#include <atomic>
#include <cstring>

#include "include/ztr.h"
#include "service/fork_child.h"
#include "service/platform.h"
#include "service/service_lock.h"

namespace ztr {
namespace {

// The process-wide record.  Every field is written under the service lock or, for the
// exported setters, by a plain store; atomics keep concurrent reads well defined.
struct Settings {
  std::atomic<int> initialised{0};  // 1 once the environment has been read
  std::atomic<int> num_threads{-1};
  std::atomic<int> domain[5] = {-1, -1, -1, -1, -1};
  std::atomic<int> dynamic{-1};
  std::atomic<int> omp_threads{-1};
  std::atomic<int> mpi_procs_per_node{-1};
  std::atomic<int> mpi_thread_level{-1};
  std::atomic<int> topology_known{0};
  std::atomic<int> logical_cpus{1};
  std::atomic<int> physical_cores{-1};
  std::atomic<int> packages{-1};
  std::atomic<int> cores_per_package{-1};
  std::atomic<int> hyper_threading{-1};
};
Settings g;

// A variable longer than this (terminator included) is ignored, as are absent and empty ones.
constexpr std::size_t kEnvBuffer = 256;

const char* read_env(const char* name) {
  const char* v = platform().getenv(name);
  if (v == nullptr || v[0] == '\0' || std::strlen(v) >= kEnvBuffer) return nullptr;
  return v;
}

bool is_digit(char c) { return c >= '0' && c <= '9'; }

bool all_digits(const char* s, std::size_t n) {
  for (std::size_t i = 0; i < n; ++i)
    if (!is_digit(s[i])) return false;
  return true;
}

// Decimal value of n digits, saturated so that absurd lengths cannot overflow.
int decimal(const char* s, std::size_t n) {
  long long v = 0;
  for (std::size_t i = 0; i < n; ++i) {
    v = v * 10 + (s[i] - '0');
    if (v > 0x7fffffff) v = 0x7fffffff;
  }
  return static_cast<int>(v);
}

// Thread-count value: any non-digit gives 1, otherwise its decimal number.
int count_value(const char* s, std::size_t n) { return all_digits(s, n) ? decimal(s, n) : 1; }

void store_if_unset(std::atomic<int>& field, int value) {
  if (value >= 1 && field.load() < 0) field.store(value);
}

bool is_separator(char c) {
  return c == ' ' || c == ',' || c == ';' || c == ':' || c == '"' || c == '\'';
}

std::atomic<int>* domain_target(const char* key, std::size_t n) {
  struct Keyword {
    const char* name;
    int domain;  // 0: num_threads
  };
  static constexpr Keyword kKeywords[] = {
      {"ZTR_ALL", 0},   {"ZTR_DOMAIN_ALL", 0},   {"ZTR_BLAS", 1},    {"ZTR_DOMAIN_BLAS", 1},
      {"ZTR_FFT", 2},   {"ZTR_DOMAIN_FFT", 2},   {"ZTR_VMATH", 3},   {"ZTR_DOMAIN_VMATH", 3},
      {"ZTR_KORVINE", 4}, {"ZTR_DOMAIN_KORVINE", 4},
  };
  for (const Keyword& k : kKeywords) {
    if (std::strlen(k.name) == n && std::memcmp(k.name, key, n) == 0)
      return k.domain == 0 ? &g.num_threads : &g.domain[k.domain];
  }
  return nullptr;
}

// "ZTR_DOMAIN_NUM_THREADS": keyword/value pairs such as "ZTR_ALL=2, ZTR_BLAS=4".
void parse_domain_list(const char* s) {
  for (;;) {
    while (*s != '\0' && is_separator(*s)) ++s;
    const char* key = s;
    while (*s != '\0' && *s != '=' && *s != '"' && *s != '\'' && *s != ' ') ++s;
    const std::size_t key_len = static_cast<std::size_t>(s - key);
    if (key_len == 0) return;
    while (*s == ' ' || *s == '=') ++s;
    const char* value = s;
    while (*s != '\0' && !is_separator(*s)) ++s;
    const std::size_t value_len = static_cast<std::size_t>(s - value);
    if (*s != '\0') ++s;
    const int n = value_len == 0 ? 1 : count_value(value, value_len);
    if (std::atomic<int>* target = domain_target(key, key_len)) store_if_unset(*target, n);
  }
}

void read_environment() {
  if (const char* v = read_env("ZTR_NUM_THREADS")) store_if_unset(g.num_threads, count_value(v, std::strlen(v)));
  if (const char* v = read_env("ZTR_DOMAIN_NUM_THREADS")) parse_domain_list(v);
  if (g.dynamic.load() == -1) {
    int dynamic = 1;
    if (const char* v = read_env("ZTR_DYNAMIC")) {
      while (*v == ' ' || *v == '"' || *v == '\'') ++v;
      std::size_t n = 0;
      while (v[n] != '\0' && v[n] != ' ' && v[n] != '"' && v[n] != '\'') ++n;
      if ((n == 5 && std::memcmp(v, "FALSE", 5) == 0) || (n == 5 && std::memcmp(v, "false", 5) == 0))
        dynamic = 0;
    }
    g.dynamic.store(dynamic);
  }
  if (const char* v = read_env("OMP_NUM_THREADS")) {
    const int n = count_value(v, std::strlen(v));
    if (n >= 1) g.omp_threads.store(n);
  }
  if (const char* v = read_env("Q_MPI_NUMBER_OF_MPI_PROCESSES_PER_NODE")) {
    const std::size_t n = std::strlen(v);
    if (all_digits(v, n) && decimal(v, n) >= 1) g.mpi_procs_per_node.store(decimal(v, n));
  }
  if (const char* v = read_env("Q_MPI_THREAD_LEVEL")) {
    const std::size_t n = std::strlen(v);
    g.mpi_thread_level.store(all_digits(v, n) && decimal(v, n) <= 3 ? decimal(v, n) : 0);
  }
}

void publish_topology(const Topology& t) {
  ServiceLockGuard guard;
  if (g.topology_known.load() != 0) return;  // another thread published first
  const int packages = t.packages > 0 ? t.packages : t.physical_cores;
  g.logical_cpus.store(t.logical_cpus);
  g.physical_cores.store(t.physical_cores);
  g.packages.store(packages);
  g.cores_per_package.store(t.physical_cores / packages);
  g.hyper_threading.store(t.physical_cores != t.logical_cpus ? 1 : 0);
  g.topology_known.store(1);
}

}  // namespace

void ensure_thread_settings() {
  if (g.initialised.load(std::memory_order_acquire) == 0) {
    ServiceLockGuard guard;
    if (g.initialised.load(std::memory_order_relaxed) == 0) {
      read_environment();
      g.initialised.store(1, std::memory_order_release);
    }
  }
  if (g.topology_known.load(std::memory_order_acquire) == 0) {
    Topology t{};
    if (cpu_topology(&t)) publish_topology(t);
  }
}

namespace {
thread_local int t_serial_depth = 0;
}  // namespace

SerialScope::SerialScope(bool on) : on_(on) {
  if (on_) ++t_serial_depth;
}
SerialScope::~SerialScope() {
  if (on_) --t_serial_depth;
}

int domain_max_threads(int domain) {
  ensure_thread_settings();
  // A forked child has lost the OpenMP runtime's worker threads (see fork_child.h).
  if (in_forked_child()) return 1;
  if (t_serial_depth > 0) return 1;
  const int dynamic = g.dynamic.load();
  if (dynamic == 1 && omp_in_parallel()) return 1;

  int n = -1;
  bool explicit_count = false;
  if (domain >= 1 && domain <= 4 && g.domain[domain].load() > 0) {
    n = g.domain[domain].load();
    explicit_count = true;
  } else if (g.num_threads.load() > 0) {
    n = g.num_threads.load();
    explicit_count = true;
  } else {
    n = omp_get_max_threads();
  }
  if (dynamic == 0) return n;

  // Compared as unsigned numbers, so an undetermined count (-1) caps nothing.
  const int cores = g.physical_cores.load();
  if (static_cast<unsigned>(n) > static_cast<unsigned>(cores)) n = cores;

  const int procs = g.mpi_procs_per_node.load();
  if (procs == -1 || explicit_count || g.omp_threads.load() > 0) return n;
  // The node is shared by MPI processes and nothing chose a count: share the cores.  With the
  // core count undetermined the share is unknown, and one thread is the safe answer.
  if (g.mpi_thread_level.load() > 0) {
    const int share = cores > 0 ? cores / procs : 0;
    return share >= 1 ? share : 1;
  }
  return 1;
}

int get_dynamic() {
  ensure_thread_settings();
  return g.dynamic.load();
}

int cores_per_package() {
  ensure_thread_settings();
  return g.cores_per_package.load();
}

int physical_core_count() {
  ensure_thread_settings();
  return g.packages.load() * g.cores_per_package.load();
}

ThreadSettings thread_settings_snapshot() {
  ThreadSettings s{};
  s.initialised = g.initialised.load();
  s.num_threads = g.num_threads.load();
  for (int d = 0; d < 5; ++d) s.domain[d] = g.domain[d].load();
  s.dynamic = g.dynamic.load();
  s.omp_threads = g.omp_threads.load();
  s.mpi_procs_per_node = g.mpi_procs_per_node.load();
  s.mpi_thread_level = g.mpi_thread_level.load();
  s.topology_known = g.topology_known.load();
  s.logical_cpus = g.logical_cpus.load();
  s.physical_cores = g.physical_cores.load();
  s.packages = g.packages.load();
  s.cores_per_package = g.cores_per_package.load();
  s.hyper_threading = g.hyper_threading.load();
  return s;
}

}  // namespace ztr

extern "C" {

ZTR_API void ZTR_Set_Num_Threads(int n) {
  if (n > 0) ztr::g.num_threads.store(n);
}

ZTR_API int ZTR_Get_Max_Threads(void) { return ztr::domain_max_threads(ztr::kDomainAll); }

ZTR_API void ZTR_Set_Dynamic(int flag) { ztr::g.dynamic.store(flag != 0 ? 1 : 0); }

}  // extern "C"
