// ztr_cspblas_dcsrsymv: the export in front of the two triangle drivers.
#include "include/ztr.h"
#include "spblas/csr_symv.h"
#include "service/letters.h"

extern "C" ZTR_API void ztr_cspblas_dcsrsymv(const char* uplo, const int* m, const double* a,
                                             const int* ia, const int* ja, const double* x,
                                             double* y) {
  const char u = *uplo;
  const bool lower = ztr::same_letter(u, 'L');
  if ((!lower && !ztr::same_letter(u, 'U')) || *m < 0) return;
  // Nothing to read or write; the drivers would still look at ia[0] for the base.
  if (*m == 0) return;
  const double one = 1.0, zero = 0.0;
  if (lower) {
    ztr::ztr_spblas_dcsr0nslnc__mvout_omp(m, m, &one, a, ja, ia, ia + 1, x, y, &zero);
  } else {
    ztr::ztr_spblas_dcsr0nsunc__mvout_omp(m, m, &one, a, ja, ia, ia + 1, x, y, &zero);
  }
}
