// Reduction of a symmetric matrix to tridiagonal form, T = Q'*A*Q.
//
// Storage as in the published routines: with uplo 'U' the reflectors H(i), i = n-1..1, have
// v(i+1:n) = 0, v(i) = 1 and v(1:i-1) above the superdiagonal of column i+1; with 'L' the
// reflectors H(i), i = 1..n-1, have v(1:i) = 0, v(i+1) = 1 and v(i+2:n) below the
// subdiagonal of column i.  d receives the diagonal of T (n), e the off-diagonal (n-1), tau
// the scalars of the reflectors (n-1).  Q is H(n-1)*...*H(1) for 'U' and H(1)*...*H(n-1)
// for 'L'.  LAPACK-level entries take every argument by address.
#pragma once

#include "lapack/sytrd/team_symv.h"

namespace ztr {

// The library's reduction.  Below 32 rows or with fewer than two threads it is the
// sequential dsytrd.  Otherwise the whole reduction runs in one parallel region of P
// threads: the panels (nb = ILAENV(1, "DSYTRD", uplo, n, threads)) are reduced by
// ztr_lapack_dlatrd, whose symmetric products the team shares, and the trailing matrix is
// updated with the trailing order cut into 2P column strips, thread t updating strips t and
// 2P-1-t (a rank-2k update of the strip's diagonal block, two multiplies for the block
// between the strip and the far edge).  The last nx = max(nb, 500) columns are reduced by
// the threaded unblocked ztr_lapack_dsytd3.  The team needs n*(P+1) doubles of scratch;
// when they cannot be allocated the sequential dsytrd runs instead.
//   work/lwork: at least 1; n*nb for the blocked code (less reduces nb); lwork = -1 asks for
//   n*nb in work[0].
//   info: 0; -1 uplo, -2 n, -4 lda, -9 lwork (reported as "DSYTRD").
void ztr_lapack_dsytrd(const char* uplo, const int* n, double* a, const int* lda, double* d,
                       double* e, double* tau, double* work, const int* lwork, int* info);

// The sequential blocked reduction (block size ILAENV(1, "DSYTRD", uplo, n, -1), crossover
// ILAENV(3, ...) = 200, minimum block 2): same arguments and checks as above.
void dsytrd(const char* uplo, const int* n, double* a, const int* lda, double* d, double* e,
            double* tau, double* work, const int* lwork, int* info);

// The unblocked reduction (one reflector, a symmetric matrix-vector product and a rank-2
// update per column).  info: 0; -1 uplo, -2 n, -4 lda (reported as "DSYTD2").
void dsytd2(const char* uplo, const int* n, double* a, const int* lda, double* d, double* e,
            double* tau, int* info);

// The threaded unblocked reduction, called by every thread of `team` inside one parallel
// region: the lead generates each column's reflector, the symmetric product and the rank-2
// update of the rest are shared (products below kMinTeamSymvOrder stay with the lead).
// scratch: n*(team.size + 1) doubles.  No argument check.
void ztr_lapack_dsytd3(const char* uplo, int n, double* a, int lda, double* d, double* e,
                       double* tau, const SymvTeam& team);

// Reduces nb rows and columns of A (the last nb for 'U', the first nb for 'L') and returns
// the n x nb matrix W (ldw) with which the rest is updated as A := A - V*W' - W*V'.
// e and tau receive the nb entries of the reduced part, W is complete when it returns on the
// lead.  With a team, every thread of it calls this routine; the lead does all but the
// symmetric products, which team_symv shares (scratch: team->size vectors of n).  No
// argument check.
void ztr_lapack_dlatrd(const char* uplo, const int* n, const int* nb, double* a, const int* lda,
                       double* e, double* tau, double* w, const int* ldw,
                       const SymvTeam* team = nullptr);

}  // namespace ztr
