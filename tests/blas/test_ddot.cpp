// The dot product: each kernel variant against its order of additions written out plainly
// (bit for bit), the thread split, and the export's edge cases.  Where the export splits is
// tuning; that a split result is the pieces' sum in thread order is checked bit for bit.
#include <gtest/gtest.h>

#include "blas/ddot.h"
#include "include/ztr.h"
#include "service/cpu.h"
#include "service/messages.h"
#include "service/platform.h"
#include "testalloc.h"
#include "tests/blas/ddot_reference.h"
#include "tests/support/fake_machine.h"
#include "tests/support/test_support.h"

namespace ztr {
namespace {

using namespace ztr::test;

// `count` doubles at `offset` bytes past a 64-byte boundary inside `raw`, so that vectors can
// be placed at any byte offset, with magnitudes spread over many binades so that every
// change in the order of additions shows in the last bits.
double* fill(std::vector<unsigned char>& raw, std::size_t offset, std::size_t count,
             unsigned seed) {
  raw.assign(count * 8 + 192, 0);
  unsigned char* p =
      raw.data() + offset + (64 - reinterpret_cast<std::uintptr_t>(raw.data()) % 64) % 64;
  test::Rng gen(seed);
  for (std::size_t i = 0; i < count; ++i) {
    const double v = std::ldexp(test::uniform(gen), test::below(gen, 25) - 12);
    std::memcpy(p + 8 * i, &v, 8);
  }
  return reinterpret_cast<double*>(p);
}

const auto same_bits = [](double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; };

// Error bound of any order of summation: |computed - exact| <= gamma_n * sum |x_i y_i|.
void expect_accurate(double r, int n, const double* x, int incx, const double* y, int incy) {
  long double exact = 0, mag = 0;
  for (int i = 0; i < n; ++i) {
    const long double p =
        static_cast<long double>(test::elem(x, n, incx, i)) * test::elem(y, n, incy, i);
    exact += p;
    mag += std::fabs(p);
  }
  const double u = 0x1p-53;
  EXPECT_LE(std::fabs(static_cast<long double>(r) - exact), (n + 2) * u * mag + 1e-300)
      << "n=" << n << " incx=" << incx << " incy=" << incy;
}

// Every variant this processor can run, through its slot entry, against its order of
// additions, with vectors at byte offsets (xoff, yoff) from a 64-byte boundary; and every
// result within the error bound of the exact sum.
TEST(DdotVariants, FollowTheirOrderOfAdditionBitForBit) {
  const int lengths[] = {0,  -3, 1,  2,  3,  4,  5,  7,  8,  9,  15,  16,
                         17, 31, 32, 33, 40, 47, 48, 63, 64, 65, 100, 1001};
  const int incs[][2] = {{1, 1},  {-1, -1}, {1, -1}, {-1, 1}, {2, 3},
                         {-2, 1}, {0, 1},   {1, 0},  {3, -2}, {1, 2}};
  for (int type = kCpuTypeMin; type <= hardware_cpu_type(); ++type) {
    SCOPED_TRACE("CpuType " + std::to_string(type));
    const DdotKernelFn kernel = ddot_kernel_slot().variant(type);
    int mismatches = 0, reordered = 0;
    for (int n : lengths)
      for (const auto& [incx, incy] : incs)
        for (std::size_t xoff : {0, 8, 16, 24, 4})
          for (std::size_t yoff : {0, 8, 16, 24, 4}) {
            std::vector<unsigned char> bx, by;
            const double* x = fill(bx, xoff, span(n, incx), 1u + n);
            const double* y = fill(by, yoff, span(n, incy), 7u + n);
            const double got = kernel(&n, x, &incx, y, &incy);
            const double want = ref_ddot(type, n, x, incx, y, incy);
            if (!same_bits(got, want) && ++mismatches <= 5)
              ADD_FAILURE() << "n=" << n << " incx=" << incx << " incy=" << incy << " offsets "
                            << xoff << "," << yoff << ": got " << got << " want " << want;
            if (!same_bits(want, test::ref_strided(n, x, incx, y, incy))) ++reordered;
            expect_accurate(got, n, x, incx, y, incy);
          }
    EXPECT_EQ(mismatches, 0);
    // The data must be able to tell orders of addition apart, or the comparison proves little.
    EXPECT_GT(reordered, 100);
  }
}

// Partial results of the split computed plainly: pieces of floor(n/p) rounded down to a
// multiple of 8, the last thread taking the rest, added in thread order.
double split_reference(int p, int n, const double* x, int incx, const double* y, int incy) {
  const DdotKernelFn kernel = ddot_kernel_slot().variant(detect_cpu_type());
  if (p == 1) return kernel(&n, x, &incx, y, &incy);
  const int chunk = n / p / 8 * 8;
  double sum = 0.0;
  for (int t = 0; t < p; ++t) {
    const int start = t * chunk, len = t < p - 1 ? chunk : n - start;
    const double* xs = x + test::at(incx >= 0 ? start : start + len - 1, n, incx);
    const double* ys = y + test::at(incy >= 0 ? start : start + len - 1, n, incy);
    sum = sum + kernel(&len, xs, &incx, ys, &incy);
  }
  return sum;
}

TEST(DdotThreads, PiecesOfEightAddedInThreadOrder) {
  const int incs[][2] = {{1, 1}, {-1, -1}, {1, -1}, {2, -3}};
  for (int p : {2, 3, 4}) {
    for (int n : {20, 2501, 8 * 4 * 97 + 5, 10007}) {
      for (const auto& inc : incs) {
        std::vector<unsigned char> bx, by;
        const double* x = fill(bx, 0, span(n, inc[0]), 3);
        const double* y = fill(by, 8, span(n, inc[1]), 4);
        const double got = ztr_blas_ddot_omp(p, &n, x, &inc[0], y, &inc[1]);
        EXPECT_TRUE(same_bits(got, split_reference(p, n, x, inc[0], y, inc[1])))
            << "p=" << p << " n=" << n << " incx=" << inc[0] << " incy=" << inc[1];
        expect_accurate(got, n, x, inc[0], y, inc[1]);
      }
    }
  }
}

// ---- children: the processor type and the thread settings are fixed per process ----------

// cblas_ddot of 100000 entries with increments 1 and TEST_INC, reported as "serial",
// "split2" or "other" by comparison with the two references.
ZTR_CHILD(ddot_split) {
  test::install_fake_topology(4, 1);  // dynamic mode leaves the requested count alone
  const int n = 100000, inc = std::atoi(std::getenv("TEST_INC"));
  std::vector<unsigned char> bx, by;
  const double* x = fill(bx, 0, span(n, 1), 11);
  const double* y = fill(by, 0, span(n, inc), 12);
  const double got = cblas_ddot(n, x, 1, y, inc);
  std::printf("%s type=%d ma=%d",
              same_bits(got, split_reference(1, n, x, 1, y, inc))   ? "serial"
              : same_bits(got, split_reference(2, n, x, 1, y, inc)) ? "split2"
                                                                    : "other",
              detect_cpu_type(), cpu_microarch());
  return 0;
}

TEST(DdotThreads, LongVectorsSplitZeroIncrementsDoNot) {
  for (const char* inc : {"TEST_INC=1", "TEST_INC=0"}) {
    const auto r =
        test::run_child("ddot_split", {"ZTR_DEBUG_CPU_TYPE=6", "ZTR_NUM_THREADS=2", inc});
    EXPECT_EQ(r.out, std::string(inc[9] == '1' ? "split2" : "serial") + " type=6 ma=128");
  }
}

// More threads than the stack holds partial results for: the partials go to the heap; when
// that allocation fails, the failure is reported under the name "dot" and the serial kernel
// gives the product.
ZTR_CHILD(ddot_partials) {
  const int n = 100000, one = 1;
  std::vector<unsigned char> bx, by;
  const double* x = fill(bx, 0, n, 1);
  const double* y = fill(by, 0, n, 2);
  const bool fail = std::getenv("TEST_FAIL") != nullptr;
  const long before = ztr_testalloc_requests();
  if (fail) ztr_testalloc_fail_nth(1, 1);
  const double got = ztr_blas_ddot_omp(kDdotStackPartials + 72, &n, x, &one, y, &one);
  const long failures = ztr_testalloc_failures();
  ztr_testalloc_reset();
  if (!fail) expect_accurate(got, n, x, 1, y, 1);
  std::printf("|allocated=%d failed=%d same=%d bad=%d", ztr_testalloc_requests() > before,
              failures > 0, same_bits(got, split_reference(1, n, x, 1, y, 1)),
              ::testing::Test::HasFailure());
  return 0;
}

TEST(DdotThreads, PartialResultsOnTheHeapAboveTheStackArray) {
  auto r = test::run_child("ddot_partials", {"TEST_FAIL=1"});
  const std::string report = std::string("\n") + msg_text(kMsgAllocFailed, 1, "dot") + "\n";
  EXPECT_EQ(r.out, report + "|allocated=1 failed=1 same=1 bad=0");
  r = test::run_child("ddot_partials");
  EXPECT_EQ(r.out.substr(0, 23), "|allocated=1 failed=0 s");
  EXPECT_NE(r.out.find("bad=0"), std::string::npos) << r.out;
}

}  // namespace
}  // namespace ztr
