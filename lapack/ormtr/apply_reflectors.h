// The frame that DORMQR and DORMQL share: argument check, block size and workspace rules,
// and the cut of C into slices that threads update independently.
#pragma once

namespace ztr {

inline constexpr int kReflectorMaxBlock = 64;
inline constexpr int kReflectorLdt = kReflectorMaxBlock + 1;
inline constexpr int kReflectorTSize = kReflectorLdt * kReflectorMaxBlock;

// The part of C one call works on and how: the same reflectors applied to any slice of C's
// columns (side 'L') or rows (side 'R').
struct ReflectorJob {
  bool left, notran;
  int m, n, k;  // C is m x n; k reflectors
  double* a;
  int lda;
  const double* tau;
  double* c;
  int ldc;
};

// Applies the reflectors to job.c with block size nb: blocked (T at t, kReflectorLdt) when
// `blocked`, one reflector at a time otherwise.  work: nw*nb doubles (blocked) or nw.
using ReflectorKernel = void (*)(const ReflectorJob& job, int nb, bool blocked, double* work,
                                 double* t);

// The whole routine: checks (reported as `name`), the size query, then the kernel on the
// whole of C or, with two or more threads, on slices of it.
void apply_reflectors(const char* name, const char* side, const char* trans, const int* m,
                      const int* n, const int* k, double* a, const int* lda, const double* tau,
                      double* c, const int* ldc, double* work, const int* lwork, int* info,
                      ReflectorKernel kernel);

}  // namespace ztr
