// The symmetric CSR product: against a dense reference for both triangles and any base, the
// entries it must ignore, the thread split and merge order (bit for bit against the same
// additions done plainly), every kernel variant, and allocation failure.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "include/ztr.h"
#include "service/cpu.h"
#include "spblas/csr_symv.h"
#include "testalloc.h"
#include "tests/support/child.h"
#include "tests/support/test_support.h"

namespace ztr {
namespace {

using namespace ztr::test;

// An entry (r, c) of the lower triangle (c <= r) of a symmetric matrix.
struct Entry {
  int r, c;
  double v;
};

// A random symmetric matrix of order m: the diagonal and about five entries per row of the
// lower triangle, values spread over several binades.
std::vector<Entry> random_symmetric(int m, unsigned seed) {
  Rng gen(seed);
  std::vector<Entry> e;
  for (int r = 0; r < m; ++r) {
    std::vector<int> cols{r};
    for (int k = 0; k < 5 && r > 0; ++k) cols.push_back(below(gen, r));
    std::sort(cols.begin(), cols.end());
    cols.erase(std::unique(cols.begin(), cols.end()), cols.end());
    for (int c : cols) e.push_back({r, c, std::ldexp(uniform(gen), below(gen, 13) - 6)});
  }
  return e;
}

struct Csr {
  std::vector<int> ia, ja;
  std::vector<double> a;
};

// CSR of one triangle with rows shuffled, ia starting at `base`, and optionally junk (NaN
// values in the other triangle, columns outside the matrix) that must be ignored.
Csr to_csr(int m, const std::vector<Entry>& es, bool lower, int base, bool junk, unsigned seed) {
  Rng gen(seed);
  std::vector<std::vector<std::pair<int, double>>> rows(m);
  for (const Entry& e : es) rows[lower ? e.r : e.c].emplace_back(lower ? e.c : e.r, e.v);
  Csr s{{base}, {}, {}};
  for (int r = 0; r < m; ++r) {
    auto& row = rows[r];
    if (junk) {
      if (lower ? r + 1 < m : r > 0) row.emplace_back(lower ? r + 1 : r - 1, kNaN);
      for (int c : {-5, m + 3}) row.emplace_back(c, kNaN);
    }
    std::shuffle(row.begin(), row.end(), gen);
    for (auto [c, v] : row) s.ja.push_back(c), s.a.push_back(v);
    s.ia.push_back(base + static_cast<int>(s.ja.size()));
  }
  s.ja.push_back(0), s.a.push_back(0.0);  // past ia[m]: never read, keeps data() non-null
  return s;
}

std::vector<double> random_vector(int m, unsigned seed) {
  Rng gen(seed);
  return test::random_vector(static_cast<std::size_t>(m), gen);
}

// y against A*x: |y_i - (Ax)_i| <= (terms + 8) u sum_j |a_ij x_j|, whatever the order.
void expect_product(int m, const std::vector<Entry>& es, const std::vector<double>& x,
                    const std::vector<double>& y) {
  std::vector<LD> exact(m), mag(m);
  std::vector<int> terms(m);
  auto add = [&](int i, double v, double xj) {
    exact[i] += static_cast<LD>(v) * xj, mag[i] += std::fabs(static_cast<LD>(v) * xj), ++terms[i];
  };
  for (const Entry& e : es) {
    add(e.r, e.v, x[e.c]);
    if (e.c != e.r) add(e.c, e.v, x[e.r]);
  }
  for (int i = 0; i < m; ++i)
    ASSERT_LE(std::fabs(y[i] - exact[i]), (terms[i] + 8) * kUnitRoundoff * mag[i]) << "row " << i;
}

// Invalid calls leave y alone.
TEST(CsrSymv, InvalidCallsLeaveYAlone) {
  const Csr s = to_csr(4, random_symmetric(4, 1), true, 0, false, 1);
  const auto x = random_vector(4, 2);
  std::vector<double> y(4, 42.0);
  for (auto [uplo, m] : {std::pair{'x', 4}, {'N', 4}, {'\0', 4}, {'L', -1}}) {
    ztr_cspblas_dcsrsymv(&uplo, &m, s.a.data(), s.ia.data(), s.ja.data(), x.data(), y.data());
    EXPECT_EQ(y, std::vector<double>(4, 42.0)) << "uplo " << int(uplo) << " m " << m;
  }
}

// ---- the order of additions, written plainly --------------------------------------------

// One row of the kernel into y, where y[0] stands for row `off`.
void plain_row(bool lower, int r, int m, const Csr& s, const std::vector<double>& x, double* y,
               int off) {
  const double t = x[r];
  double acc = 0.0;
  for (int k = s.ia[r] - s.ia[0]; k < s.ia[r + 1] - s.ia[0]; ++k) {
    const int c = s.ja[k];
    const double v = s.a[k];
    if (lower ? (c >= 0 && c < r) : (c > r && c < m)) {
      y[c - off] = y[c - off] + t * v;
      acc = acc + x[c] * v;
    } else if (c == r) {
      acc = acc + v * x[r];
    }
  }
  y[r - off] = acc * 1.0 + y[r - off];
}

// The product as p threads compute it: blocks of floor(m/p) rows, private vectors covering
// the rows each thread reaches, merged block by block in increasing thread order.
std::vector<double> plain_split(bool lower, int p, const Csr& s, const std::vector<double>& x) {
  const int m = static_cast<int>(x.size());
  const int chunk = m / p;
  std::vector<double> y(static_cast<std::size_t>(m), 0.0);
  std::vector<std::vector<double>> priv(static_cast<std::size_t>(p));
  const int owner = lower ? p - 1 : 0;
  for (int t = 0; t < p; ++t) {
    const int r0 = t * chunk, r1 = t == p - 1 ? m : (t + 1) * chunk;
    double* out = y.data();
    int off = 0;
    if (t != owner) {
      priv[t].assign(static_cast<std::size_t>(lower ? r1 : m - r0), 0.0);
      out = priv[t].data();
      off = lower ? 0 : r0;
    }
    for (int r = r0; r < r1; ++r) plain_row(lower, r, m, s, x, out, off);
  }
  for (int b = 0; b < p; ++b) {
    const int r0 = b * chunk, r1 = b == p - 1 ? m : (b + 1) * chunk;
    for (int k = r0; k < r1; ++k) {
      if (lower) {
        for (int t = b; t < p - 1; ++t) y[k] = y[k] + priv[t][k];
      } else {
        for (int t = 1; t <= b; ++t) y[k] = y[k] + priv[t][k - t * chunk];
      }
    }
  }
  return y;
}

// Every variant of both kernels and of the merge computes the same bits as the plain order.
TEST(CsrSymvKernels, EveryVariantFollowsThePlainOrder) {
  const int m = 257;
  const auto es = random_symmetric(m, 9);
  const auto x = random_vector(m, 10);
  for (bool lower : {true, false}) {
    const Csr s = to_csr(m, es, lower, 3, true, 4);
    const auto whole = plain_split(lower, 1, s, x);
    CsrSymvKernelSlot& slot = lower ? csr_symv_lower_slot() : csr_symv_upper_slot();
    for (int type = kCpuTypeMin; type <= hardware_cpu_type(); ++type) {
      SCOPED_TRACE("type " + std::to_string(type) + (lower ? " lower" : " upper"));
      const auto kernel = slot.variant(type);
      const int one = 1;
      const double alpha = 1.0, zero = 0.0, beta = 2.0, half = 0.5;
      // The whole product with alpha = 1/2, which scales every contribution exactly.
      std::vector<double> y(m, kNaN);
      kernel(&one, &m, &m, &m, &half, s.a.data(), s.ja.data(), s.ia.data(), s.ia.data() + 1,
             x.data(), y.data(), &zero);
      for (int i = 0; i < m; ++i) ASSERT_EQ(y[i], 0.5 * whole[i]);
      // Rows 101..200 into a vector that covers only the rows they reach, with beta = 2.
      const int first = 101, last = 200, len = lower ? last : m - (first - 1);
      std::vector<double> part(len, 1.0), want(len, 2.0);
      for (int r = first - 1; r < last; ++r)
        plain_row(lower, r, m, s, x, want.data(), lower ? 0 : m - len);
      kernel(&first, &last, &m, &len, &alpha, s.a.data(), s.ja.data(), s.ia.data(), s.ia.data() + 1,
             x.data(), part.data(), &beta);
      EXPECT_TRUE(same_bits(part, want));
    }
  }
  // The merge, in groups of four and one by one, adds in the order of the vectors.
  std::vector<std::vector<double>> vecs;
  const double* ptrs[5];
  for (int j = 0; j < 5; ++j) ptrs[j] = vecs.emplace_back(random_vector(400, 30u + j)).data();
  for (int rows : {3, 99, 150}) {
    for (int type = kCpuTypeMin; type <= hardware_cpu_type(); ++type) {
      std::vector<double> y = random_vector(400, 1), want = y;
      // Vector j starts at row 10*j; rows 50 .. 50+rows-1.
      for (int k = 50; k < 50 + rows; ++k)
        for (int j = 0; j < 5; ++j) want[k] = want[k] + vecs[j][k - 10 * j];
      csr_symv_merge_slot().variant(type)(50, 50 + rows, y.data(), ptrs, 5, 0, 10);
      EXPECT_TRUE(same_bits(y, want)) << "type " << type << " rows " << rows;
    }
  }
}

// ---- children: thread counts and the processor type are fixed per process ----------------

// The export's product for TEST_ARGS (uplo, m, threads with dynamic mode off, the base of
// ia, junk in the other triangle, the allocation to fail and whether the failure sticks):
// "serial", "split" or "other" by comparison with the plain orders, whether an allocation
// failed, the blocks leaked and whether the result is within the error bound.
ZTR_CHILD(csr_product) {
  char uplo = 'L';
  int m = 0, threads = 1, base = 0, junk = 0, fail_nth = 0, sticky = 0;
  std::sscanf(std::getenv("TEST_ARGS"), " %c %d %d %d %d %d %d", &uplo, &m, &threads, &base, &junk,
              &fail_nth, &sticky);
  const bool lower = uplo == 'L' || uplo == 'l';
  ZTR_Set_Dynamic(0);
  ZTR_Set_Num_Threads(threads);
  ZTR_Get_Max_Threads();  // the topology count allocates: done before any failure is armed
  const auto es = random_symmetric(m, 77);
  const auto x = random_vector(m, 78);
  const Csr s = to_csr(m, es, lower, base, junk != 0, 5);
  const long live = ztr_testalloc_live();
  if (fail_nth != 0) ztr_testalloc_fail_nth(fail_nth, sticky);
  std::vector<double> y(m, kNaN);  // never read
  ztr_cspblas_dcsrsymv(&uplo, &m, s.a.data(), s.ia.data(), s.ja.data(), x.data(), y.data());
  const long failures = ztr_testalloc_failures();
  ztr_testalloc_reset();
  const auto serial = plain_split(lower, 1, s, x);
  const auto split = plain_split(lower, threads, s, x);
  const char* how = same_bits(serial, split) ? "ambiguous"
                    : same_bits(y, serial)   ? "serial"
                    : same_bits(y, split)    ? "split"
                                             : "other";
  expect_product(m, es, x, y);
  std::printf("%s failed=%d leaked=%ld bound=%s", how, failures > 0 ? 1 : 0,
              ztr_testalloc_live() - live, ::testing::Test::HasFailure() ? "no" : "yes");
  return 0;
}

// Either letter case, any base, rows in any order, junk ignored, within the error bound.
// Serial up to 100 rows per thread, then split; above 1000 rows the merge is shared out with
// the same order of additions.  A failed private vector (every allocation, or one of three
// while the others were made and must be returned) gives the serial product.
TEST(CsrSymvThreads, SplitAboveHundredRowsPerThreadAndSerialWhenAVectorFails) {
  const struct {
    const char* args;  // m, threads, base, junk, allocation to fail, sticky
    const char* want;
  } rows[] = {{"1 2 7 1 0 0", "ambiguous failed=0"}, {"150 2 0 1 0 0", "serial failed=0"},
              {"600 2 7 1 0 0", "split failed=0"},   {"300 3 0 0 0 0", "serial failed=0"},
              {"1003 4 0 0 0 0", "split failed=0"},  {"4099 3 0 0 0 0", "split failed=0"},
              {"2000 3 0 0 1 1", "serial failed=1"}, {"2000 4 0 0 2 0", "serial failed=1"}};
  for (const char* uplo : {"L ", "l ", "U ", "u "})
    for (const auto& row : rows) {
      // Direct blocks: every private vector goes back to the allocator, so leaks show.
      const auto r = test::run_child(
          "csr_product", {std::string("TEST_ARGS=") + uplo + row.args, "ZTR_DISABLE_FAST_MM=1"});
      EXPECT_EQ(r.exit_code, 0) << r.out;
      EXPECT_EQ(r.out, std::string(row.want) + " leaked=0 bound=yes") << uplo << row.args;
    }
}

}  // namespace
}  // namespace ztr
