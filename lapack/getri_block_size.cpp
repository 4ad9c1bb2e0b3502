// Block size of the inversion routines DGETRI and DTRTRI.  Inversion does most of its work
// in matrix products whose efficiency grows with the block size, and more threads need
// larger blocks to keep each busy, hence a table by thread count.
#include <cstring>

#include "lapack/ilaenv.h"
#include "lapack/ilaenv_query.h"
#include "service/cpu.h"
#include "service/threads.h"

namespace ztr {
namespace {

int block_size(int n, int t) {
  if (n < kTuningSmallOrder) return kTuningSmallBlock;
  if (t < 16) return n <= 2000 ? 224 : n <= 3500 ? 384 : n <= 7500 ? 576 : 672;
  if (t == 16) return n <= 2500 ? 64 : n <= 3500 ? 384 : n <= 7500 ? 576 : 672;
  if (t <= 24) return n <= 1500 ? 384 : n <= 3500 ? 512 : 896;
  return n <= 5000 ? 320 : n <= 8000 ? 480 : 640;
}

}  // namespace

int getri_block_size(const int* ispec, const char* name, const char* /*opts*/, const int* n1,
                     const int* n2, const int* /*n3*/, const int* /*n4*/, int name_len,
                     int /*opts_len*/) {
  char precision;
  tuning_decode_name(name, name_len, &precision, 1);
  const bool known = tuning_known_precision(precision);
  switch (*ispec) {
    case 1: return known ? block_size(*n1, *n2) : 1;
    case 2: return known ? 2 : 1;
    case 3: return domain_max_threads(kDomainAll);
    case 4: case 5: return 1;
    case 6: return detect_cpu_type();
    default: return -1;
  }
}

int getri_block_size(int ispec, const char* name, const char* opts, int n1, int n2, int n3,
                     int n4) {
  return getri_block_size(&ispec, name, opts, &n1, &n2, &n3, &n4,
                          static_cast<int>(std::strlen(name)), static_cast<int>(std::strlen(opts)));
}

}  // namespace ztr
