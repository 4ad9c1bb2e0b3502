// Every allocation failure of the LAPACKE exports of the QR, pivoted Cholesky and eigenvalue
// drivers, in both layouts: the k-th allocation of a call fails, for every k the call makes;
// the export returns -1010 (workspace) or -1011 (copy) with its message, leaves its input as
// it was, and keeps no block; the call without a failure gives the result.
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>

#include "eigen_checks.h"
#include "include/ztr.h"
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
  return {
      name, [=]() -> Verdict {
        std::vector<double> data = input, result;
        const int info = call(data.data(), result);
        const std::string export_name = name.substr(0, name.find(' '));
        if (info == -1010 || info == -1011) {
          if (data != input) return test::wrong("a failed call changed its input");
          return test::documented_failure(
              info == -1010 ? "Not enough memory to allocate work array in " + export_name
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
