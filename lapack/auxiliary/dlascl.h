// Scaling of a matrix by cto/cfrom without overflow or underflow.
#pragma once

namespace ztr {

// A := A*(cto/cfrom), applied as a product of safe factors so that no intermediate result
// overflows or underflows harmfully.  type: 'G' full m x n, 'L' lower triangle, 'U' upper
// triangle, 'H' upper Hessenberg (kl, ku unused).  info: 0; -1 type, -4 cfrom zero or NaN,
// -5 cto NaN, -6 m, -7 n (or a non-square triangle or Hessenberg), -9 lda; reported as
// "DLASCL".
void dlascl(const char* type, const int* kl, const int* ku, const double* cfrom, const double* cto,
            const int* m, const int* n, double* a, const int* lda, int* info);

}  // namespace ztr
