// Same bits on every run: for a given thread count every threaded export (the nine LAPACKE
// drivers, DGEMM, cblas_dgemm and cblas_ddot) gives results equal bit for bit from one call to the
// next, while a competing busy process takes turns with the library's threads so that the task
// schedulers hand their blocks out in a different order each time.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <functional>

#include "eigen_checks.h"
#include "error_text.h"
#include "include/ztr.h"
#include "qr_checks.h"

namespace ztr {
namespace {

using namespace ztr::test;

constexpr int kRepeats = 12;  // calls compared with the first one

// One export on a fixed input; everything it returns (info, outputs, integers as doubles).
struct Case {
  std::string name;
  std::function<std::vector<double>()> call;
};

template <class Int>
void append(std::vector<double>& out, const std::vector<Int>& v) {
  out.insert(out.end(), v.begin(), v.end());
}

std::vector<Case> cases() {
  std::vector<Case> out;
  // Orders where the task schedulers run with several blocks per thread.
  const int n = 130, m = 180;
  const std::vector<double> general = qr_matrix(m, n, m, 5);
  const std::vector<double> square = qr_matrix(200, 200, 200, 6);
  const std::vector<double> sym = dense_from(diagonal(n, Spectrum::kRandom, 7), n, 7);
  std::vector<double> spd = gram(n, n, 'A', 8);
  for (int i = 0; i < n; ++i) spd[i + i * n] += n;
  const std::vector<double> semidefinite = gram(200, 120, 'A', 9);
  for (int layout : {ZTR_COL_MAJOR, ZTR_ROW_MAJOR}) {
    const std::string in = layout == ZTR_ROW_MAJOR ? " row-major" : " column-major";
    out.push_back({"LAPACKE_dgeqrf" + in, [=] {
                     std::vector<double> a = general, tau(n);
                     const int lda = layout == ZTR_COL_MAJOR ? m : n;
                     a.push_back(LAPACKE_dgeqrf(layout, m, n, a.data(), lda, tau.data()));
                     append(a, tau);
                     const int info = LAPACKE_dorgqr(layout, m, n, n, a.data(), lda, tau.data());
                     a.push_back(info);
                     return a;
                   }});
    out.push_back({"LAPACKE_dgetrf" + in, [=] {
                     std::vector<double> a = square;
                     std::vector<int> ipiv(200);
                     a.push_back(LAPACKE_dgetrf(layout, 200, 200, a.data(), 200, ipiv.data()));
                     a.push_back(LAPACKE_dgetri(layout, 200, a.data(), 200, ipiv.data()));
                     append(a, ipiv);
                     return a;
                   }});
    out.push_back({"LAPACKE_dpstrf" + in, [=] {
                     std::vector<double> a = semidefinite;
                     std::vector<int> piv(200);
                     int rank = 0;
                     a.push_back(
                         LAPACKE_dpstrf(layout, 'L', 200, a.data(), 200, piv.data(), &rank, -1.0));
                     a.push_back(rank);
                     append(a, piv);
                     return a;
                   }});
    out.push_back({"LAPACKE_dsyevd" + in, [=] {
                     std::vector<double> a = sym, w(n);
                     a.push_back(LAPACKE_dsyevd(layout, 'V', 'U', n, a.data(), n, w.data()));
                     append(a, w);
                     return a;
                   }});
    out.push_back({"LAPACKE_dsyevr" + in, [=] {
                     std::vector<double> a = sym, w(n), z(static_cast<std::size_t>(n) * n);
                     std::vector<int> isuppz(2 * n);
                     int found = 0;
                     const int info =
                         LAPACKE_dsyevr(layout, 'V', 'A', 'L', n, a.data(), n, 0, 0, 0, 0, 0.0,
                                        &found, w.data(), z.data(), n, isuppz.data());
                     z.push_back(info);
                     z.push_back(found);
                     append(z, w);
                     append(z, isuppz);
                     return z;
                   }});
    for (int itype : {1, 2})
      for (const auto& driver : {std::pair{"LAPACKE_dsygv", &LAPACKE_dsygv},
                                 std::pair{"LAPACKE_dsygvd", &LAPACKE_dsygvd}}) {
        const auto f = driver.second;
        out.push_back({driver.first + in + " itype " + std::to_string(itype), [=] {
                         std::vector<double> a = sym, b = spd, w(n);
                         a.push_back(
                             f(layout, itype, 'V', 'U', n, a.data(), n, b.data(), n, w.data()));
                         append(a, b);
                         append(a, w);
                         return a;
                       }});
      }
  }
  // An LU large enough for its scheduler to group blocks (and to leave a narrow last one).
  const std::vector<double> large = qr_matrix(530, 530, 530, 13);
  out.push_back({"LAPACKE_dgetrf 530", [=] {
                   std::vector<double> a = large;
                   std::vector<int> ipiv(530);
                   a.push_back(LAPACKE_dgetrf(ZTR_COL_MAJOR, 530, 530, a.data(), 530, ipiv.data()));
                   append(a, ipiv);
                   return a;
                 }});
  for (int dim : {130, 400}) {
    const std::vector<double> x = random_matrix(dim, dim, dim, 10),
                              y = random_matrix(dim, dim, dim, 11);
    out.push_back({"DGEMM " + std::to_string(dim), [=] {
                     std::vector<double> c = random_matrix(dim, dim, dim, 12);
                     const double alpha = 0.7, beta = -1.3;
                     DGEMM("N", "T", &dim, &dim, &dim, &alpha, x.data(), &dim, y.data(), &dim,
                           &beta, c.data(), &dim);
                     return c;
                   }});
    out.push_back({"cblas_dgemm " + std::to_string(dim), [=] {
                     std::vector<double> c(static_cast<std::size_t>(dim) * dim, 0.0);
                     cblas_dgemm(CblasRowMajor, CblasTrans, CblasNoTrans, dim, dim, dim, 1.0,
                                 x.data(), dim, y.data(), dim, 0.0, c.data(), dim);
                     return c;
                   }});
  }
  const std::vector<double> u = random_matrix(1 << 20, 1, 1 << 20, 14);
  out.push_back({"cblas_ddot", [=] {
                   return std::vector<double>{
                       cblas_ddot((1 << 20) - 1, u.data(), 1, u.data() + 1, 1)};
                 }});
  return out;
}

// A process that spins on a core until it is killed.
pid_t start_spinner() {
  const pid_t pid = fork();
  if (pid == 0) {
    // Dies with the test process, whatever way that ends.
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (getppid() == 1) _exit(0);
    volatile unsigned long spin = 0;
    for (;;) spin = spin + 1;
  }
  return pid;
}

ZTR_CHILD(same_bits_under_load) {
  // The spinner starts before the library makes its threads (a fork copies only the caller).
  const pid_t spinner = start_spinner();
  if (spinner < 0) return 100;
  int differing = 0;
  for (const Case& c : cases()) {
    const std::vector<double> first = c.call();
    for (int r = 0; r < kRepeats; ++r) {
      const std::vector<double> again = c.call();
      if (again.size() != first.size() ||
          std::memcmp(again.data(), first.data(), first.size() * sizeof(double)) != 0) {
        std::printf("%s: call %d differs from the first\n", c.name.c_str(), r + 2);
        ++differing;
        break;
      }
    }
  }
  kill(spinner, SIGKILL);
  waitpid(spinner, nullptr, 0);
  return differing;
}

TEST(SameBits, EveryThreadedExportRepeatsItsResultUnderLoad) {
  // Three threads (more than the spinner leaves free on a small machine) also make the
  // library's threads wait for each other; the reproducibility branch keeps the property.
  test::expect_children(
      {{"same_bits_under_load", {"ZTR_NUM_THREADS=2", "ZTR_DYNAMIC=FALSE"}},
       {"same_bits_under_load", {"ZTR_NUM_THREADS=3", "ZTR_DYNAMIC=FALSE", "ZTR_CBWR=AVX2"}}});
}

}  // namespace
}  // namespace ztr
