// Fuzz target for the sparse solver's interface.  One input is a short sequence of phases on
// one handle over a CSR matrix that may break every rule the checks look at (row starts not
// at the base or decreasing, columns out of range, unsorted or repeated, diagonals missing),
// with the matrix checker on or off, either index base and precision, any matrix type (also
// unknown ones), a user permutation or wanted components, several right-hand sides, one or
// two threads and an allocation made to fail.  Arrays are exactly as long as the arguments
// say (values sized for the type and precision), so the address sanitizer sees any access
// beyond them.  Checked: only the documented codes (0 to -12); b left alone unless iparm[5]
// asks for the solution there; and after the closing release, no block of the library's left
// behind.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "include/ztr.h"
#include "testalloc.h"
#include "tests/reliability/fuzz_support.h"

namespace {

using ztr::test::Bytes;
using ztr::test::fuzz_fail;

constexpr int kTypes[] = {1, 2, -2, 11, 3, 4, -4, 6, 13, 0, 7};
constexpr int kPhases[] = {11, 12, 13, 22, 23, 33, 331, 332, 333, 0, -1, 21, 99};
template <class T, std::size_t N>
const T& pick(Bytes& in, const T (&list)[N]) {
  return list[static_cast<std::size_t>(in.next()) % N];
}

struct Call {
  void* pt[64] = {};
  int iparm[64] = {};
  int maxfct = 1, mnum = 1, mtype = 2, n = 0, nrhs = 1, msglvl = 0;
  std::vector<int> ia, ja, perm;
  std::vector<unsigned char> a, b, x;

  int run(int phase) {
    int error = 12345;
    KORVINE(pt, &maxfct, &mnum, &mtype, &phase, &n, a.data(), ia.data(), ja.data(), perm.data(),
            &nrhs, iparm, &msglvl, b.data(), x.data(), &error);
    return error;
  }
};

// The matrix: rows of up to four entries; the row starts, columns and values as the input
// says, the arrays as long as the last row start claims.
void make_matrix(Bytes& in, Call* c, int base, std::size_t elem) {
  const int n = c->n > 0 ? c->n : 0;
  c->ia.assign(static_cast<std::size_t>(n) + 1, base);
  for (int r = 0; r < n; ++r) c->ia[r + 1] = c->ia[r] + in.next() % 5;
  if (n > 0 && in.next() % 16 == 0) c->ia[in.next() % (n + 1)] += in.next() % 5 - 2;
  const long claimed = static_cast<long>(c->ia[n]) - base;
  const std::size_t nnz = claimed > 0 ? static_cast<std::size_t>(claimed) : 1;
  c->ja.resize(nnz);
  for (std::size_t k = 0; k < nnz; ++k) c->ja[k] = base + in.next() % (n + 2) - 1;
  if (in.next() % 2 == 0)  // mostly well-formed: each row sorted, from its diagonal on
    for (int r = 0; r < n; ++r)
      for (int k = c->ia[r] - base, j = r; k >= 0 && k < c->ia[r + 1] - base && k < long(nnz);
           ++k, ++j)
        c->ja[k] = base + j % n;
  c->a.resize(nnz * elem);
  for (std::size_t e = 0; e < nnz * elem / sizeof(float); ++e) {
    const float v = static_cast<float>(in.value());
    std::memcpy(&c->a[e * sizeof(float)], &v, sizeof v);
  }
}

void fuzz(Bytes& in) {
  Call c;
  c.mtype = pick(in, kTypes);
  // Mostly tiny systems; one in four up to 79 equations, for supernodes of some width.
  c.n = in.next() % 4 == 0 ? in.next() % 80 : in.dim();
  ZTR_Set_Num_Threads(1 + in.next() % 2);
  c.maxfct = 1 + in.next() % 2;
  c.mnum = in.next() % 3;
  c.msglvl = in.next() % 2;
  const int nrhs = in.next() % 4 - (in.next() % 8 == 0 ? 1 : 0);
  c.nrhs = nrhs;
  if (in.next() % 4 != 0) {  // settings of the caller's own; otherwise the type's defaults
    c.iparm[0] = 1;
    c.iparm[1] = pick(in, {0, 2, 2, 3, 4});
    c.iparm[4] = in.next() % 3;
    c.iparm[5] = in.next() % 3;
    c.iparm[7] = in.next() % 5 - 2;
    c.iparm[9] = in.next() % 14;
    c.iparm[10] = in.next() % 2;
    c.iparm[11] = in.next() % 4;
    c.iparm[12] = in.next() % 2;
    c.iparm[23] = in.next() % 8 == 0;
    c.iparm[26] = in.next() % 2;
    c.iparm[27] = in.next() % 2;
    c.iparm[30] = in.next() % 8 == 0 ? 1 + in.next() % 3 : 0;
    c.iparm[34] = in.next() % 2;
    c.iparm[59] = in.next() % 8 == 0 ? in.next() % 3 : 0;
  }
  const bool complex =
      std::abs(c.mtype) == 3 || std::abs(c.mtype) == 4 || c.mtype == 6 || c.mtype == 13;
  const std::size_t elem = (complex ? 2 : 1) * (c.iparm[27] == 1 ? 4 : 8);
  make_matrix(in, &c, c.iparm[34] != 0 ? 0 : 1, elem);
  const std::size_t n = c.n > 0 ? static_cast<std::size_t>(c.n) : 1;
  c.perm.resize(n);
  for (int& p : c.perm) p = in.next() % (static_cast<int>(n) + 2);
  const std::size_t rhs = n * static_cast<std::size_t>(nrhs > 0 ? nrhs : 1) * elem;
  c.b.resize(rhs);
  c.x.resize(rhs);
  for (unsigned char& v : c.b) v = static_cast<unsigned char>(in.next() % 64);

  const long live = ztr_testalloc_live();
  ztr_testalloc_fail_nth(in.next() % 48, 0);
  const int phases = 1 + in.next() % 4;
  const bool into_b = c.iparm[0] == 1 && c.iparm[5] == 1;
  for (int k = 0; k < phases; ++k) {
    const std::vector<unsigned char> b0 = c.b;
    const int error = c.run(pick(in, kPhases));
    if (error > 0 || error < -12) fuzz_fail("an undocumented error code");
    if (!into_b && c.b != b0) fuzz_fail("b changed without iparm[5] = 1");
  }
  ztr_testalloc_reset();
  const int error = c.run(-1);
  if (error != 0) fuzz_fail("the release failed");
  if (ztr_testalloc_live() != live) fuzz_fail("blocks left after the release");
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  ztr::test::silence_standard_output();
  // Without the pool every block goes back at once, so the count of live blocks tells.
  setenv("ZTR_DISABLE_FAST_MM", "yes", 1);
  ZTR_Set_Num_Threads(1);
  // One solve first, for what the library sets up once per process.
  Call c;
  c.n = 3;
  c.ia = {1, 3, 5, 6};
  c.ja = {1, 2, 2, 3, 3};
  const double v[5] = {4, -1, 4, -1, 4};
  c.a.resize(sizeof v);
  std::memcpy(c.a.data(), v, sizeof v);
  c.perm.resize(3);
  c.b.assign(3 * sizeof(double), 0);
  c.x.resize(3 * sizeof(double));
  c.run(13);
  c.run(-1);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  Bytes in{data, data + size};
  fuzz(in);
  return 0;
}
