// What the LAPACK tests check of the reports: the error handler's text for a bad argument,
// and a way to catch what a call prints.
#pragma once

#include <gtest/gtest.h>

#include <string>

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

}  // namespace ztr::test
