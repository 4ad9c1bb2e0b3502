// What the LAPACK tests check of the reports: the error handler's text for a bad argument,
// and a way to catch what a call prints.
#pragma once

#include <gtest/gtest.h>

#include <utility>

#include "tests/testalloc/testalloc.h"
#include "tests/support/child.h"

namespace ztr::test {

// The default handler's report of a bad argument at position `pos` of routine `name` (as the
// routine spells it, padded to six characters).
inline std::string xerbla_text(const std::string& name, int pos) {
  return "\nZTR ERROR: Parameter " + std::to_string(pos) + " was incorrect on entry to " + name +
         ".\n";
}

// Everything f() prints to standard output.
template <class F>
std::string captured(F&& f) {
  ::testing::internal::CaptureStdout();
  f();
  return ::testing::internal::GetCapturedStdout();
}

// Runs each registered child with its environment ("NAME=value" entries); each must exit 0.
inline void expect_children(
    std::initializer_list<std::pair<const char*, std::vector<std::string>>> runs) {
  for (const auto& [name, env] : runs) {
    const ChildResult r = run_child(name, env);
    std::string settings;
    for (const std::string& e : env) settings += e + " ";
    EXPECT_EQ(r.exit_code, 0) << name << " with " << settings << "\n" << r.out;
  }
}

// In a child: `call` (on a fresh copy of its input) once to settle the one-time state, then
// again with its nth allocation failing, which the call must survive silently: 0 when
// exactly that allocation failed, nothing was printed, `ok` holds and nothing leaked.
template <class Call, class Ok>
int survives_allocation_failure(Call call, Ok ok, long nth = 1) {
  call();
  const long live = ztr_testalloc_live(), failures = ztr_testalloc_failures();
  ztr_testalloc_fail_nth(nth, 0);
  const std::string out = captured(call);
  ztr_testalloc_reset();
  return ztr_testalloc_failures() != failures + 1 ? 1
         : !out.empty()                           ? 2
         : !ok()                                  ? 3
         : ztr_testalloc_live() != live           ? 4
                                                  : 0;
}

}  // namespace ztr::test
