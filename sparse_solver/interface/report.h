// The statistics report printed at the end of every call with a non-zero message level
// (phase -1 and the diagonal shortcut excepted).
#pragma once

namespace ztr {

struct ControlRecord;
struct Factorization;
struct OocRecord;

struct ReportInput {
  int mtype, phase, mnum, n, nnz, nrhs;
  const int* iparm;
  const ControlRecord* control;
  const Factorization* factor;  // the factorization of mnum, or null
};

void print_report(const ReportInput& r);

// The out-of-core block of the report: the shares of the file transfers in the times of the
// factorization (numfct), the solve and the call (total), and the megabytes moved.
void print_ooc_statistics(const OocRecord& ooc, double numfct, double solve, double total);

}  // namespace ztr
