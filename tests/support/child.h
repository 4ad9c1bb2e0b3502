// Running a piece of a test in a fresh process.
//
// Behaviour that the library fixes once per process (the environment read at the first
// query, the processor type) is tested by re-running the test binary itself in "child" mode
// with a chosen environment: the child runs one registered function and exits.  The parent
// gets its standard output and exit status.
#pragma once

#include <functional>
#include <map>
#include <string>
#include <vector>

namespace ztr::test {

struct ChildResult {
  std::string out;  // everything the child wrote to standard output
  int exit_code;    // exit status, or 128 + signal number
};

// Registers `fn` under `name`; the child calls it and exits with its result.
struct ChildRegistration {
  ChildRegistration(const char* name, std::function<int()> fn);
};

#define ZTR_CHILD_CONCAT2(a, b) a##b
#define ZTR_CHILD_CONCAT(a, b) ZTR_CHILD_CONCAT2(a, b)
// ZTR_CHILD(name) { ... return exit_code; }
#define ZTR_CHILD(name)                                                              \
  static int ztr_child_##name();                                                     \
  static ::ztr::test::ChildRegistration ZTR_CHILD_CONCAT(ztr_child_reg_, __LINE__)( \
      #name, ztr_child_##name);                                                      \
  static int ztr_child_##name()

// Runs the registered child `name` with the parent's environment minus every variable the
// library reads, plus `env` ("NAME=value" entries).
ChildResult run_child(const std::string& name, const std::vector<std::string>& env = {});

// Called from main(): when argv asks for a child, runs it and never returns.
void maybe_run_child(int argc, char** argv);

}  // namespace ztr::test
