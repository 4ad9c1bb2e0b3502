// Thread-count control: the environment grammar, its precedence, the setters, dynamic mode,
// the physical-core cap and MPI node sharing.  The environment is read once per process, so
// every case runs in a child process.
#include <gtest/gtest.h>
#include <omp.h>

#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>

#include "include/ztr.h"
#include "service/platform.h"
#include "service/threads.h"
#include "testalloc.h"
#include "tests/support/child.h"
#include "tests/support/fake_machine.h"

namespace ztr {
namespace {

// A machine of TEST_FAKE_CORES physical cores with two hardware threads each, one package.
void install_fake_machine() {
  if (const char* c = std::getenv("TEST_FAKE_CORES"))
    test::install_fake_topology(std::atoi(c), 2, std::getenv("TEST_RESTRICTED") != nullptr);
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
  const int omp = omp_get_max_threads();
  // def: the library's default count, OpenMP's capped at the 16 physical cores.
  std::printf(" all=%d blas=%d fft=%d vmath=%d korvine=%d dynamic=%d def=%d cores=%d par=%d ",
              ZTR_Get_Max_Threads(), domain_max_threads(kDomainBlas),
              domain_max_threads(kDomainFft), domain_max_threads(kDomainVectorMath),
              domain_max_threads(kDomainKorvine), get_dynamic(), omp < 16 ? omp : 16,
              physical_core_count(), inside);
  return 0;
}

struct Row {
  std::vector<std::string> env;
  const char* want;  // tokens the report must hold; a value D is the default count
};

const std::string kMpi = "Q_MPI_NUMBER_OF_MPI_PROCESSES_PER_NODE=4";
const Row kRows[] = {
    {{"ZTR_NUM_THREADS=abc"}, "all=1"},
    {{"ZTR_NUM_THREADS= 4"}, "all=1"},
    {{"ZTR_NUM_THREADS=8"}, "all=8"},
    {{"ZTR_NUM_THREADS=0"}, "all=D"},
    {{"ZTR_NUM_THREADS=" + std::string(256, '7')}, "all=D"},  // too long: ignored
    {{"OMP_NUM_THREADS=4,2"}, "all=D"},                       // a list is malformed
    // Domain lists; the first valid setting of a target wins, ZTR_NUM_THREADS over ZTR_ALL,
    // and an empty keyword ends the parse.
    {{"ZTR_DOMAIN_NUM_THREADS=ZTR_ALL=2, ZTR_BLAS=4"}, "blas=4 all=2 fft=2 vmath=2 korvine=2"},
    {{"ZTR_DOMAIN_NUM_THREADS=ZTR_BLAS="}, "blas=1"},
    {{"ZTR_DOMAIN_NUM_THREADS=ZTR_BLAS 3"}, "blas=3"},
    {{"ZTR_DOMAIN_NUM_THREADS=ztr_blas=3"}, "blas=D"},
    {{"ZTR_DOMAIN_NUM_THREADS='ZTR_DOMAIN_KORVINE=5';ZTR_DOMAIN_FFT=x:ZTR_VMATH=6"},
     "korvine=5 fft=1 vmath=6"},
    {{"ZTR_DOMAIN_NUM_THREADS=ZTR_BLAS=3,ZTR_DOMAIN_BLAS=7"}, "blas=3"},
    {{"ZTR_DOMAIN_NUM_THREADS=ZTR_BLAS=0,ZTR_DOMAIN_BLAS=7"}, "blas=7"},
    {{"ZTR_NUM_THREADS=3", "ZTR_DOMAIN_NUM_THREADS=ZTR_ALL=5"}, "all=3"},
    {{"ZTR_DOMAIN_NUM_THREADS=ZTR_ALL=2 =5 ZTR_BLAS=4"}, "all=2 blas=2"},
    // Dynamic mode: only false or FALSE, possibly quoted, turns it off.
    {{}, "dynamic=1"},
    {{"ZTR_DYNAMIC=false"}, "dynamic=0"},
    {{"ZTR_DYNAMIC=FALSE"}, "dynamic=0"},
    {{"ZTR_DYNAMIC= \"FALSE\" rest"}, "dynamic=0"},
    {{"ZTR_DYNAMIC=False"}, "dynamic=1"},
    {{"ZTR_DYNAMIC=0"}, "dynamic=1"},
    {{"ZTR_DYNAMIC=falsely"}, "dynamic=1"},
    // The setters win over the environment; out-of-range values are ignored.
    {{"ZTR_NUM_THREADS=3", "TEST_SET_THREADS=5"}, "all=5"},
    {{"ZTR_NUM_THREADS=3", "TEST_SET_THREADS=0"}, "all=3"},
    {{"ZTR_NUM_THREADS=3", "TEST_SET_THREADS=-2"}, "all=3"},
    {{"ZTR_DYNAMIC=FALSE", "TEST_SET_DYNAMIC=7"}, "dynamic=1"},
    {{"TEST_SET_DYNAMIC=0"}, "dynamic=0"},
    // Inside a parallel region dynamic mode gives one thread; the physical-core cap holds in
    // dynamic mode of an unrestricted process.
    {{"ZTR_NUM_THREADS=3"}, "par=1"},
    {{"ZTR_NUM_THREADS=3", "ZTR_DYNAMIC=FALSE"}, "par=3"},
    {{"ZTR_NUM_THREADS=32"}, "cores=16 all=16"},
    {{"ZTR_NUM_THREADS=32", "ZTR_DYNAMIC=FALSE"}, "all=32"},
    {{"ZTR_NUM_THREADS=32", "TEST_RESTRICTED=1"}, "all=32"},
    // MPI processes of one node share it at thread levels 1..3, unless a count is explicit.
    {{kMpi, "Q_MPI_THREAD_LEVEL=3"}, "all=4"},
    {{kMpi}, "all=1"},
    {{kMpi, "Q_MPI_THREAD_LEVEL=0"}, "all=1"},
    {{kMpi, "Q_MPI_THREAD_LEVEL=7"}, "all=1"},
    {{kMpi, "Q_MPI_THREAD_LEVEL=3", "OMP_NUM_THREADS=6"}, "all=6"},
    {{kMpi, "Q_MPI_THREAD_LEVEL=3", "ZTR_NUM_THREADS=8"}, "all=8"},
    {{"Q_MPI_NUMBER_OF_MPI_PROCESSES_PER_NODE=4x", "Q_MPI_THREAD_LEVEL=3"}, "all=D"},
    {{"Q_MPI_NUMBER_OF_MPI_PROCESSES_PER_NODE=64", "Q_MPI_THREAD_LEVEL=1"}, "all=1"},
};

TEST(ThreadEnvironment, GrammarPrecedenceSettersCapAndNodeSharing) {
  for (const Row& row : kRows) {
    std::vector<std::string> env = row.env;
    env.push_back("TEST_FAKE_CORES=16");
    const auto r = test::run_child("threads_report", env);
    EXPECT_EQ(r.exit_code, 0) << r.out;
    const std::size_t d = r.out.find(" def=");
    ASSERT_NE(d, std::string::npos) << r.out;
    const std::string def = r.out.substr(d + 5, r.out.find(' ', d + 1) - d - 5);
    std::istringstream want(row.want);
    for (std::string token; want >> token;) {
      if (token.back() == 'D') token = token.substr(0, token.size() - 1) + def;
      EXPECT_NE(r.out.find(" " + token + " "), std::string::npos)
          << (row.env.empty() ? "" : row.env[0]) << ": " << r.out;
    }
  }
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

}  // namespace
}  // namespace ztr
