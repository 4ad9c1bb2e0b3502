// Fuzz target for the dense exports: the LU factorization and inverse, the QR factorization and
// Q generation, the pivoted Cholesky factorization, the symmetric and generalized eigensolvers,
// both multiply entries and the dot product, with the thread controls set before each call.
// The input chooses the routine, the layout (also invalid codes), dimensions from -2 up (now
// and then large ones with generated entries, so that the threaded paths run), leading
// dimensions from one below their limit, option letters (also wrong ones), entries with NaN
// and infinity among them, and an allocation to fail.  Arrays are exactly as long as the
// arguments say, so the address sanitizer sees any access beyond them.  Checked: the return
// value is 0, a documented negative code or a positive one within its range; an argument
// error leaves the matrices alone; and, for inputs of finite moderate entries, the results of
// a successful call satisfy their defining identities within rounding.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

#include "include/ztr.h"
#include "tests/reliability/fuzz_lu.h"

namespace {

using namespace ztr::test;

constexpr int kBigShare = 16;          // one input in kBigShare uses large dimensions
constexpr double kFineAbstol = 1e-12;  // scales the eigenvalue tolerance of checked inputs

// The letters of `choices` but its last (always a wrong one) in inputs whose results are
// checked.
char letter(Source& s, const char* choices) {
  const std::size_t count = std::strlen(choices) - (s.finite ? 1 : 0);
  return choices[static_cast<std::size_t>(s.in.next()) % count];
}
bool is(char c, char upper) {
  return c == upper || c == upper - 'A' + 'a';
}

// A failure of divide and conquer names its submatrix, first row i and last row j, as
// i*(n+1) + j (1-based): up to n*(n+1) + n.
int divide_and_conquer_codes(int n) {
  return n > 0 ? n * (n + 2) : 0;
}

// A symmetric matrix C*C' (+ shift*I) with C the n x r matrix the source gives, written in
// full: exact, since the entries are multiples of 1/32 and the sums short.
std::vector<double> gram(Source& s, int lay, int n, int r, double shift, int* lda) {
  int ldc = 1;
  const std::vector<double> c = matrix(s, ZTR_COL_MAJOR, n, r, &ldc);
  std::vector<double> a = storage(s, lay, n, n, lda);
  if (*lda < (n > 1 ? n : 1)) return a;  // refused by the callee
  for (int j = 0; j < n; ++j)
    for (int i = 0; i < n; ++i) {
      double sum = i == j ? shift : 0.0;
      for (int l = 0; l < r && ldc >= n; ++l)
        sum += c[i + static_cast<std::size_t>(l) * ldc] * c[j + static_cast<std::size_t>(l) * ldc];
      (lay == ZTR_ROW_MAJOR ? a[static_cast<std::size_t>(i) * *lda + j]
                            : a[i + static_cast<std::size_t>(j) * *lda]) = sum;
    }
  return a;
}

// The inverse from pivots of any value: out of range they are an argument error.
void fuzz_inverse(Source& s, int lay) {
  const int n = s.dim();
  int lda = 1;
  std::vector<double> a = matrix(s, lay, n, n, &lda);
  const std::vector<double> a0 = a;
  std::vector<int> ipiv(n > 0 ? n : 1);
  bool wild = false;
  for (int i = 0; i < n; ++i) {
    ipiv[i] = s.in.next() % (n + 4) - 2;
    wild = wild || ((ipiv[i] < 1 || ipiv[i] > n) && i + 1 < n);  // ipiv(n) is never used
  }
  fail_an_allocation(s);
  Disarm disarm;
  const int info = LAPACKE_dgetri(lay, n, a.data(), lda, ipiv.data());
  check_call(lay, info, 5, n, a, a0);
  if (wild && info >= 0) fuzz_fail("dgetri: a pivot out of range accepted");
}

void fuzz_driver(Source& s, int which) {
  Bytes& in = s.in;
  const int lay = layout(s);
  const int n = s.dim(), m = which < 2 ? s.dim() : n;  // the others are square
  int lda = 1, ldb = 1;
  const bool pstrf_gram = which == 2 && s.finite && n >= 0;
  std::vector<double> a =
      pstrf_gram ? gram(s, lay, n, in.next() % (n + 1), 0.0, &lda) : matrix(s, lay, m, n, &lda);
  const std::vector<double> a0 = a;
  const View v0{a0.data(), lay, lda}, v{a.data(), lay, lda};
  const int mn = m < n ? m : n;
  const std::size_t len = n > 0 ? static_cast<std::size_t>(n) : 1;
  const bool check = s.finite && n >= 0 && m >= 0;
  fail_an_allocation(s);
  Disarm disarm;
  switch (which) {
    case 0: {
      std::vector<double> tau(mn > 0 ? mn : 1);
      const int info = LAPACKE_dgeqrf(lay, m, n, a.data(), lda, tau.data());
      check_call(lay, info, 5, 0, a, a0);
      if (!check || info != 0 || mn == 0) return;
      std::vector<double> q = a;
      if (LAPACKE_dorgqr(lay, m, mn, mn, q.data(), lda, tau.data()) == 0)
        check_qr(v0, v, {q.data(), lay, lda}, m, n);
      break;
    }
    case 1: {
      const int k = s.dim();
      std::vector<double> tau(k > 0 ? k : 1);
      for (double& t : tau) t = s.value();
      const int info = LAPACKE_dorgqr(lay, m, n, k, a.data(), lda, tau.data());
      check_call(lay, info, 7, 0, a, a0);
      break;
    }
    case 2: {
      std::vector<int> piv(len);
      int rank = -1;
      const char uplo = letter(s, "ULux");
      const double tol = s.value();
      const int info = LAPACKE_dpstrf(lay, uplo, n, a.data(), lda, piv.data(), &rank, tol);
      check_call(lay, info, 8, 1, a, a0);
      if (info >= 0 && n > 0 && (rank < 0 || rank > n)) fuzz_fail("rank out of range");
      if (pstrf_gram && (info == 0 || info == 1))
        check_pivoted_cholesky(v0, v, uplo, n, piv.data(), rank, info, tol);
      break;
    }
    case 3: {
      std::vector<double> w(len);
      const char jobz = letter(s, "NVvx"), uplo = letter(s, "ULl?");
      const int info = LAPACKE_dsyevd(lay, jobz, uplo, n, a.data(), lda, w.data());
      check_call(lay, info, 7, is(jobz, 'V') ? divide_and_conquer_codes(n) : n, a, a0);
      if (check && info == 0)
        check_eigen(symmetric(v0, n, uplo), w.data(), n, is(jobz, 'V') ? &v : nullptr, true,
                    "dsyevd: AV != VW, V'V != I or wrong sum");
      break;
    }
    case 4: {
      std::vector<double> b = check ? gram(s, lay, n, n, n, &ldb) : matrix(s, lay, n, n, &ldb);
      std::vector<double> w(len);
      const std::vector<double> b0 = b;
      const int itype = s.finite ? in.next() % 3 + 1 : in.next() % 5 - 1;
      const char jobz = letter(s, "NVx"), uplo = letter(s, "ULu?");
      const bool qr = in.next() % 2 == 0;
      const int info =
          qr ? LAPACKE_dsygv(lay, itype, jobz, uplo, n, a.data(), lda, b.data(), ldb, w.data())
             : LAPACKE_dsygvd(lay, itype, jobz, uplo, n, a.data(), lda, b.data(), ldb, w.data());
      const int most = qr ? 2 * (n > 0 ? n : 0) : divide_and_conquer_codes(n);
      check_call(lay, info, 10, most, a, a0);
      check_call(lay, info, 10, most, b, b0);
      if (!check || info != 0 || n == 0) return;
      const Mat am = symmetric(v0, n, uplo);
      if (jobz == 'V')
        check_generalized(am, symmetric({b0.data(), lay, ldb}, n, uplo), itype, w.data(), v);
      else
        check_eigen(am, w.data(), n, nullptr, false, "dsygv: eigenvalues");
      break;
    }
    case 5: {
      const char jobz = letter(s, "NVx"), range = letter(s, "AVIx"), uplo = letter(s, "UL?");
      const double vl = s.value(), vu = s.value();
      const int il = s.dim(), iu = s.dim();
      int ldz = 1;
      std::vector<double> z = matrix(s, lay, n, n, &ldz), w(len);
      std::vector<int> isuppz(2 * len);
      int found = -1;
      // A coarse tolerance buys coarse vectors (not even orthogonal); checked results ask for
      // one near the rounding level, on either side of where the accurate mode starts.
      const double abstol = s.finite ? s.value() * kFineAbstol : s.value();
      const int info = LAPACKE_dsyevr(lay, jobz, range, uplo, n, a.data(), lda, vl, vu, il, iu,
                                      abstol, &found, w.data(), z.data(), ldz, isuppz.data());
      // The bisection's own failure codes go up to 4.
      check_call(lay, info, 16, n > 4 ? n : 4, a, a0);
      if (info == 0 && (found < 0 || found > n)) fuzz_fail("eigenvalue count out of range");
      if (!check || info != 0 || n == 0) return;
      if ((range == 'A' && found != n) || (range == 'I' && found != iu - il + 1))
        fuzz_fail("dsyevr: wrong number of eigenvalues");
      const View zv{z.data(), lay, ldz};
      check_eigen(symmetric(v0, n, uplo), w.data(), found, jobz == 'V' ? &zv : nullptr,
                  range == 'A', "dsyevr: AZ != ZW, Z'Z != I or wrong sum", abstol, true);
      break;
    }
  }
}

// The column-major arguments of a product are valid.
bool gemm_valid(char ta, char tb, int m, int n, int k, int lda, int ldb, int ldc) {
  auto letter_ok = [](char t) { return is(t, 'N') || is(t, 'T') || is(t, 'C'); };
  auto one = [](int x) { return x > 1 ? x : 1; };
  return letter_ok(ta) && letter_ok(tb) && m >= 0 && n >= 0 && k >= 0 &&
         lda >= one(is(ta, 'N') ? m : k) && ldb >= one(is(tb, 'N') ? k : n) && ldc >= one(m);
}

// C after a column-major product against its definition: what lies outside the m x n block
// kept; with alpha = 0 or k = 0 exactly beta*C (0 for beta = 0, whatever C held); otherwise,
// where everything that enters is finite, within the rounding of k + 2 operations of the
// long-double reference (with beta = 0, C is not read at all).
void check_gemm(char ta, char tb, int m, int n, int k, double alpha, const double* a, int lda,
                const double* b, int ldb, double beta, const std::vector<double>& c0,
                const std::vector<double>& c, int ldc) {
  for (std::size_t idx = 0; idx < c.size(); ++idx) {
    const int i = static_cast<int>(idx % ldc), j = static_cast<int>(idx / ldc);
    const double old = c0[idx], got = c[idx];
    if (i >= m || j >= n) {
      if (std::memcmp(&old, &got, sizeof got) != 0) fuzz_fail("dgemm wrote outside C");
      continue;
    }
    if (alpha == 0 || k == 0) {
      const double want = beta == 0 ? 0.0 : beta == 1 ? old : beta * old;
      if (!(got == want || (std::isnan(got) && std::isnan(want)))) fuzz_fail("dgemm: C != beta*C");
      continue;
    }
    const RefEntry r = ref_product(ta, a, lda, tb, b, ldb, k, i, j);
    const LD cterm = beta == 0 ? 0 : static_cast<LD>(beta) * old;
    if (!std::isfinite(r.value) || !std::isfinite(r.magnitude) || !std::isfinite(cterm) ||
        !std::isfinite(alpha))
      continue;
    const LD want = alpha * r.value + cterm;
    const LD bound = (k + 2) * kEps * (std::fabs(alpha) * r.magnitude + std::fabs(cterm));
    if (!(std::fabs(got - want) <= bound)) fuzz_fail("dgemm: C != alpha*op(A)*op(B) + beta*C");
  }
}

void fuzz_multiply(Source& s, bool fortran) {
  Bytes& in = s.in;
  const int lay = fortran ? ZTR_COL_MAJOR : layout(s);
  const int codes[] = {CblasNoTrans, CblasTrans, CblasConjTrans, CblasNoTrans, CblasTrans, 110};
  const int choices = s.finite ? 5 : 6, ca = codes[in.next() % choices],
            cb = codes[in.next() % choices];
  auto letter_of = [](int code) {
    return code >= CblasNoTrans && code <= CblasConjTrans ? "NTC"[code - CblasNoTrans] : '?';
  };
  const char ta = fortran ? letter(s, "NnTtCcX") : letter_of(ca);
  const char tb = fortran ? letter(s, "NnTtCc?") : letter_of(cb);
  const int m = s.dim(), n = s.dim(), k = s.dim();
  const bool row = lay == ZTR_ROW_MAJOR;
  // The stored shapes: op(A) is m x k, op(B) k x n; row-major data is stored transposed.
  const bool a_rows_m = is(ta, 'N') != row, b_rows_k = is(tb, 'N') != row;
  int lda = 1, ldb = 1, ldc = 1;
  std::vector<double> a = matrix(s, ZTR_COL_MAJOR, a_rows_m ? m : k, a_rows_m ? k : m, &lda);
  std::vector<double> b = matrix(s, ZTR_COL_MAJOR, b_rows_k ? k : n, b_rows_k ? n : k, &ldb);
  std::vector<double> c = matrix(s, ZTR_COL_MAJOR, row ? n : m, row ? m : n, &ldc);
  const double alpha = s.scalar(), beta = s.scalar();
  // What the scalars say is not read is NaN in checked inputs, so that reading it shows.
  if (s.finite && beta == 0) std::fill(c.begin(), c.end(), kNaN);
  if (s.finite && alpha == 0)
    for (std::vector<double>* x : {&a, &b}) std::fill(x->begin(), x->end(), kNaN);
  const std::vector<double> c0 = c;
  if (fortran)
    DGEMM(&ta, &tb, &m, &n, &k, &alpha, a.data(), &lda, b.data(), &ldb, &beta, c.data(), &ldc);
  else
    cblas_dgemm(static_cast<CBLAS_LAYOUT>(lay), static_cast<CBLAS_TRANSPOSE>(ca),
                static_cast<CBLAS_TRANSPOSE>(cb), m, n, k, alpha, a.data(), lda, b.data(), ldb,
                beta, c.data(), ldc);
  // A row-major product is the column-major one of the transposes.
  const bool valid = (lay == ZTR_ROW_MAJOR || lay == ZTR_COL_MAJOR) &&
                     (row ? gemm_valid(tb, ta, n, m, k, ldb, lda, ldc)
                          : gemm_valid(ta, tb, m, n, k, lda, ldb, ldc));
  if (!valid) {
    if (!same_bits(c, c0)) fuzz_fail("dgemm: a refused call wrote C");
  } else if (row) {
    check_gemm(tb, ta, n, m, k, alpha, b.data(), ldb, a.data(), lda, beta, c0, c, ldc);
  } else {
    check_gemm(ta, tb, m, n, k, alpha, a.data(), lda, b.data(), ldb, beta, c0, c, ldc);
  }
  if (fortran) return;

  const int count = s.dim(), incx = in.next() % 7 - 3, incy = in.next() % 7 - 3;
  auto vector = [&](int inc) {
    std::vector<double> v(count > 0 ? 1 + static_cast<std::size_t>(count - 1) * std::abs(inc) : 1);
    for (double& e : v) e = s.entry();
    return v;
  };
  const std::vector<double> x = vector(incx), y = vector(incy);
  const double dot = cblas_ddot(count, x.data(), incx, y.data(), incy);
  if (!s.finite) return;
  LD want = 0, magnitude = 0;
  for (int i = 0; i < count; ++i) {
    const LD t = static_cast<LD>(x[at(i, count, incx)]) * y[at(i, count, incy)];
    want += t;
    magnitude += std::fabs(t);
  }
  if (!(std::fabs(dot - want) <= (count + 1) * kEps * magnitude)) fuzz_fail("ddot: wrong sum");
}

// The thread controls: 1 or 2 threads, now and then a count that must be ignored, dynamic
// adjustment on or off; the count the library then reports must agree.
void set_threads(Bytes& in) {
  const int t = in.next(), threads = t % 2 + 1, dynamic = (t >> 3) & 1;
  ZTR_Set_Num_Threads(threads);
  if (t & 2) ZTR_Set_Num_Threads(t & 4 ? 0 : -3);
  ZTR_Set_Dynamic(dynamic);
  const int got = ZTR_Get_Max_Threads();
  if (dynamic ? got < 1 || got > threads : got != threads) fuzz_fail("thread count ignored");
}

void fuzz_one(Bytes& in) {
  const int which = in.next() % 10, mode = in.next();
  set_threads(in);
  Source s{in, (mode & 1) != 0, (mode >> 1) % kBigShare == 0, Rng(in.next())};
  if (which == 6 || which == 7) {
    fuzz_multiply(s, which == 7);
  } else if (which == 8) {
    fuzz_lu(s);
  } else if (which == 9) {
    fuzz_inverse(s, layout(s));
  } else {
    fuzz_driver(s, which);
  }
}

}  // namespace

ZTR_FUZZ_ENTRY_POINTS(fuzz_one)
