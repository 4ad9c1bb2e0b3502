// Thread-count control.  Every threaded routine asks here how many threads it may use before
// it opens a parallel region.  The answer combines the exported setters, the environment
// (read once, at the first query), the OpenMP default and, in dynamic mode, the number of
// physical cores and of MPI processes sharing the node.
#pragma once

namespace ztr {

enum ThreadDomain : int {
  kDomainAll = 0,
  kDomainBlas = 1,
  kDomainFft = 2,
  kDomainVectorMath = 3,
  kDomainKorvine = 4,
};

// Threads a routine of `domain` may use for a call made now (at least 1).  In dynamic mode a
// call from inside an active parallel region gets 1, so library routines called from the
// library's own regions run serially.
int domain_max_threads(int domain);
// While a SerialScope made with `on` lives, every domain_max_threads query of the thread that
// made it answers 1: a routine that decided to run a computation on one thread keeps the
// library routines it calls on that thread as well (with dynamic adjustment off they would
// otherwise open regions of their own).  Scopes nest; other threads are not affected.
class SerialScope {
 public:
  explicit SerialScope(bool on);
  ~SerialScope();
  SerialScope(const SerialScope&) = delete;
  SerialScope& operator=(const SerialScope&) = delete;

 private:
  bool on_;
};

// The dynamic flag (0 or 1) after the environment has been read.
int get_dynamic();
// Physical cores per processor package; -1 while the topology is undetermined.
int cores_per_package();
// Packages times cores per package as recorded (both are -1 while the topology is
// undetermined, so callers take max(1, result)).
int physical_core_count();

// Reads the environment once, and computes the topology until it is known.
void ensure_thread_settings();

// A copy of the process-wide record, for tests and the demo.  -1 means not set.
struct ThreadSettings {
  int initialised;  // 0 until the environment has been read, then 1
  int num_threads;
  int domain[5];  // index 1..4: explicit count per domain
  int dynamic;
  int omp_threads;
  int mpi_procs_per_node;
  int mpi_thread_level;
  int topology_known;
  int logical_cpus;
  int physical_cores;
  int packages;
  int cores_per_package;
  int hyper_threading;
};
ThreadSettings thread_settings_snapshot();

// The operating system's view of the processors (see cpu_topology in topology.cpp).
struct Topology {
  int logical_cpus;
  int physical_cores;
  int packages;
};
// Counts cores and packages; false when the count is undetermined (restricted affinity,
// unreadable topology, failed allocation).
bool cpu_topology(Topology* out);

}  // namespace ztr
