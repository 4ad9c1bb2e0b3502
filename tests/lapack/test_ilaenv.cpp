// Block-size tuning: the small-problem rule, the fixed answers, the per-routine rows the
// factorizations depend on, and the two tuning functions of the same shape.  Rows that
// depend on the CpuType run in child processes with the type forced.
#include <gtest/gtest.h>

#include <string>

#include "lapack/ilaenv.h"
#include "service/cpu.h"
#include "service/threads.h"
#include "tests/support/child.h"

namespace ztr {
namespace {

int q(int ispec, const char* name, const char* opts, int n1, int n2, int n3 = -1, int n4 = -1) {
  return ilaenv(ispec, name, opts, n1, n2, n3, n4);
}

TEST(Ilaenv, SmallProblemsAndFixedAnswers) {
  EXPECT_EQ(q(1, "DGETRF", "S", 10, 10), 1);
  EXPECT_EQ(q(1, "DGETRF", "S", 100, 10), 8);
  EXPECT_EQ(q(3, "DGETRF", " ", 10, 10), 32);
  EXPECT_EQ(q(3, "DGETRF", " ", 100, 10), 64);
  EXPECT_EQ(q(6, "DGESVD", " ", 5, 7), 8);
  EXPECT_EQ(q(6, "DGESVD", " ", 7, 5), 8);
  EXPECT_EQ(q(6, "DGESVD", " ", 100, 33), 53);  // 52.8
  EXPECT_EQ(q(20, "DGETRF", " ", 100, 100), -1);
  EXPECT_EQ(q(0, "DGETRF", " ", 100, 100), -1);
  const int small[][2] = {{2, 2}, {5, 2}, {3, 32}, {18, 32}, {4, 6}, {8, 50}, {9, 25}, {7, 1},
                          {10, 1}, {11, 1}, {12, 1}};
  for (const auto& s : small) EXPECT_EQ(q(s[0], "DGEQRF", " ", 3, -1), s[1]) << s[0];
  EXPECT_EQ(q(4, "DHSEQR", " ", 100, 100), 6);
  EXPECT_EQ(q(5, "DHSEQR", " ", 100, 100), 2);
  EXPECT_EQ(q(8, "DHSEQR", " ", 100, 100), 50);
  EXPECT_EQ(q(9, "DLAED0", " ", 0, 0), 25);
  EXPECT_EQ(q(9, "DSTEDC", " ", 1000, 1000), 25);
  EXPECT_EQ(q(10, "DSYEVR", "N", 1, 2, 3, 4), 1);
  EXPECT_EQ(q(11, "DSYEVR", "N", 100, 200), 1);
  EXPECT_EQ(q(19, "DGETRF", " ", 100, 100), detect_cpu_type());
  // The QR-iteration parameters: even shift counts, window at least the shift count.
  for (int nh : {40, 100, 400, 1000, 5000}) {
    const int ns = q(15, "DHSEQR", " ", nh, 1, nh), win = q(13, "DHSEQR", " ", nh, 1, nh);
    EXPECT_EQ(ns % 2, 0);
    EXPECT_GE(win, ns);
  }
}

TEST(Ilaenv, NamesAreDecodedCaseInsensitivelyWithTheirLengths) {
  for (int n : {20, 300, 5000}) {
    EXPECT_EQ(q(1, "dgetrf", "s", 100, n), q(1, "DGETRF", "S", 100, n));
    EXPECT_EQ(q(1, "dGeQrF", " ", n, n, 4), q(1, "DGEQRF", " ", n, n, 4));
    EXPECT_EQ(q(1, "dpotrf", "l", n, 1), q(1, "DPOTRF", "L", n, 1));
  }
  // Only the given lengths count: "DGETRFX" with length 6 is DGETRF, an empty option
  // string is a blank.
  const int ispec = 1, m = 100, n = 300, none = -1;
  EXPECT_EQ(ilaenv(&ispec, "DGETRFX", "SX", &m, &n, &none, &none, 6, 1), q(1, "DGETRF", "S", 100, 300));
  EXPECT_EQ(ilaenv(&ispec, "DGEQRF", "B", &m, &n, &none, &none, 6, 0), q(1, "DGEQRF", " ", 100, 300));
  // A name that is not a LAPACK routine gets unblocked code.
  EXPECT_EQ(q(1, "XGETRF", " ", 1000, 1000), 1);
  EXPECT_EQ(q(2, "XGETRF", " ", 1000, 1000), 2);
}

TEST(Ilaenv, LuRows) {
  // Serial recursion: the power of two below n.
  const int s[][2] = {{11, 8},      {32, 8},      {33, 32},       {128, 32},     {129, 128},
                      {256, 128},   {257, 256},   {1024, 512},    {1025, 1024},  {32768, 16384},
                      {32769, 32768}, {100000, 32768}};
  for (const auto& r : s) EXPECT_EQ(q(1, "DGETRF", "S", 100, r[0]), r[1]) << r[0];
  const int p[][2] = {{11, 8}, {32, 8}, {33, 32}, {128, 32}, {129, 128}, {50000, 128}};
  for (const auto& r : p) EXPECT_EQ(q(1, "DGETRF", "P", 100, r[0]), r[1]) << r[0];
  EXPECT_EQ(q(3, "DGETRF", " ", 5000, 2801, 8), 4000);
  EXPECT_EQ(q(3, "DGETRF", " ", 5000, 2800, 8), 64);
  EXPECT_EQ(q(3, "DGETRF", " ", 5000, 5000, 7), 64);
  EXPECT_EQ(q(3, "DGETRF", "P", 5000, 5000), 64);
  EXPECT_EQ(q(12, "DGETRF", "P", 500, 500), 16);
  EXPECT_EQ(q(2, "DGETRF", " ", 500, 500), 2);
}

// The thread-count rows of the LU depend on the CpuType; the child returns the number of
// rows that differ from the table.
ZTR_CHILD(lu_rows_type7) {
  int bad = 0;
  const int nb[][2] = {{999, 64}, {1000, 112}, {1499, 112}, {1500, 144}, {4000, 144}, {4001, 192}};
  for (int t : {2, 8, 40})
    for (const auto& r : nb) bad += q(1, "DGETRF", " ", 5000, r[0], t) != r[1];
  bad += q(19, "DGETRF", " ", 100, 100) != 7;
  return bad;
}

ZTR_CHILD(lu_rows_type5) {
  int bad = 0;
  const int two_to_four[][2] = {{900, 24}, {901, 64}, {3100, 64}, {3101, 200}};
  const int five_to_eight[][2] = {{700, 16}, {1700, 24}, {2400, 80}, {2800, 128}, {10000, 200}, {10001, 400}};
  const int chunk[][2] = {{900, 4}, {3100, 3}, {3600, 2}, {3601, 3}};
  const int tail[][2] = {{1700, 0}, {1701, 4}, {2800, 4}, {2801, 8}, {10000, 8}, {10001, 16}};
  for (int t : {2, 4}) {
    for (const auto& r : two_to_four) bad += q(1, "DGETRF", " ", 20000, r[0], t) != r[1];
    for (const auto& r : chunk) bad += q(17, "DGETRF", " ", 20000, r[0], t) != r[1];
  }
  for (int t : {5, 8}) {
    for (const auto& r : five_to_eight) bad += q(1, "DGETRF", " ", 20000, r[0], t) != r[1];
    for (const auto& r : tail) bad += q(18, "DGETRF", " ", 20000, r[0], t) != r[1];
  }
  // Every thread-count group answers within the stated ranges.
  for (int t = 1; t <= 64; ++t)
    for (int n = 100; n <= 40000; n += 700) {
      const int b = q(1, "DGETRF", " ", n, n, t), c = q(17, "DGETRF", " ", n, n, t);
      const int l = q(18, "DGETRF", " ", n, n, t);
      bad += b < 16 || b > 480 || c < 1 || c > 4;
      bad += !(l == 0 || l == 4 || l == 8 || l == 16 || l == t || l == 1000000);
    }
  // The tiled Cholesky's chunk query: n up to class 4 only with 9 or more threads.
  bad += q(1, "DPOTRF", "L", 3000, 16, -3) != 3000;
  return bad;
}

ZTR_CHILD(potrf_chunk_type4) {
  return (q(1, "DPOTRF", "U", 3000, 9, -3) != 384) + (q(1, "DPOTRF", "U", 3000, 8, -3) != 3000);
}

TEST(Ilaenv, LuRowsByProcessorClass) {
  auto r = test::run_child("lu_rows_type7", {"ZTR_DEBUG_CPU_TYPE=7"});
  EXPECT_EQ(r.exit_code, 0) << r.out;
  r = test::run_child("lu_rows_type5", {"ZTR_DEBUG_CPU_TYPE=5"});
  EXPECT_EQ(r.exit_code, 0) << r.out;
  r = test::run_child("potrf_chunk_type4", {"ZTR_DEBUG_CPU_TYPE=4"});
  EXPECT_EQ(r.exit_code, 0) << r.out;
}

TEST(Ilaenv, QrRows) {
  EXPECT_EQ(q(1, "DGEQRF", " ", 1000, 1000, 4), 40);
  EXPECT_EQ(q(1, "DGEQRF", " ", 4000, 4000, 2), 160);
  EXPECT_EQ(q(1, "DGEQRF", " ", 10000, 10000, 32), 64);
  EXPECT_EQ(q(1, "DGEQRF", " ", 100, 2000, 4), 32);
  EXPECT_EQ(q(1, "DGEQRF", " ", 20, 20, 1), 8);
  EXPECT_EQ(q(1, "DGEQRF", " ", 5, 40, 2), 5);  // limited to min(m, n)
  EXPECT_EQ(q(1, "DGEQRF", "B", 1000, 1000, 4), 2);
  const int serial[][2] = {{300, 16}, {301, 24}, {350, 24}, {800, 48}, {1150, 64}, {3400, 96}, {3401, 128}};
  for (const auto& r : serial) EXPECT_EQ(q(1, "DGEQRF", " ", 5000, r[0]), r[1]) << r[0];
  const int par[][2] = {{200, 8}, {400, 16}, {550, 32}, {800, 48}, {1350, 64}, {1351, 96}};
  for (const auto& r : par) EXPECT_EQ(q(1, "DGEQRF", "P", 5000, r[0], 0), r[1]) << r[0];
  EXPECT_EQ(q(2, "DGEQRF", " ", 1000, 1000, 4), 2);
  EXPECT_EQ(q(3, "DGEQRF", " ", 150, 49, 2), 199);
  EXPECT_EQ(q(3, "DGEQRF", " ", 150, 50, 2), 0);
  const int x2[][2] = {{200, 128}, {400, 80}, {800, 56}, {2000, 48}, {2001, 40}};
  for (const auto& r : x2) EXPECT_EQ(q(3, "DGEQRF", "2", r[0], 500), r[1]) << r[0];
  EXPECT_EQ(q(3, "DGEQRF", " ", 9000, 8), 128);
  EXPECT_EQ(q(3, "DGEQRF", " ", 125, 100), 128);
  EXPECT_EQ(q(3, "DGEQRF", " ", 126, 100), 8);
  EXPECT_EQ(q(3, "DGEQRF", " ", 4001, 20), 8);
  const int look[][2] = {{400, 24}, {550, 32}, {800, 48}, {1350, 64}, {1900, 96}, {1901, 128}};
  for (const auto& r : look) EXPECT_EQ(q(12, "DGEQRF", "P", 5000, r[0]), r[1]) << r[0];
  EXPECT_EQ(q(12, "DGEQRF", " ", 5000, 5000), 16);
  EXPECT_EQ(q(1, "DLAQRF", " ", 350, 120), 120);
  EXPECT_EQ(q(1, "DLAQRF", " ", 351, 120), 16);
  EXPECT_EQ(q(1, "DLARFT", " ", 1000, 64), 16);
  EXPECT_EQ(q(1, "DLARFT", " ", 1000, 65), 32);
  EXPECT_EQ(q(1, "DLARFT", " ", 15000, 200), 16);
  EXPECT_EQ(q(1, "DORGQR", " ", 64, 1000, 64), 16);
  EXPECT_EQ(q(1, "DORGQR", " ", 500, 500, 500), 32);
  EXPECT_EQ(q(1, "DORGQR", " ", 1000, 1000, 1000), 64);
  EXPECT_EQ(q(1, "DORGQR", " ", 1000, 1500, 1000), 128);
  EXPECT_EQ(q(2, "DORGQR", " ", 1000, 1000, 1000), 2);
  EXPECT_EQ(q(3, "DORGQR", " ", 1000, 1000, 1000), 32);
}

TEST(Ilaenv, CholeskyAndEigenRows) {
  const int one[][2] = {{11, 128}, {128, 128}, {129, 24}, {450, 24}, {700, 32}, {900, 56},
                        {1050, 96}, {1400, 128}, {1800, 192}, {2000, 256}, {3000, 384}, {3001, 512}};
  for (const auto& r : one) EXPECT_EQ(q(1, "DPOTRF", "U", r[0], -1), r[1]) << r[0];
  const int many[][2] = {{199, 24}, {200, 32}, {399, 32}, {749, 40}, {1299, 48}, {1849, 56},
                         {2999, 64}, {6999, 80}, {15999, 96}, {16000, 224}};
  for (const auto& r : many) EXPECT_EQ(q(1, "DPOTRF", "L", r[0], 4), r[1]) << r[0];
  EXPECT_EQ(q(3, "DPOTRF", "L", 1000, -1), 128);
  EXPECT_EQ(q(1, "DSYTRD", "L", 1099, -1), 24);
  EXPECT_EQ(q(1, "DSYTRD", "L", 1100, -1), 32);
  EXPECT_EQ(q(1, "DSYTRD", "U", 1549, 1), 24);
  EXPECT_EQ(q(1, "DSYTRD", "U", 1550, 1), 32);
  EXPECT_EQ(q(1, "DSYTRD", "U", 1699, 2), 12);
  EXPECT_EQ(q(1, "DSYTRD", "L", 1700, 8), 16);
  EXPECT_EQ(q(2, "DSYTRD", "L", 1700, 8), 2);
  EXPECT_EQ(q(3, "DSYTRD", "U", -1, -1, -1, -1), 32);
  EXPECT_EQ(q(3, "DSYTRD", "U", 1000, 2), 500);
  EXPECT_EQ(q(3, "DSYTRD", "U", 1000, 1), 200);
  EXPECT_EQ(q(3, "DSYEV", "N", 2000, 1), 1100);
  EXPECT_EQ(q(3, "DSYEV", "N", 2000, 2), 1197);
  EXPECT_EQ(q(3, "DSYEV", "n", 2000, 4), 1900);
  EXPECT_EQ(q(3, "DSYEV", "V", 2000, 4), 1000000);
  const int kd = q(1, "DSYRDB", " ", 2000, 1);
  EXPECT_GE(kd, 16);
  EXPECT_LE(kd, 256);
}

TEST(TuningFunctions, InversionBlockSize) {
  const int t_low[][2] = {{999, 64}, {1000, 224}, {2000, 224}, {3500, 384}, {7500, 576}, {7501, 672}};
  for (const auto& r : t_low) EXPECT_EQ(getri_block_size(1, "DGETRI", " ", r[0], 4, -1, -1), r[1]);
  const int t16[][2] = {{2500, 64}, {3500, 384}, {7500, 576}, {7501, 672}};
  for (const auto& r : t16) EXPECT_EQ(getri_block_size(1, "DGETRI", " ", r[0], 16, -1, -1), r[1]);
  const int t20[][2] = {{1500, 384}, {3500, 512}, {3501, 896}};
  for (const auto& r : t20) EXPECT_EQ(getri_block_size(1, "DTRTRI", "UN", r[0], 20, -1, -1), r[1]);
  const int t32[][2] = {{999, 64}, {5000, 320}, {8000, 480}, {8001, 640}};
  for (const auto& r : t32) EXPECT_EQ(getri_block_size(1, "dgetri", " ", r[0], 32, -1, -1), r[1]);
  EXPECT_EQ(getri_block_size(2, "DGETRI", " ", 5000, 4, -1, -1), 2);
  EXPECT_EQ(getri_block_size(3, "DGETRI", " ", 5000, 4, -1, -1), domain_max_threads(kDomainAll));
  EXPECT_EQ(getri_block_size(4, "DGETRI", " ", 5000, 4, -1, -1), 1);
  EXPECT_EQ(getri_block_size(5, "DGETRI", " ", 5000, 4, -1, -1), 1);
  EXPECT_EQ(getri_block_size(6, "DGETRI", " ", 5000, 4, -1, -1), detect_cpu_type());
  EXPECT_EQ(getri_block_size(7, "DGETRI", " ", 5000, 4, -1, -1), -1);
  EXPECT_EQ(getri_block_size(1, "QGETRI", " ", 5000, 4, -1, -1), 1);
  EXPECT_EQ(getri_block_size(2, "QGETRI", " ", 5000, 4, -1, -1), 1);
}

TEST(TuningFunctions, SygstBlockSize) {
  EXPECT_EQ(sygst_block_size(2, "DSYGST", "U", 5000, 1, 4), 2);
  EXPECT_EQ(sygst_block_size(1, "DSYGST", "L", 999, 1, 64), 64);
  EXPECT_EQ(sygst_block_size(3, "DSYGST", "L", 5000, 1, 4), -1);
  // Within 128..640, never smaller for a larger problem or more threads.
  for (const char* name : {"DSYGST", "SSYGST", "ZHEGST", "chegst"})
    for (const char* uplo : {"U", "L"})
      for (int itype : {1, 2, 3}) {
        int prev_t = 0;
        for (int t : {1, 11, 12, 15, 16, 31, 32, 39, 40, 100}) {
          int prev_n = 0;
          for (int n : {1000, 1999, 2000, 4000, 8000, 20000}) {
            const int nb = sygst_block_size(1, name, uplo, n, itype, t);
            EXPECT_GE(nb, 128);
            EXPECT_LE(nb, 640);
            EXPECT_GE(nb, prev_n);
            prev_n = nb;
          }
          const int nb = sygst_block_size(1, name, uplo, 5000, itype, t);
          EXPECT_GE(nb, prev_t);
          prev_t = nb;
        }
      }
}

}  // namespace
}  // namespace ztr
