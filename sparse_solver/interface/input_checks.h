// The solver's input checks, in the order the interface fixes: the first one that fails
// decides error_num (error -1).
#pragma once

namespace ztr {

struct ControlRecord;

// What the checks saw of the call.
struct CallArgs {
  int maxfct, mnum, mtype, phase, n, nrhs;
  const int* ia;
  const int* ja;
  const void* a;  // the values, right-hand sides and solution: only whether they are given
  const void* b;
  const void* x;
  int* iparm;
  bool fresh;                    // handle word 0 is zero
  const ControlRecord* control;  // null when fresh
};

// Outcome: proceed, return at once with error 0, or fail with error -1 and error_num.
enum class CheckVerdict { kProceed, kDone, kFail };
struct CheckResult {
  CheckVerdict verdict;
  int error_num;
};

// Checks 1 to 14.  The matrix checker (iparm[26] != 0) writes the offending position and
// values into iparm[30..32] and clears iparm[26] when the matrix passes.
CheckResult check_inputs(const CallArgs& args);

// The matrix checker alone, on arrays with index base `base` (0 or 1): 0 or error_num 21..24.
int check_matrix(int mtype, int n, const int* ia, const int* ja, int base, int* iparm);

// The column-index part of the checker (error_num 22), which also runs on every call that
// reads the matrix: every index within the matrix.  Records the last offending position.
int check_columns(int n, const int* ia, const int* ja, int base, int* iparm);

// The value an input check compared against (what the handle recorded), for the message of
// error_num 2, 5, 6 and 8; 0 otherwise.
int recorded_value(int error_num, const ControlRecord* c);

// The row-start part of the checker (error_num 21), which runs on every call that reads the
// matrix: ia[0] must be the index base and ia must not decrease.
int check_row_starts(int n, const int* ia, int base, int* iparm);

// Whether mtype is a type the solver knows, and whether new_type may follow old_type.
bool mtype_valid(int mtype);
bool mtype_compatible(int new_type, int old_type);

// Whether phase is a solve phase (it ends in stage 3, or is 331 .. 333).
bool phase_solves(int phase);

}  // namespace ztr
