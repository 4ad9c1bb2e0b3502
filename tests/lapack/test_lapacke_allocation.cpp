// Every allocation failure of the LAPACKE exports of the QR, pivoted Cholesky and eigenvalue
// drivers, in both layouts: the k-th allocation of a call fails, for every k the call makes;
// the export returns -1010 (workspace) or -1011 (copy) with its message, leaves its input as
// it was, and keeps no block; the call without a failure gives the result.
#include <gtest/gtest.h>

#include <sys/mman.h>

#include <climits>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <memory>

#include "eigen_checks.h"
#include "error_text.h"
#include "include/ztr.h"
#include "lapack/getri/getri.h"
#include "lapack/householder/householder.h"
#include "lapack/lapacke/lapacke_frame.h"
#include "lapack/syevd/syevd.h"
#include "lapack/syevr/syevr.h"
#include "lapack/sygv/sygv.h"
#include "qr_checks.h"
#include "testalloc.h"
#include "tests/reliability/sweep.h"

namespace ztr {
namespace {

using namespace ztr::test;

// One call on `data` (a fresh copy of the input); outputs other than data go to `result`.
using Export = std::function<int(double* data, std::vector<double>& result)>;

// A correct result is the one the first call (made without failures) gave, to rounding and
// up to signs (eigenvectors may come back negated on a fallback path).
SweepCase export_case(std::string name, std::vector<double> input, Export call) {
  auto reference = std::make_shared<std::vector<double>>();
  return {name, [=]() -> Verdict {
            std::vector<double> data = input, result;
            const int info = call(data.data(), result);
            const std::string export_name = name.substr(0, name.find(' '));
            if (info == -1010 || info == -1011) {
              if (data != input) return test::wrong("a failed call changed its input");
              return test::documented_failure(
                  info == -1010
                      ? "Not enough memory to allocate work array in " + export_name
                      : "Not enough memory to transpose matrix in " + export_name + "_work");
            }
            if (info < 0) return test::wrong("code " + std::to_string(info));
            result.insert(result.end(), data.begin(), data.end());
            if (reference->empty()) *reference = result;
            double diff = 0, big = 0;
            for (std::size_t i = 0; i < result.size(); ++i) {
              diff = std::max(diff, std::fabs(std::fabs(result[i]) - std::fabs((*reference)[i])));
              big = std::max(big, std::fabs((*reference)[i]));
            }
            return diff <= 1e-9 * big ? test::correct() : test::wrong("a different result");
          }};
}

std::vector<SweepCase> cases() {
  std::vector<SweepCase> out;
  const int n = 30;
  const std::vector<double> general = test::qr_matrix(n, n, n, 3);
  const std::vector<double> symmetric =
      test::dense_from(test::diagonal(n, test::Spectrum::kRandom, 4), n, 4);
  const std::vector<double> gram = test::gram(n, 10, 'A', 3);  // rank 10, for pivoting
  std::vector<double> pair = symmetric;                        // A and B of the generalized problem
  for (int j = 0; j < n; ++j)
    for (int i = 0; i < n; ++i) pair.push_back(gram[i + j * n] + (i == j ? n : 0.0));
  for (int layout : {ZTR_ROW_MAJOR, ZTR_COL_MAJOR}) {
    const char* in = layout == ZTR_ROW_MAJOR ? " row-major" : " column-major";
    auto add = [&](const char* name, const std::vector<double>& input, Export call) {
      out.push_back(export_case(name + std::string(in), input, std::move(call)));
    };
    add("LAPACKE_dgeqrf", general, [=](double* a, std::vector<double>& r) {
      r.resize(n);
      return LAPACKE_dgeqrf(layout, n, n, a, n, r.data());
    });
    std::vector<double> tau(n, 0.5);
    add("LAPACKE_dorgqr", general, [=](double* a, std::vector<double>&) {
      return LAPACKE_dorgqr(layout, n, n, n, a, n, tau.data());
    });
    add("LAPACKE_dpstrf", gram, [=](double* a, std::vector<double>& r) {
      std::vector<int> piv(n);
      int rank = 0;
      const int info = LAPACKE_dpstrf(layout, 'U', n, a, n, piv.data(), &rank, -1.0);
      r.assign(piv.begin(), piv.end());
      r.push_back(rank);
      return info;
    });
    add("LAPACKE_dsyevd", symmetric, [=](double* a, std::vector<double>& r) {
      r.resize(n);
      return LAPACKE_dsyevd(layout, 'V', 'L', n, a, n, r.data());
    });
    add("LAPACKE_dsyevr", symmetric, [=](double* a, std::vector<double>& r) {
      r.assign(static_cast<std::size_t>(n) * (n + 1), 0.0);
      std::vector<int> isuppz(2 * n);
      int m = 0;
      return LAPACKE_dsyevr(layout, 'V', 'I', 'U', n, a, n, 0, 0, 2, n, 0.0, &m, r.data(),
                            r.data() + n, n, isuppz.data());
    });
    for (auto [name, f] :
         {std::pair{"LAPACKE_dsygv", &LAPACKE_dsygv}, std::pair{"LAPACKE_dsygvd", &LAPACKE_dsygvd}})
      add(name, pair, [=](double* ab, std::vector<double>& r) {
        r.resize(n);
        return f(layout, 3, 'V', 'U', n, ab, n, ab + n * n, n, r.data());
      });
  }
  return out;
}

ZTR_CHILD(lapacke_allocation_sweep) {
  return test::sweep_allocations(cases(), false, std::atoi(std::getenv("ZTR_NUM_THREADS")));
}

TEST(LapackeAllocation, EveryFailureIsReportedWithoutLeaksOrChanges) {
  for (const char* threads : {"ZTR_NUM_THREADS=1", "ZTR_NUM_THREADS=2"}) {
    const auto r = test::run_child("lapacke_allocation_sweep",
                                   {threads, "ZTR_DYNAMIC=FALSE", "ZTR_DISABLE_FAST_MM=1"});
    EXPECT_EQ(r.exit_code, 0) << threads << "\n" << r.out;
  }
}

// Workspace sizes beyond the int range.  The drivers' queries answer the true size (their
// products in 64 bits; wrapped, they came back negative and a short lwork passed the
// check), and a run with the largest int lwork is told it is short.  The LAPACKE frame turns
// an answer that no int length or no address space holds into the workspace failure -1010
// with its message, and never calls the driver with a wrapped length.
TEST(LapackeAllocation, WorkspaceBeyondTheIntRangeIsAMemoryFailure) {
  const int query = -1, big = INT_MAX, one = 1, three = 3;
  double w = 0;
  int iw = 0, info = 0;
  // n = 2^15 and 40000 with vectors: 1 + 6n + 2n^2 doubles (2n^2 alone is 2^31 at 2^15).
  for (int n : {32768, 40000}) {
    const double need = 1 + 6.0 * n + 2.0 * n * n;
    dsyevd("V", "U", &n, nullptr, &n, nullptr, &w, &query, &iw, &query, &info);
    EXPECT_EQ(info, 0);
    EXPECT_EQ(w, need) << n;
    EXPECT_EQ(iw, 3 + 5 * n);
    dsygvd(&one, "V", "L", &n, nullptr, &n, nullptr, &n, nullptr, &w, &query, &iw, &query, &info);
    EXPECT_EQ(info, 0);
    EXPECT_EQ(w, need) << n;
    EXPECT_EQ(test::captured([&] {
                int liw = 3 + 5 * n;
                dsyevd("V", "U", &n, nullptr, &n, nullptr, &w, &big, &iw, &liw, &info);
                EXPECT_EQ(info, -8);
                dsygvd(&three, "V", "U", &n, nullptr, &n, nullptr, &n, nullptr, &w, &big, &iw, &liw,
                       &info);
                EXPECT_EQ(info, -11);
              }),
              test::xerbla_text("DSYEVD", 8) + test::xerbla_text("DSYGVD", 11));
  }
  // QR of 16 x 2^28 on one thread: (1 + n) * nb with nb = 8 passes 2^31.
  {
    const int threads = ZTR_Get_Max_Threads();
    ZTR_Set_Num_Threads(1);
    const int m = 16, n = 1 << 28;
    dgeqrf(&m, &n, nullptr, &m, nullptr, &w, &query, &info);
    ZTR_Set_Num_Threads(threads);
    EXPECT_EQ(info, 0);
    EXPECT_EQ(w, (1.0 + n) * 8);
  }
  // The other queries: a size past the int range stays a large positive number.
  for (int n : {100000000, INT_MAX / 4}) {
    const int m = n;
    dorgqr(&m, &n, &n, nullptr, &m, nullptr, &w, &query, &info);
    EXPECT_GT(w, static_cast<double>(n)) << n;
    dgetri(&n, nullptr, &n, nullptr, &w, &query, &info);
    EXPECT_GT(w, static_cast<double>(n)) << n;
    int found = 0, il = 1;
    double vl = 0, vu = 1, tol = 0;
    dsyevr("V", "A", "U", &n, nullptr, &n, &vl, &vu, &il, &il, &tol, &found, nullptr, nullptr, &n,
           nullptr, &w, &query, &iw, &query, &info);
    EXPECT_EQ(info, 0);
    EXPECT_GE(w, 26.0 * n) << n;
    EXPECT_GT(iw, 0);
    dsygv(&one, "V", "U", &n, nullptr, &n, nullptr, &n, nullptr, &w, &query, &info);
    EXPECT_EQ(info, 0);
    EXPECT_GE(w, 3.0 * n - 1) << n;
  }
  // The frame: the driver is asked for its sizes and never called with them.
  const bool narrow = sizeof(std::size_t) < 8;
  struct Answer {
    double lwork;
    int liwork;
  };
  std::vector<Answer> answers = {
      {2147483648.0, 1}, {1e300, 1}, {kNaN, 1}, {std::numeric_limits<double>::infinity(), 1}};
  if (narrow) answers.insert(answers.end(), {{536870912.0, 1}, {INT_MAX, 1}, {8, INT_MAX}});
  for (const Answer& a : answers) {
    for (bool has_iwork : {false, true}) {
      if (!has_iwork && a.liwork != 1) continue;
      int calls = 0;
      EXPECT_EQ(test::captured([&] {
                  const int r = lapacke_with_workspace(
                      "LAPACKE_dtest", has_iwork, [&](double* work, int lw, int* iwork, int liw) {
                        ++calls;
                        if (lw != -1) return 0;
                        work[0] = a.lwork;
                        if (iwork != nullptr && liw == -1) iwork[0] = a.liwork;
                        return 0;
                      });
                  EXPECT_EQ(r, -1010);
                }),
                "Not enough memory to allocate work array in LAPACKE_dtest\n")
          << a.lwork << " " << a.liwork;
      EXPECT_EQ(calls, 1);
    }
  }
  // An answer in range still gets its array.
  int got = 0;
  EXPECT_EQ(lapacke_with_workspace("LAPACKE_dtest", true,
                                   [&](double* work, int lw, int* iwork, int liw) {
                                     if (lw == -1) return work[0] = 1000.7, iwork[0] = 5, 0;
                                     got = lw + liw;
                                     work[lw - 1] = 1.0;
                                     iwork[liw - 1] = 1;
                                     return 0;
                                   }),
            0);
  EXPECT_EQ(got, 1005);
}

// End to end on a 64-bit system: LAPACKE_dsyevd with vectors at n = 2^15 needs
// 2^31 + 6n + 1 doubles of work, one int length too many.  The matrix (8 GB of zeros) is
// only reserved; the NaN scan reads it through the zero page.
TEST(LapackeAllocation, ExportWithAnOverflowingWorkspaceReportsAMemoryFailure) {
  if (sizeof(void*) < 8) GTEST_SKIP() << "no room for the matrix";
  const int n = 32768;
  const std::size_t bytes = sizeof(double) * n * static_cast<std::size_t>(n);
  void* p = mmap(nullptr, bytes, PROT_READ | PROT_WRITE,
                 MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
  if (p == MAP_FAILED) GTEST_SKIP() << "cannot reserve the address space";
  std::vector<double> w(n, 7.0);
  const long live = ztr_testalloc_live();
  EXPECT_EQ(test::captured([&] {
              EXPECT_EQ(
                  LAPACKE_dsyevd(ZTR_COL_MAJOR, 'V', 'U', n, static_cast<double*>(p), n, w.data()),
                  -1010);
            }),
            "Not enough memory to allocate work array in LAPACKE_dsyevd\n");
  EXPECT_EQ(ztr_testalloc_live(), live);
  EXPECT_EQ(w, std::vector<double>(n, 7.0));
  munmap(p, bytes);
}

// The factorizations and multiplies inside the generalized driver on two threads (tiled
// Cholesky, threaded reduction): with the buffer pool off any block a call keeps is a leak.
ZTR_CHILD(lapacke_sygv_leaks) {
  const int n = 160;
  const std::vector<double> a =
      test::dense_from(test::diagonal(n, test::Spectrum::kRandom, 5), n, 5);
  std::vector<double> b(static_cast<std::size_t>(n) * n), w(n);
  const long live = ztr_testalloc_live();
  for (int layout : {ZTR_ROW_MAJOR, ZTR_COL_MAJOR})
    for (auto f : {&LAPACKE_dsygv, &LAPACKE_dsygvd}) {
      std::vector<double> x = a;
      for (int j = 0; j < n; ++j)
        for (int i = 0; i < n; ++i) b[i + j * n] = (i == j ? 2.0 : 0.0) + 1.0 / (1 + i + j);
      if (f(layout, 3, 'V', 'U', n, x.data(), n, b.data(), n, w.data()) != 0) return 1;
    }
  return ztr_testalloc_live() == live ? 0 : 3;
}

TEST(LapackeAllocation, GeneralizedDriverOnTwoThreadsKeepsNothing) {
  const auto r = test::run_child(
      "lapacke_sygv_leaks", {"ZTR_NUM_THREADS=2", "ZTR_DYNAMIC=FALSE", "ZTR_DISABLE_FAST_MM=1"});
  EXPECT_EQ(r.exit_code, 0) << r.out;
}

}  // namespace
}  // namespace ztr
