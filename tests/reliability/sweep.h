// The allocation-failure sweep: one generic harness for every export.
//
// A case is one call of an export on fresh copies of fixed inputs, followed by its own
// judgement of the outcome (a Verdict).  The sweep first makes the call without faults (which
// also settles the library's one-time state), then makes the k-th allocation of the call fail
// through the test allocator, for k = 1, 2, ..., until a run makes fewer than k allocations
// and so ends without an injected failure.  Every run must
//   - end with a correct result or with the export's documented failure code, which the
//     Verdict checks;
//   - print nothing but the documented messages: the failure's own line (Verdict::line,
//     exactly once) and the work-memory reports of kernels that fall back to a path needing
//     less memory (a blank line, then "ZTR INTERNAL ERROR: Not enough work memory in function
//     NAME");
//   - leave every block it allocated released: with the buffer pool switched off the test
//     allocator's count of live blocks must come back exactly; with the pool on it may grow
//     only by what the pools keep (five buffers and one record per thread).
// The run that ends without an injected failure must give the correct result.
//
// Adding an export: write a function that prepares the inputs and returns the SweepCall (a
// closure that copies them, makes the call and returns correct(), documented_failure(line)
// or wrong(why)), then add one line to the case table in test_allocation_sweep.cpp, e.g.
//     {"LAPACKE_dgeqrf row-major", geqrf_call(ZTR_ROW_MAJOR)},
// The table runs on one and two threads with the pool off and on two threads with it on.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace ztr::test {

struct Verdict {
  bool ok = true;       // a correct result, or a documented failure
  bool failed = false;  // the export reported a documented failure
  std::string line;     // the line that failure prints (without its line end)
  std::string why;      // what was wrong, when !ok
};

inline Verdict correct() {
  return {};
}
inline Verdict documented_failure(std::string line) {
  return {true, true, std::move(line), ""};
}
inline Verdict wrong(std::string why) {
  return {false, false, "", std::move(why)};
}

using SweepCall = std::function<Verdict()>;

struct SweepCase {
  std::string name;
  SweepCall call;
};

// Sweeps every case; prints what went wrong and returns the number of faults found.  With
// `pool_on`, blocks kept by the buffer pools are allowed for, up to `threads` pools.
int sweep_allocations(const std::vector<SweepCase>& cases, bool pool_on, int threads);

}  // namespace ztr::test
