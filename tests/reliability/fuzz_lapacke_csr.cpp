// Fuzz target for the argument handling of the LAPACKE layer (LAPACKE_dgetrf followed by
// LAPACKE_dgetri, as the dense target drives them but many more times) and for the symmetric
// CSR product.
//
// The input chooses the layout (also an invalid code), dimensions from -2 up (leading
// dimensions from below their limit), matrix entries with NaN and infinity among them, an
// allocation to fail, and CSR structures with empty rows, repeated entries, entries of the
// other triangle and a non-zero base.  Arrays are exactly as long as the arguments say, so
// the address sanitizer sees any access beyond them.  Every run is checked against what the
// interface promises: the documented codes, nothing touched outside the matrix or on an
// error, pivots in range, info naming the first zero pivot, and the CSR product exactly (its
// entries are small integers, so every order of summation is exact).
#include <cstdint>
#include <vector>

#include "include/ztr.h"
#include "tests/reliability/fuzz_lu.h"

namespace {

using ztr::test::Bytes;
using ztr::test::fuzz_fail;

void fuzz_csr(Bytes& in) {
  static const char kUplo[] = {'L', 'l', 'U', 'u', 'N', '\0'};
  const char uplo = kUplo[in.next() % 6];
  const int m = in.dim() * 2;
  const int base = in.next() % 3;
  std::vector<int> ia(m > 0 ? m + 1 : 1, base), ja;
  std::vector<double> v;
  for (int r = 0; r < m; ++r) {
    const int count = in.next() % 5;
    for (int e = 0; e < count; ++e) {
      ja.push_back(in.next() % m);
      v.push_back(static_cast<std::int8_t>(in.next()));
    }
    ia[r + 1] = base + static_cast<int>(ja.size());
  }
  if (ja.empty()) {  // exact sizes, but never a zero-length array
    ja.push_back(0);
    v.push_back(0);
  }
  std::vector<double> x(m > 0 ? m : 1), y(m > 0 ? m : 1, -99.0);
  for (double& e : x) e = static_cast<std::int8_t>(in.next());
  ztr_cspblas_dcsrsymv(&uplo, &m, v.data(), ia.data(), ja.data(), x.data(), y.data());

  const bool lower = uplo == 'L' || uplo == 'l', upper = uplo == 'U' || uplo == 'u';
  if (m < 0 || !(lower || upper)) {
    for (double e : y)
      if (e != -99.0) fuzz_fail("an invalid call wrote y");
    return;
  }
  std::vector<double> want(y.size(), 0.0);
  for (int r = 0; r < m; ++r)
    for (int p = ia[r] - base; p < ia[r + 1] - base; ++p) {
      const int c = ja[p];
      if (lower ? c > r : c < r) continue;
      want[r] += v[p] * x[c];
      if (c != r) want[c] += v[p] * x[r];
    }
  for (int r = 0; r < m; ++r)
    if (y[r] != want[r]) fuzz_fail("wrong CSR product");
}

void fuzz_one(Bytes& in) {
  if (in.next() % 2 == 0) {
    ztr::test::Source s{in, false, false, ztr::test::Rng(0)};
    ztr::test::fuzz_lu(s);
  } else {
    fuzz_csr(in);
  }
}

}  // namespace

ZTR_FUZZ_ENTRY_POINTS(fuzz_one)
