#include "tests/reliability/sweep.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string_view>

#include "service/memory.h"
#include "tests/support/test_support.h"
#include "testalloc.h"

namespace ztr::test {
namespace {

using ::testing::internal::CaptureStdout;
using ::testing::internal::GetCapturedStdout;

// More allocations than any call of these exports makes: a sweep that gets here never ends.
constexpr long kMaxAllocations = 100000;

// What a run may print apart from the failure's own line: any number of these, each naming
// the routine that fell back.
constexpr std::string_view kFallbackReport =
    "\nZTR INTERNAL ERROR: Not enough work memory in function ";

bool only_fallback_reports(const std::string& out) {
  std::size_t at = 0;
  while (at < out.size()) {
    if (out.compare(at, kFallbackReport.size(), kFallbackReport) != 0) return false;
    at += kFallbackReport.size();
    const std::size_t end = out.find('\n', at);
    if (end == std::string::npos || !name_like(std::string_view(out).substr(at, end - at), true))
      return false;
    at = end + 1;
  }
  return true;
}

// "" when the printed text is made of the documented messages, else a description.
std::string check_printed(std::string out, const Verdict& v) {
  if (v.failed) {
    const std::string line = v.line + "\n";
    const std::size_t at = out.find(line);
    if (at == std::string::npos) return "the failure's message is missing";
    out.erase(at, line.size());
    if (out.find(line) != std::string::npos) return "the failure's message is repeated";
  }
  if (!only_fallback_reports(out)) return "undocumented output";
  return "";
}

int sweep_one(const SweepCase& c, bool pool_on, int threads) {
  const Verdict first = c.call();
  if (!first.ok || first.failed) {
    std::printf("%s: the call without faults is wrong: %s\n", c.name.c_str(), first.why.c_str());
    return 1;
  }
  // With the pool on, what the pools keep may grow up to their bound over the whole sweep.
  const long pool_bound = ztr_testalloc_live() + threads * (kPoolBuffersPerThread + 1);
  int faults = 0;
  for (long k = 1;; ++k) {
    const long failures = ztr_testalloc_failures();
    const long live = ztr_testalloc_live();
    CaptureStdout();
    ztr_testalloc_fail_nth(k, 0);
    const Verdict v = c.call();
    ztr_testalloc_reset();
    const std::string out = GetCapturedStdout();
    const bool injected = ztr_testalloc_failures() > failures;
    std::string fault;
    if (!v.ok) {
      fault = v.why;
    } else if (!injected && v.failed) {
      fault = "a failure reported without an injected one";
    } else if (std::string p = check_printed(out, v); !p.empty()) {
      fault = p;
    } else if (pool_on ? ztr_testalloc_live() > pool_bound : ztr_testalloc_live() != live) {
      fault = "leaked " + std::to_string(ztr_testalloc_live() - live) + " blocks";
    }
    if (!fault.empty()) {
      std::printf("%s, allocation %ld failing: %s; printed [%s]\n", c.name.c_str(), k,
                  fault.c_str(), out.c_str());
      if (++faults >= 3) return faults;
    }
    if (!injected) return faults;
    if (k == kMaxAllocations) {
      std::printf("%s: still allocating after %ld allocations\n", c.name.c_str(), k);
      return faults + 1;
    }
  }
}

}  // namespace

int sweep_allocations(const std::vector<SweepCase>& cases, bool pool_on, int threads) {
  int faults = 0;
  for (const SweepCase& c : cases) faults += sweep_one(c, pool_on, threads);
  return faults;
}

}  // namespace ztr::test
