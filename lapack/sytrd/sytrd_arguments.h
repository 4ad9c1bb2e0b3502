// The argument check shared by the two tridiagonal reductions.
#pragma once

namespace ztr {

// Sets info to minus the first bad position (1 uplo, 2 n, 4 lda, 9 lwork below 1 and not a
// query) and reports it as "DSYTRD"; true when every argument is valid.
bool sytrd_arguments_ok(const char* uplo, const int* n, const int* lda, const int* lwork,
                        int* info);

}  // namespace ztr
