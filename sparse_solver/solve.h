// The direct solve with a supernodal factorization: forward substitution, the diagonal step
// and backward substitution for nrhs columns, and the transposed solve of the full-pattern
// types.
#pragma once

namespace ztr {

struct ControlRecord;
struct Factorization;

// Solve steps, combinable.
inline constexpr int kStepForward = 1;
inline constexpr int kStepDiagonal = 2;
inline constexpr int kStepBackward = 4;
inline constexpr int kStepsAll = 7;

// Applies the chosen steps to the nrhs columns of b (n values each) and writes the result to
// x (which may be b).  b is in the caller's order when the forward step is among the steps,
// else in the factored matrix's order; x likewise with the backward step.  transposed: solve with
// A' (full-pattern types). `work` holds (n + longest row structure) * nrhs values.
template <typename T>
void solve_with_factors(const ControlRecord* c, const Factorization* f, int nrhs, int steps,
                        bool transposed, const T* b, T* x, T* work);

}  // namespace ztr
