// The exports called from several of the caller's threads at once, and from inside the
// caller's OpenMP regions, give exactly the bits of lone calls at the same thread count; so
// does a first use of the library from several threads at once (environment, processor
// detection, dispatch slots and buffer pools all set up concurrently).
//
// Under ThreadSanitizer the library's own team size is 1, so that what is exercised is the
// library's shared state and not the OpenMP runtime's uninstrumented internals.
#include <gtest/gtest.h>
#include <omp.h>

#include <atomic>
#include <cstdio>
#include <functional>
#include <sstream>
#include <thread>
#include <vector>

#include "include/ztr.h"
#include "tests/reliability/workload.h"
#include "tests/support/child.h"

#if defined(__SANITIZE_THREAD__)
#define ZTR_TEST_TSAN 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define ZTR_TEST_TSAN 1
#endif
#endif

namespace ztr::test {
namespace {

#ifdef ZTR_TEST_TSAN
constexpr int kTeam = 1;
#else
constexpr int kTeam = 2;
#endif
constexpr int kCallers = 6;
constexpr int kRounds = 2;

std::vector<ExportResults> lone_results(int count) {
  std::vector<ExportResults> r;
  for (int s = 0; s < count; ++s) r.push_back(run_exports(s));
  return r;
}

// Each caller computes seed `caller` kRounds times and compares with want[caller]; returns
// the number of mismatches and prints them.
int check_caller(int caller, const std::vector<ExportResults>& want) {
  int bad = 0;
  for (int round = 0; round < kRounds; ++round)
    if (const std::string diff = bit_difference(run_exports(caller), want[caller]); !diff.empty()) {
      std::printf("caller %d round %d: %s differs from the lone call\n", caller, round,
                  diff.c_str());
      ++bad;
    }
  return bad;
}

// Runs fn(0 .. kCallers-1) on kCallers plain threads released together.
void on_plain_threads(const std::function<void(int)>& fn) {
  std::atomic<int> ready{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < kCallers; ++t)
    threads.emplace_back([&, t] {
      ready.fetch_add(1);
      while (ready.load() < kCallers) std::this_thread::yield();
      fn(t);
    });
  for (auto& t : threads) t.join();
}

// The environment is not read and nothing is set up before the threads start; once lone
// results exist, the callers run again at once, kRounds times.
ZTR_CHILD(plain_threads) {
  std::vector<ExportResults> got(kCallers);
  std::vector<int> counts(kCallers);
  on_plain_threads([&](int t) {
    counts[t] = ZTR_Get_Max_Threads();
    got[t] = run_exports(t);
  });
  const std::vector<ExportResults> want = lone_results(kCallers);
  std::atomic<int> bad{0};
  for (int t = 0; t < kCallers; ++t)
    if (counts[t] != kTeam || !bit_difference(got[t], want[t]).empty()) {
      std::printf("first use, caller %d: %d threads; %s differs from the lone call\n", t, counts[t],
                  bit_difference(got[t], want[t]).c_str());
      ++bad;
    }
  on_plain_threads([&](int t) { bad.fetch_add(check_caller(t, want)); });
  return bad.load();
}

// From inside the caller's parallel regions.  Dynamic mode (the default) gives every call
// made there one thread; with dynamic mode off and nested parallelism on, each call opens its
// own team of the requested size.
ZTR_CHILD(inside_caller_regions) {
  int bad = 0;
  ZTR_Set_Num_Threads(1);
  const std::vector<ExportResults> one = lone_results(kCallers);
  ZTR_Set_Num_Threads(kTeam);
  const std::vector<ExportResults> team = lone_results(2);

#pragma omp parallel num_threads(kCallers) reduction(+ : bad)
  {
    if (ZTR_Get_Max_Threads() != 1) ++bad;
    bad += check_caller(omp_get_thread_num(), one);
  }

  ZTR_Set_Dynamic(0);
  omp_set_max_active_levels(2);
#pragma omp parallel num_threads(2) reduction(+ : bad)
  {
    if (ZTR_Get_Max_Threads() != kTeam) ++bad;
    bad += check_caller(omp_get_thread_num(), team);
  }
  return bad;
}

// Argument errors reported from several threads at once: every line the children print is
// one whole message (a shared formatting buffer, or a text and its line end written apart,
// would mix them), and none is lost.
constexpr int kReportsPerCaller = 40;
constexpr char kBadTransReport[] = "ZTR ERROR: Parameter 1 was incorrect on entry to DGEMM .";

ZTR_CHILD(concurrent_reports) {
  on_plain_threads([](int) {
    const int one = 1;
    double x = 0;
    for (int i = 0; i < kReportsPerCaller; ++i)
      DGEMM("X", "N", &one, &one, &one, &x, &x, &one, &x, &one, &x, &x, &one);
  });
  return 0;
}

TEST(ConcurrentCallers, ReportsFromSeveralThreadsStayWholeLines) {
  const auto r = run_child("concurrent_reports", {});
  ASSERT_EQ(r.exit_code, 0) << r.out;
  std::istringstream lines(r.out);
  int reports = 0;
  for (std::string line; std::getline(lines, line);) {
    if (line.empty()) continue;
    EXPECT_EQ(line, kBadTransReport);
    ++reports;
  }
  EXPECT_EQ(reports, kCallers * kReportsPerCaller);
}

TEST(ConcurrentCallers, PlainThreadsAndCallerRegionsGetTheBitsOfLoneCalls) {
  auto r =
      run_child("plain_threads", {"ZTR_NUM_THREADS=" + std::to_string(kTeam), "ZTR_DYNAMIC=FALSE"});
  EXPECT_EQ(r.exit_code, 0) << r.out;
  r = run_child("inside_caller_regions", {});
  EXPECT_EQ(r.exit_code, 0) << r.out;
}

}  // namespace
}  // namespace ztr::test
