// The statistics report printed at the end of every call with a non-zero message level
// (phase -1 and the diagonal shortcut excepted).
#pragma once

namespace ztr {

struct ControlRecord;
struct Factorization;

struct ReportInput {
  int mtype, phase, mnum, n, nnz, nrhs;
  const int* iparm;
  const ControlRecord* control;
  const Factorization* factor;  // the factorization of mnum, or null
};

void print_report(const ReportInput& r);

}  // namespace ztr
