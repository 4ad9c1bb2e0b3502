// Block size of DSYGST, the reduction of the generalized symmetric-definite eigenproblem to
// standard form.  Its off-diagonal work is in TRSM, SYMM, SYR2K and TRMM calls whose
// efficiency grows with the block, so larger problems and more threads take larger blocks.
//
// The table below is this library's choice: rows by thread group (below 12, 12-15, 16-31,
// 32-39, 40 and more), columns by order (below 2000, 4000, 8000, and above), for double
// precision with itype 1.  Single precision takes the next larger value (its blocks cost
// half the memory); itypes 2 and 3 (products instead of solves) take the value of the next
// larger order band.  Both triangles use the same table.
#include <cstring>

#include "lapack/ilaenv.h"
#include "lapack/ilaenv_query.h"
#include "service/cpu.h"

namespace ztr {
namespace {

// A processor below the kernel classes would get one fixed block.  CpuType is at least 2
// on every processor the library runs on (it stops below SSE2), so the row is kept only to
// make the table total.
constexpr int kUnclassifiedBlock = 128;

constexpr int kTable[5][5] = {
    {128, 192, 256, 320, 384},
    {192, 256, 320, 384, 448},
    {256, 320, 384, 448, 512},
    {320, 384, 448, 512, 576},
    {384, 448, 512, 576, 640},
};

int thread_group(int t) {
  if (t < 12) return 0;
  if (t < 16) return 1;
  if (t < 32) return 2;
  if (t < 40) return 3;
  return 4;
}

int order_band(int n) { return n < 2000 ? 0 : n < 4000 ? 1 : n < 8000 ? 2 : 3; }

}  // namespace

int sygst_block_size(const int* ispec, const char* name, const char* /*uplo*/, const int* n,
                     const int* itype, const int* threads, int name_len, int /*uplo_len*/) {
  char precision;
  tuning_decode_name(name, name_len, &precision, 1);
  const bool single = precision == 'S' || precision == 'C';
  const bool known = tuning_known_precision(precision);
  if (*ispec == 2) return known ? 2 : 1;
  if (*ispec != 1) return -1;
  if (!known) return 1;
  if (*n < kTuningSmallOrder) return kTuningSmallBlock;
  if (detect_cpu_type() < 1) return kUnclassifiedBlock;
  int col = order_band(*n) + (*itype != 1 ? 1 : 0) + (single ? 1 : 0);
  if (col > 4) col = 4;
  return kTable[thread_group(*threads)][col];
}

int sygst_block_size(int ispec, const char* name, const char* uplo, int n, int itype,
                     int threads) {
  return sygst_block_size(&ispec, name, uplo, &n, &itype, &threads,
                          static_cast<int>(std::strlen(name)), static_cast<int>(std::strlen(uplo)));
}

}  // namespace ztr
