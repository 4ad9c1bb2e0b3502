#include "tests/reliability/workload.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <cstring>

#include "include/ztr.h"
#include "tests/lapack/lu_matrices.h"

namespace ztr::test {
namespace {

constexpr int kGemm = 160;  // above the small route's limit of 100 in every dimension
constexpr int kLu = 200;    // wide enough for the LU's scheduler on two threads
constexpr int kDot = 6000;  // above the serial limit of 2500
constexpr int kCsrRows = 500;

// A symmetric matrix with a dominant diagonal and a few off-diagonal entries per row, as its
// lower triangle in zero-based CSR form.
void symmetric_csr(std::uint64_t seed, std::vector<int>* ia, std::vector<int>* ja,
                   std::vector<double>* a) {
  Rng r(static_cast<Rng::result_type>(seed));
  ia->assign(1, 0);
  for (int row = 0; row < kCsrRows; ++row) {
    for (int c = 0; c < row; c += 1 + below(r, 60)) {
      ja->push_back(c);
      a->push_back(uniform(r));
    }
    ja->push_back(row);
    a->push_back(8.0 + uniform(r));
    ia->push_back(static_cast<int>(ja->size()));
  }
}

// A copy of v at a 64-byte boundary, inside `store`.
const double* aligned_copy(const std::vector<double>& v, std::vector<double>* store) {
  store->assign(v.size() + 8, 0.0);
  double* p = store->data() + (64 - reinterpret_cast<std::uintptr_t>(store->data()) % 64) % 64 / 8;
  std::copy(v.begin(), v.end(), p);
  return p;
}

template <typename T>
bool same_bits(const std::vector<T>& a, const std::vector<T>& b) {
  return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(T)) == 0;
}

}  // namespace

ExportResults run_exports(std::uint64_t seed) {
  ExportResults r;
  const int n = kGemm;
  const std::vector<double> a = random_matrix(n, n, n, seed * 8 + 1);
  const std::vector<double> b = random_matrix(n, n, n, seed * 8 + 2);
  r.gemm = random_matrix(n, n, n, seed * 8 + 3);
  const double alpha = 1.5, beta = -0.5;
  DGEMM("N", "T", &n, &n, &n, &alpha, a.data(), &n, b.data(), &n, &beta, r.gemm.data(), &n);
  r.cblas_gemm.assign(static_cast<std::size_t>(n) * n, 0.0);
  cblas_dgemm(ZTR_ROW_MAJOR, ZTR_TRANS, ZTR_TRANS, n, n, n, 1.0, a.data(), n, b.data(), n, 0.0,
              r.cblas_gemm.data(), n);

  const int m = kLu;
  r.lu_col = random_matrix(m, m, m, seed * 8 + 4);
  r.lu_row = r.lu_col;  // the transpose, read as row-major data
  r.ipiv_col.resize(m);
  r.ipiv_row.resize(m);
  r.codes.push_back(LAPACKE_dgetrf(ZTR_COL_MAJOR, m, m, r.lu_col.data(), m, r.ipiv_col.data()));
  r.codes.push_back(LAPACKE_dgetrf(ZTR_ROW_MAJOR, m, m, r.lu_row.data(), m, r.ipiv_row.data()));
  r.inv_col = r.lu_col;
  r.inv_row = r.lu_row;
  r.codes.push_back(LAPACKE_dgetri(ZTR_COL_MAJOR, m, r.inv_col.data(), m, r.ipiv_col.data()));
  r.codes.push_back(LAPACKE_dgetri(ZTR_ROW_MAJOR, m, r.inv_row.data(), m, r.ipiv_row.data()));

  // The dot product's bits depend on the vectors' alignment too: give it one.
  std::vector<double> xs, ys;
  const double* x = aligned_copy(random_matrix(kDot, 1, kDot, seed * 8 + 5), &xs);
  const double* y = aligned_copy(random_matrix(kDot, 1, kDot, seed * 8 + 6), &ys);
  r.dot = cblas_ddot(kDot, x, 1, y, 1);

  std::vector<int> ia, ja;
  std::vector<double> v;
  symmetric_csr(seed * 8 + 7, &ia, &ja, &v);
  r.symv.assign(kCsrRows, 0.0);
  const int rows = kCsrRows;
  ztr_cspblas_dcsrsymv("L", &rows, v.data(), ia.data(), ja.data(), x, r.symv.data());
  return r;
}

double inverse_residual(int n, const double* a, std::size_t ars, std::size_t acs, const double* x,
                        std::size_t xrs, std::size_t xcs) {
  double worst = 0, na = 0, nx = 0;
  for (int j = 0; j < n; ++j) {
    double col = 0, ca = 0, cx = 0;
    for (int i = 0; i < n; ++i) {
      double s = i == j ? -1.0 : 0.0;
      for (int p = 0; p < n; ++p) s += a[i * ars + p * acs] * x[p * xrs + j * xcs];
      col += std::fabs(s);
      ca += std::fabs(a[i * ars + j * acs]);
      cx += std::fabs(x[i * xrs + j * xcs]);
    }
    worst = std::max(worst, col);
    na = std::max(na, ca);
    nx = std::max(nx, cx);
  }
  return worst / (na * nx * n * std::numeric_limits<double>::epsilon());
}

std::string bit_difference(const ExportResults& a, const ExportResults& b) {
  if (!same_bits(a.gemm, b.gemm)) return "DGEMM";
  if (!same_bits(a.cblas_gemm, b.cblas_gemm)) return "cblas_dgemm";
  if (a.codes != b.codes) return "LAPACKE return codes";
  if (!same_bits(a.lu_col, b.lu_col) || a.ipiv_col != b.ipiv_col) return "LAPACKE_dgetrf col";
  if (!same_bits(a.lu_row, b.lu_row) || a.ipiv_row != b.ipiv_row) return "LAPACKE_dgetrf row";
  if (!same_bits(a.inv_col, b.inv_col)) return "LAPACKE_dgetri col";
  if (!same_bits(a.inv_row, b.inv_row)) return "LAPACKE_dgetri row";
  if (std::memcmp(&a.dot, &b.dot, sizeof a.dot) != 0) return "cblas_ddot";
  if (!same_bits(a.symv, b.symv)) return "ztr_cspblas_dcsrsymv";
  return "";
}

}  // namespace ztr::test
