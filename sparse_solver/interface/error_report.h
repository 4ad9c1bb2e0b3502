// The error reporter: explains a negative `error` on standard output (message level != 0).
#pragma once

namespace ztr {

struct ErrorContext {
  int error;
  int error_num;
  int maxfct, mnum, mtype, phase, n, nnz, nrhs;
  bool zero_based;
  const int* iparm;
  long long failed_bytes;  // error -2: size of the failed request
  int old_value;           // error_num 2, 5, 6, 8: the value recorded at analysis
};

void report_error(const ErrorContext& e);

}  // namespace ztr
