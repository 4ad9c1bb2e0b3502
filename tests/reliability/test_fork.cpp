// A process that has computed on the library's threads forks: the child (and its child) must
// compute the same results as a lone one-thread call, and finish; the parent keeps its
// threads.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <functional>

#include "include/ztr.h"
#include "tests/reliability/workload.h"
#include "tests/support/child.h"

namespace ztr::test {
namespace {

// Far beyond what the work takes in the slowest build (sanitizers, valgrind): a child still
// running then is killed by its alarm, and reported as hung.
constexpr int kChildSeconds = 120;
constexpr int kHung = 128 + SIGALRM;

// Runs fn in a forked child and returns its exit code, or 128 + signal when it died.
int in_forked_child(const std::function<int()>& fn) {
  std::fflush(nullptr);
  const pid_t pid = fork();
  if (pid < 0) return -1;
  if (pid == 0) {
    alarm(kChildSeconds);
    const int code = fn();
    std::fflush(nullptr);
    _exit(code);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

// In a fork: one thread, and the results of the lone one-thread call.
int forked_computes(const ExportResults& lone) {
  if (ZTR_Get_Max_Threads() != 1) return 10;
  const std::string diff = bit_difference(run_exports(3), lone);
  if (!diff.empty()) {
    std::printf("forked child: %s differs from the lone call\n", diff.c_str());
    return 11;
  }
  return 0;
}

ZTR_CHILD(fork_after_threads) {
  ZTR_Set_Num_Threads(1);
  const ExportResults lone = run_exports(3);
  ZTR_Set_Num_Threads(2);
  const ExportResults two = run_exports(3);  // the OpenMP runtime now has its team
  const int child = in_forked_child([&] {
    if (const int rc = forked_computes(lone)) return rc;
    // A child of the child: the same again.  Setting a count does not bring threads back.
    ZTR_Set_Num_Threads(2);
    const int grandchild = in_forked_child([&] { return forked_computes(lone); });
    return grandchild != 0 ? 20 + grandchild : 0;
  });
  if (child != 0) {
    std::printf("forked child ended with %d%s\n", child, child == kHung ? " (hung)" : "");
    return 1;
  }
  if (ZTR_Get_Max_Threads() != 2) return 2;
  const std::string diff = bit_difference(run_exports(3), two);
  if (!diff.empty()) {
    std::printf("parent after fork: %s differs from its own earlier call\n", diff.c_str());
    return 3;
  }
  return 0;
}

TEST(Fork, ChildOfAThreadedProcessComputesOnOneThreadAndFinishes) {
  const auto r = run_child("fork_after_threads", {"ZTR_DYNAMIC=FALSE"});
  EXPECT_EQ(r.exit_code, 0) << r.out;
}

}  // namespace
}  // namespace ztr::test
