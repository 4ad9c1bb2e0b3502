// Thread-count control: the environment grammar, its precedence, the setters, dynamic mode,
// the physical-core cap and MPI node sharing.  The environment is read once per process, so
// every case runs in a child process.
#include <gtest/gtest.h>
#include <omp.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "include/ztr.h"
#include "service/platform.h"
#include "service/threads.h"
#include "testalloc.h"
#include "tests/support/child.h"

namespace ztr {
namespace {

// A machine of TEST_FAKE_CORES physical cores with two hardware threads each, one package.
int g_fake_cores = 0;
int fake_num_procs() { return 2 * g_fake_cores; }
bool fake_unrestricted() { return true; }
bool fake_restricted() { return false; }
bool fake_cpu_ids(int cpu, int* package, int* core) {
  *package = 0;
  *core = cpu % g_fake_cores;
  return true;
}

void install_fake_machine() {
  if (const char* c = std::getenv("TEST_FAKE_CORES")) {
    g_fake_cores = std::atoi(c);
    platform().num_procs = fake_num_procs;
    platform().affinity_unrestricted = fake_unrestricted;
    platform().cpu_ids = fake_cpu_ids;
  }
  if (std::getenv("TEST_RESTRICTED") != nullptr) platform().affinity_unrestricted = fake_restricted;
}

// Prints every domain's count, the dynamic flag, the OpenMP default, the core count and the
// count seen from inside a parallel region of two threads.
ZTR_CHILD(threads_report) {
  install_fake_machine();
  if (const char* s = std::getenv("TEST_SET_THREADS")) ZTR_Set_Num_Threads(std::atoi(s));
  if (const char* s = std::getenv("TEST_SET_DYNAMIC")) ZTR_Set_Dynamic(std::atoi(s));
  int inside = -1;
#pragma omp parallel num_threads(2)
  {
#pragma omp master
    inside = omp_get_num_threads() > 1 ? ZTR_Get_Max_Threads() : -2;
  }
  std::printf("all=%d blas=%d fft=%d vmath=%d korvine=%d dynamic=%d omp=%d cores=%d par=%d",
              ZTR_Get_Max_Threads(), domain_max_threads(kDomainBlas),
              domain_max_threads(kDomainFft), domain_max_threads(kDomainVectorMath),
              domain_max_threads(kDomainKorvine), get_dynamic(), omp_get_max_threads(),
              physical_core_count(), inside);
  return 0;
}

struct Report {
  int all, blas, fft, vmath, korvine, dynamic, omp, cores, par;
};

Report run(std::vector<std::string> env, bool fake16 = true) {
  if (fake16) env.push_back("TEST_FAKE_CORES=16");
  auto r = test::run_child("threads_report", env);
  Report p{};
  EXPECT_EQ(r.exit_code, 0) << r.out;
  EXPECT_EQ(std::sscanf(r.out.c_str(),
                        "all=%d blas=%d fft=%d vmath=%d korvine=%d dynamic=%d omp=%d cores=%d par=%d",
                        &p.all, &p.blas, &p.fft, &p.vmath, &p.korvine, &p.dynamic, &p.omp, &p.cores,
                        &p.par),
            9)
      << r.out;
  return p;
}

int capped_default(const Report& r) { return r.omp < 16 ? r.omp : 16; }

TEST(ThreadEnvironment, NumThreadsGrammar) {
  EXPECT_EQ(run({"ZTR_NUM_THREADS=abc"}).all, 1);
  EXPECT_EQ(run({"ZTR_NUM_THREADS= 4"}).all, 1);
  EXPECT_EQ(run({"ZTR_NUM_THREADS=8"}).all, 8);
  Report zero = run({"ZTR_NUM_THREADS=0"});
  EXPECT_EQ(zero.all, capped_default(zero));
  // 256 characters or more: ignored.
  Report longer = run({"ZTR_NUM_THREADS=" + std::string(256, '7')});
  EXPECT_EQ(longer.all, capped_default(longer));
}

TEST(ThreadEnvironment, DomainListGrammar) {
  Report r = run({"ZTR_DOMAIN_NUM_THREADS=ZTR_ALL=2, ZTR_BLAS=4"});
  EXPECT_EQ(r.blas, 4);
  EXPECT_EQ(r.all, 2);
  EXPECT_EQ(r.fft, 2);
  EXPECT_EQ(r.vmath, 2);
  EXPECT_EQ(r.korvine, 2);
  EXPECT_EQ(run({"ZTR_DOMAIN_NUM_THREADS=ZTR_BLAS="}).blas, 1);
  EXPECT_EQ(run({"ZTR_DOMAIN_NUM_THREADS=ZTR_BLAS 3"}).blas, 3);
  Report lower = run({"ZTR_DOMAIN_NUM_THREADS=ztr_blas=3"});
  EXPECT_EQ(lower.blas, capped_default(lower));
  Report keys = run({"ZTR_DOMAIN_NUM_THREADS='ZTR_DOMAIN_KORVINE=5';ZTR_DOMAIN_FFT=x:ZTR_VMATH=6"});
  EXPECT_EQ(keys.korvine, 5);
  EXPECT_EQ(keys.fft, 1);
  EXPECT_EQ(keys.vmath, 6);
  // The first valid setting of a target wins; ZTR_NUM_THREADS (read first) wins over ZTR_ALL.
  EXPECT_EQ(run({"ZTR_DOMAIN_NUM_THREADS=ZTR_BLAS=3,ZTR_DOMAIN_BLAS=7"}).blas, 3);
  EXPECT_EQ(run({"ZTR_DOMAIN_NUM_THREADS=ZTR_BLAS=0,ZTR_DOMAIN_BLAS=7"}).blas, 7);
  EXPECT_EQ(run({"ZTR_NUM_THREADS=3", "ZTR_DOMAIN_NUM_THREADS=ZTR_ALL=5"}).all, 3);
  // An empty keyword ends the parse.
  Report stop = run({"ZTR_DOMAIN_NUM_THREADS=ZTR_ALL=2 =5 ZTR_BLAS=4"});
  EXPECT_EQ(stop.all, 2);
  EXPECT_EQ(stop.blas, 2);
}

TEST(ThreadEnvironment, DynamicGrammar) {
  EXPECT_EQ(run({}).dynamic, 1);
  EXPECT_EQ(run({"ZTR_DYNAMIC=false"}).dynamic, 0);
  EXPECT_EQ(run({"ZTR_DYNAMIC=FALSE"}).dynamic, 0);
  EXPECT_EQ(run({"ZTR_DYNAMIC= \"FALSE\" rest"}).dynamic, 0);
  EXPECT_EQ(run({"ZTR_DYNAMIC=False"}).dynamic, 1);
  EXPECT_EQ(run({"ZTR_DYNAMIC=0"}).dynamic, 1);
  EXPECT_EQ(run({"ZTR_DYNAMIC=no"}).dynamic, 1);
  EXPECT_EQ(run({"ZTR_DYNAMIC=falsely"}).dynamic, 1);
}

TEST(ThreadEnvironment, SettersWinOverTheEnvironment) {
  EXPECT_EQ(run({"ZTR_NUM_THREADS=3", "TEST_SET_THREADS=5"}).all, 5);
  EXPECT_EQ(run({"ZTR_NUM_THREADS=3", "TEST_SET_THREADS=0"}).all, 3);
  EXPECT_EQ(run({"ZTR_NUM_THREADS=3", "TEST_SET_THREADS=-2"}).all, 3);
  EXPECT_EQ(run({"ZTR_DYNAMIC=FALSE", "TEST_SET_DYNAMIC=7"}).dynamic, 1);
  EXPECT_EQ(run({"TEST_SET_DYNAMIC=0"}).dynamic, 0);
}

TEST(ThreadEnvironment, DynamicModeInsideAParallelRegion) {
  EXPECT_EQ(run({"ZTR_NUM_THREADS=3"}).par, 1);
  EXPECT_EQ(run({"ZTR_NUM_THREADS=3", "ZTR_DYNAMIC=FALSE"}).par, 3);
}

TEST(ThreadEnvironment, PhysicalCoreCap) {
  Report dyn = run({"ZTR_NUM_THREADS=32"});
  EXPECT_EQ(dyn.cores, 16);
  EXPECT_EQ(dyn.all, 16);
  EXPECT_EQ(run({"ZTR_NUM_THREADS=32", "ZTR_DYNAMIC=FALSE"}).all, 32);
  // A process restricted to some processors gets no cap.
  EXPECT_EQ(run({"ZTR_NUM_THREADS=32", "TEST_RESTRICTED=1"}).all, 32);
}

TEST(ThreadEnvironment, MpiNodeSharing) {
  const std::string procs = "Q_MPI_NUMBER_OF_MPI_PROCESSES_PER_NODE=4";
  EXPECT_EQ(run({procs, "Q_MPI_THREAD_LEVEL=3"}).all, 4);
  EXPECT_EQ(run({procs}).all, 1);
  EXPECT_EQ(run({procs, "Q_MPI_THREAD_LEVEL=0"}).all, 1);
  EXPECT_EQ(run({procs, "Q_MPI_THREAD_LEVEL=7"}).all, 1);  // not 0..3: level 0
  Report omp = run({procs, "Q_MPI_THREAD_LEVEL=3", "OMP_NUM_THREADS=6"});
  EXPECT_EQ(omp.all, 6);
  // An explicit count is not shared.
  EXPECT_EQ(run({procs, "Q_MPI_THREAD_LEVEL=3", "ZTR_NUM_THREADS=8"}).all, 8);
  // Malformed process counts are ignored.
  Report bad = run({"Q_MPI_NUMBER_OF_MPI_PROCESSES_PER_NODE=4x", "Q_MPI_THREAD_LEVEL=3"});
  EXPECT_EQ(bad.all, capped_default(bad));
  // With more processes than cores the share is one thread.
  EXPECT_EQ(run({"Q_MPI_NUMBER_OF_MPI_PROCESSES_PER_NODE=64", "Q_MPI_THREAD_LEVEL=1"}).all, 1);
}

TEST(ThreadEnvironment, OmpNumThreadsList) {
  // A list counts as a malformed value: 1 thread for the library's default.
  Report r = run({"OMP_NUM_THREADS=4,2"});
  EXPECT_EQ(r.all, r.omp < 16 ? r.omp : 16);
}

// A failed allocation leaves the topology undetermined, and the next query tries again.
ZTR_CHILD(topology_retry) {
  install_fake_machine();
  ztr_testalloc_fail_nth(1, 0);
  const int first = physical_core_count();
  const int known_after_first = thread_settings_snapshot().topology_known;
  const int second = physical_core_count();
  std::printf("%d %d %d %d", first, known_after_first, second,
              thread_settings_snapshot().topology_known);
  return ztr_testalloc_live() == 0 ? 0 : 3;
}

TEST(Topology, AllocationFailureIsRetried) {
  auto r = test::run_child("topology_retry", {"TEST_FAKE_CORES=6"});
  EXPECT_EQ(r.exit_code, 0) << r.out;
  EXPECT_EQ(r.out, "1 0 6 1");
}

ZTR_CHILD(real_topology) {
  ThreadSettings s = (ensure_thread_settings(), thread_settings_snapshot());
  std::printf("%d %d %d %d %d", s.topology_known, s.logical_cpus, s.physical_cores, s.packages,
              s.hyper_threading);
  return 0;
}

TEST(Topology, RealMachineIsConsistent) {
  auto r = test::run_child("real_topology");
  int known, logical, cores, packages, ht;
  ASSERT_EQ(std::sscanf(r.out.c_str(), "%d %d %d %d %d", &known, &logical, &cores, &packages, &ht), 5);
  if (known == 0) GTEST_SKIP() << "this process may not use every processor";
  EXPECT_GE(logical, cores);
  EXPECT_GE(cores, packages);
  EXPECT_GE(packages, 1);
  EXPECT_EQ(ht, logical != cores ? 1 : 0);
}

}  // namespace
}  // namespace ztr
