// The solver body: one phase (or run of phases) of one call, over the value type T of the
// precision recorded in the handle.  The double and single bodies are this one template.
#pragma once

namespace ztr {

struct KorvineArgs {
  void** pt;
  int maxfct, mnum, mtype, phase, n;
  const void* a;
  const int* ia;
  const int* ja;
  int* perm;
  int nrhs;
  int* iparm;
  int msglvl;
  void* b;
  void* x;
  int* error;
  // The number of wanted unknowns when the partial-solve preparation ran in this call, else -1.
  int partial_wanted = -1;
};

template <typename T>
void korvine_body(const KorvineArgs& args, int threads);

}  // namespace ztr
