// Fuzz target for the sparse solver.  Half the inputs are hostile: a short sequence of phases
// on one handle over a CSR matrix that may break every rule the checks look at (row starts
// not at the base or decreasing, columns out of range, unsorted or repeated, diagonals
// missing), with the matrix checker on or off, either index base and precision, any matrix
// type (also unknown ones), a user permutation or wanted components, several right-hand
// sides, one or two threads and an allocation made to fail.  Arrays are exactly as long as
// the arguments say (values sized for the type and precision), so the address sanitizer sees
// any access beyond them.  Checked: only the documented codes (0 to -12); b left alone unless
// iparm[5] asks for the solution there; and after the closing release, no block of the
// library's left behind.
//
// The other half are valid systems whose answers are known to be good: real matrices, strictly
// diagonally dominant by rows and by columns with a margin of at least 1 (times a power-of-two
// scale).  Such a matrix is nonsingular, the norm of its inverse is at most 1/margin, it
// factors stably without interchanges and without a pivot below the margin, and when
// symmetric it has as many positive eigenvalues as positive diagonal entries.  Each phase
// sequence of the caller's (analysis, factorizations of several values under several matrix
// numbers, solves whole or step by step, releases) must then give the documented code
// (anything but 0 only when an allocation was made to fail), and every successful solve a
// backward error of a few units of roundoff, for every setting varied: transposed solves,
// right-hand sides, solution into b, index base, given or returned permutations, wanted
// components, refinement, threads, precision.  Also checked: the inertia, no perturbed pivot,
// the number of refinement steps and the permutation handed back.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <vector>

#include "include/ztr.h"
#include "testalloc.h"
#include "tests/reliability/fuzz_support.h"

namespace {

using ztr::test::Bytes;
using ztr::test::fuzz_fail;

constexpr int kTypes[] = {1, 2, -2, 11, 3, 4, -4, 6, 13, 0, 7};
constexpr int kValidTypes[] = {1, 2, -2, 11};
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

// A hostile system (the settings are drawn by fuzz()): a matrix of any type and form, a user
// permutation of any values, a few phases of any number, an allocation made to fail.
void hostile_sequence(Bytes& in, Call& c) {
  c.mnum = in.next() % 3;
  c.nrhs = in.next() % 4 - (in.next() % 8 == 0 ? 1 : 0);
  if (in.next() % 8 == 0) c.iparm[59] = in.next() % 3;
  const bool complex =
      std::abs(c.mtype) == 3 || std::abs(c.mtype) == 4 || c.mtype == 6 || c.mtype == 13;
  const std::size_t elem = (complex ? 2 : 1) * (c.iparm[27] == 1 ? 4 : 8);
  // The matrix: rows of up to four entries; the row starts, columns and values as the input
  // says, the arrays as long as the last row start claims.
  const int n = c.n > 0 ? c.n : 0, base = c.iparm[34] != 0 ? 0 : 1;
  c.ia.assign(static_cast<std::size_t>(n) + 1, base);
  for (int r = 0; r < n; ++r) c.ia[r + 1] = c.ia[r] + in.next() % 5;
  if (n > 0 && in.next() % 16 == 0) c.ia[in.next() % (n + 1)] += in.next() % 5 - 2;
  const long claimed = static_cast<long>(c.ia[n]) - base;
  const std::size_t nnz = claimed > 0 ? static_cast<std::size_t>(claimed) : 1;
  c.ja.resize(nnz);
  for (std::size_t k = 0; k < nnz; ++k) c.ja[k] = base + in.next() % (n + 2) - 1;
  if (in.next() % 2 == 0)  // mostly well-formed: each row sorted, from its diagonal on
    for (int r = 0; r < n; ++r)
      for (int k = c.ia[r] - base, j = r; k >= 0 && k < c.ia[r + 1] - base && k < long(nnz);
           ++k, ++j)
        c.ja[k] = base + j % n;
  c.a.resize(nnz * elem);
  for (std::size_t e = 0; e < nnz * elem / sizeof(float); ++e) {
    const float v = static_cast<float>(in.value());
    std::memcpy(&c.a[e * sizeof(float)], &v, sizeof v);
  }
  const std::size_t rows = n > 0 ? static_cast<std::size_t>(n) : 1;
  c.perm.resize(rows);
  for (int& p : c.perm) p = in.next() % (static_cast<int>(rows) + 2);
  const std::size_t rhs = rows * static_cast<std::size_t>(c.nrhs > 0 ? c.nrhs : 1) * elem;
  c.b.resize(rhs);
  c.x.resize(rhs);
  for (unsigned char& v : c.b) v = static_cast<unsigned char>(in.next() % 64);
  ztr_testalloc_fail_nth(in.next() % 48, 0);
  const int phases = 1 + in.next() % 4;
  const bool into_b = c.iparm[0] == 1 && c.iparm[5] == 1;
  for (int k = 0; k < phases; ++k) {
    const std::vector<unsigned char> b0 = c.b;
    const int error = c.run(pick(in, kPhases));
    if (error > 0 || error < -12) fuzz_fail("an undocumented error code");
    if (!into_b && c.b != b0) fuzz_fail("b changed without iparm[5] = 1");
  }
}

// ---- Valid systems ----

constexpr int kErrFactor = -4;
// Backward error allowed, in units of n times the working precision (a stable solve of a
// diagonally dominant system stays far below).
constexpr double kBackwardLimit = 30;

double finite_value(Bytes& in) {
  const double v = in.value();
  return std::isfinite(v) ? v : 1.0;
}

// The pattern of a valid system: the dominant matrix's, with its rows moved by `rows` (type
// 11, for the matching to undo), and for type -2 pairs of rows whose dominant entry is not on
// the diagonal but between them (the 2x2 pivots the symmetric matching is to find).
struct Shape {
  int n = 0, mtype = 0;
  std::vector<unsigned char> on;   // n x n, of the matrix before its rows are moved
  std::vector<int> rows, partner;  // partner: the other row of a pair, or -1
};

// One set of values on the system's pattern, kept dense (n is below 80).
struct Values {
  std::vector<double> a;  // row-major n x n, exact in either precision
  double margin = 0;      // a lower bound of 1 / ||inverse||, in the infinity norm
  double norm = 0;        // the larger of the two infinity norms of A and A'
  int positive = 0;       // eigenvalues above zero (symmetric types)
};

// Off the dominant entries, values from the input; the dominant entry of row i is larger than
// the rest of row and column i by a margin of 1 to 4 (for pairs, larger than the most any row
// holds besides, so that the pairs' 2x2 blocks stay the matrix's inertia).
Values make_values(Bytes& in, const Shape& sh) {
  const int n = sh.n;
  Values v;
  std::vector<double> d(static_cast<std::size_t>(n) * n, 0.0);
  const bool symmetric = sh.mtype == 2 || sh.mtype == -2;
  for (int i = 0; i < n; ++i)
    for (int j = symmetric ? i + 1 : 0; j < n; ++j)
      if (j != i && j != sh.partner[i] && sh.on[i * n + j]) {
        d[i * n + j] = finite_value(in);
        if (symmetric) d[j * n + i] = d[i * n + j];
      }
  std::vector<double> row, col;
  auto sums = [&](const std::vector<double>& x) {  // of the magnitudes, by rows and by columns
    row.assign(n, 0.0);
    col.assign(n, 0.0);
    for (int i = 0; i < n * n; ++i) row[i / n] += std::abs(x[i]), col[i % n] += std::abs(x[i]);
  };
  sums(d);
  const bool pairs = std::count(sh.partner.begin(), sh.partner.end(), -1) < n;
  const double most = pairs ? *std::max_element(row.begin(), row.end()) : 0;
  const double scale = std::ldexp(1.0, in.next() % 41 - 20);
  v.margin = INFINITY;
  for (int i = 0; i < n; ++i) {
    const int b = in.next(), p = sh.partner[i];
    const double margin = 1 + b % 4, big = std::max({row[i], col[i], most}) + margin;
    const bool negative = sh.mtype != 2 && (b / 4) % 2 == 1;
    v.margin = std::min(v.margin, margin * scale);
    if (p < 0) {
      d[i * n + i] = negative ? -big : big;
      v.positive += negative ? 0 : 1;
    } else if (p > i) {  // [0 c; c 0]: one eigenvalue of each sign
      d[i * n + p] = d[p * n + i] = negative ? -big : big;
      v.positive += 1;
    }
  }
  // By rows and columns dominance bounds the inverse by 1/margin; for pairs the 2-norm
  // bound 1/margin holds, and the infinity norm is within sqrt(n) of it.
  if (pairs) v.margin /= std::sqrt(static_cast<double>(n));
  v.a.assign(d.size(), 0.0);
  for (int i = 0; i < n; ++i)
    for (int j = 0; j < n; ++j) v.a[sh.rows[i] * n + j] = d[i * n + j] * scale;
  sums(v.a);
  v.norm = std::max(*std::max_element(row.begin(), row.end()),
                    *std::max_element(col.begin(), col.end()));
  return v;
}

// op(A) x = b for one column in long double: Gauss-Jordan elimination with partial pivoting
// on the rows of [op(A) b].
std::vector<long double> reference_solve(const Values& v, int n, bool transposed, const double* b) {
  std::vector<std::vector<long double>> m(n, std::vector<long double>(n + 1));
  for (int i = 0; i < n; ++i) {
    for (int j = 0; j < n; ++j) m[i][j] = transposed ? v.a[j * n + i] : v.a[i * n + j];
    m[i][n] = b[i];
  }
  for (int k = 0; k < n; ++k) {
    auto smaller = [k](const auto& p, const auto& q) { return std::abs(p[k]) < std::abs(q[k]); };
    std::swap(m[k], *std::max_element(m.begin() + k, m.end(), smaller));
    for (int i = 0; i < n; ++i)
      for (int j = n; j >= k && i != k; --j) m[i][j] -= m[i][k] / m[k][k] * m[k][j];
  }
  std::vector<long double> x(n);
  for (int i = 0; i < n; ++i) x[i] = m[i][n] / m[i][i];
  return x;
}

// Every column of x must solve op(A) x = b with a backward error below the limit; with
// wanted components, those must equal the solution within what that backward error allows
// (the inverse's norm is at most 1/margin), and the others must be zero.
template <class T>
void check_solution(const Values& v, int n, int nrhs, bool transposed, const T* b, const T* x,
                    const std::vector<unsigned char>* wanted) {
  const double eps = std::numeric_limits<T>::epsilon();
  for (int c = 0; c < nrhs; ++c) {
    std::vector<double> bc(b + c * n, b + (c + 1) * n), xc(x + c * n, x + (c + 1) * n);
    double nb = 0, nx = 0, nr = 0;
    for (int i = 0; i < n; ++i) {
      nb = std::max(nb, std::abs(bc[i]));
      nx = std::max(nx, std::abs(xc[i]));
    }
    if (wanted != nullptr) {
      const std::vector<long double> ref = reference_solve(v, n, transposed, bc.data());
      double nref = 0;
      for (long double r : ref) nref = std::max(nref, std::abs(static_cast<double>(r)));
      const double tol = kBackwardLimit * n * eps * (v.norm * nref + nb) / v.margin;
      for (int i = 0; i < n; ++i)
        if ((*wanted)[i] ? !(std::abs(xc[i] - static_cast<double>(ref[i])) <= tol) : xc[i] != 0)
          fuzz_fail("a wanted component is wrong or another one is not zero");
      continue;
    }
    for (int i = 0; i < n; ++i) {
      long double r = bc[i];
      for (int j = 0; j < n; ++j) r -= (transposed ? v.a[j * n + i] : v.a[i * n + j]) * xc[j];
      nr = std::max(nr, std::abs(static_cast<double>(r)));
    }
    if (!(nr <= kBackwardLimit * n * eps * (v.norm * nx + nb)))
      fuzz_fail("the solution's backward error is too large");
  }
}

// What the handle holds, as far as the calls so far tell.
struct Model {
  bool shortcut = false, strict = true;
  bool factored[2] = {};
  bool perturbed[2] = {};  // allowed only where the model cannot rule it out
  int version[2] = {};     // the values each factorization was made from
  int analysed = -1;       // and those of the analysis, whose matching and scaling it keeps
};

bool is_solve(int phase) {
  return phase % 10 == 3 || phase > 330;
}

template <class T>
void valid_sequence(Bytes& in, Call& c) {
  const int n = c.n, mtype = c.mtype;
  const bool upper = mtype == 2 || mtype == -2;
  const bool matching = c.iparm[0] == 0 ? mtype == 11 : c.iparm[12] > 0;
  const int base = c.iparm[34] != 0 ? 0 : 1;
  Shape sh{n, mtype, std::vector<unsigned char>(static_cast<std::size_t>(n) * n, 0),
           std::vector<int>(n), std::vector<int>(n, -1)};
  for (int i = 0; i < n; ++i) {
    sh.on[i * n + i] = 1;
    sh.rows[i] = i;
    for (int k = in.next() % 6; k > 0; --k) {
      const int j = in.next() % n;
      sh.on[i * n + j] = 1;
      if (mtype != 11) sh.on[j * n + i] = 1;
    }
  }
  const int twist = in.next() % 2;
  if (twist == 1 && mtype == 11 && matching)
    for (int i = n - 1; i > 0; --i) std::swap(sh.rows[i], sh.rows[in.next() % (i + 1)]);
  if (twist == 1 && mtype == -2 && matching)
    for (int i = 0; i + 1 < n; i += 2)
      if (in.next() % 2 == 0) {
        sh.partner[i] = i + 1;
        sh.partner[i + 1] = i;
        sh.on[i * n + i + 1] = sh.on[(i + 1) * n + i] = 1;
      }
  const bool pairs = std::count(sh.partner.begin(), sh.partner.end(), -1) < n;
  c.ia.assign(1, base);
  c.ja.clear();
  for (int r = 0; r < n; ++r) {
    const int i = std::find(sh.rows.begin(), sh.rows.end(), r) - sh.rows.begin();
    for (int j = upper ? r : 0; j < n; ++j)
      if (sh.on[i * n + j]) c.ja.push_back(j + base);
    c.ia.push_back(static_cast<int>(c.ja.size()) + base);
  }
  bool diagonal = static_cast<int>(c.ja.size()) == n;
  for (int r = 0; r < n && diagonal; ++r) diagonal = c.ja[r] - base == r;
  std::vector<Values> versions{make_values(in, sh)};
  auto set_values = [&](const Values& v) {
    c.a.resize(c.ja.size() * sizeof(T));
    for (int i = 0, e = 0; i < n; ++i)
      for (; e < c.ia[i + 1] - base; ++e) {
        const T t = static_cast<T>(v.a[i * n + c.ja[e] - base]);
        std::memcpy(&c.a[e * sizeof(T)], &t, sizeof t);
      }
  };
  // perm: the wanted components (marked 1), a permutation of the caller's, or room for one.
  const bool partial = c.iparm[30] != 0;
  const int perm_mode = c.iparm[4];
  std::vector<unsigned char> marks(n, 0);
  int marked = 0;
  c.perm.resize(n);
  for (int i = 0; i < n; ++i) c.perm[i] = i + base;
  if (partial)
    for (int i = 0; i < n; ++i) marked += marks[i] = in.next() % 3 == 0;
  else if (perm_mode == 1)
    for (int i = n - 1; i > 0; --i) std::swap(c.perm[i], c.perm[in.next() % (i + 1)]);
  const std::vector<int> given_perm = c.perm;
  const bool wanted = partial && !diagonal;
  // A given order (the caller's, or the one a partial solve prepares) need not keep pairs
  // together, and interchanges stay inside supernodes: the growth is then unbounded, and
  // neither the solution nor the inertia is checked.
  const bool split = pairs && (perm_mode == 1 || partial);

  Model m;
  // Mostly no failure, so that the codes can be checked too.
  ztr_testalloc_fail_nth(in.next() % 4 == 0 ? 1 + in.next() % 64 : 0, 0);
  const long failures = ztr_testalloc_failures();
  for (int ops = 1 + in.next() % 6; ops > 0; --ops) {
    const int op = in.next() % 8, mnum = 1 + in.next() % c.maxfct, nrhs = 1 + in.next() % 3;
    std::vector<int> phases;
    if (op == 0) phases = {pick(in, {11, 12, 13})};
    if (op == 1 || op == 2) {
      phases = {pick(in, {22, 23})};
      if (in.next() % 2 == 0) versions.push_back(make_values(in, sh));
    }
    if (op == 3 || op == 4) phases = {33};
    if (op == 5 || op == 6) phases = {331, 332, 333};
    if (op == 7) phases = {0};
    c.mnum = mnum;
    c.nrhs = nrhs;
    std::vector<T> rhs(static_cast<std::size_t>(n) * nrhs);
    for (T& v : rhs) v = static_cast<T>(finite_value(in));
    std::vector<T> carried = rhs;  // what the next step of a step-by-step solve starts from
    bool steps_ok = true;
    for (const int phase : phases) {
      const bool factors = phase == 12 || phase == 13 || phase == 22 || phase == 23;
      if (factors || phase == 11) m.version[mnum - 1] = static_cast<int>(versions.size()) - 1;
      const Values& v = versions[m.version[mnum - 1]];
      set_values(v);
      if (phase <= 13 && phase >= 11 && partial)
        for (int i = 0; i < n; ++i) c.perm[i] = marks[i];
      c.b.resize(rhs.size() * sizeof(T));
      std::memcpy(c.b.data(), carried.data(), c.b.size());
      c.x.assign(c.b.size(), 0);
      const std::vector<unsigned char> b0 = c.b;
      int expected = 0;
      if (diagonal)
        expected = phase == 0 && !m.shortcut ? -1 : 0;
      else if (phase == 22 || phase == 23 || phase == 0)
        expected = m.analysed >= 0 ? 0 : -1;
      else if (is_solve(phase) && phase != 13)
        expected = m.analysed >= 0 && m.factored[mnum - 1] ? 0 : -1;
      const int error = c.run(phase);
      m.strict = m.strict && ztr_testalloc_failures() == failures;
      // A pair split between supernodes leaves a zero pivot, and the scaling of one set of
      // values need not keep another one dominant: perturbed pivots, and a refinement that
      // may fall short, or without perturbation a failed factorization; what follows is then
      // not the model's.
      const bool stale = matching && phase >= 22 && m.version[mnum - 1] != m.analysed;
      if ((pairs || stale) && (factors || is_solve(phase)) && error == kErrFactor) {
        m.strict = false;
        m.perturbed[mnum - 1] = true;
      }
      if (m.strict && error != expected) fuzz_fail("a valid call gave an unexpected code");
      if (c.iparm[5] != 1 && c.b != b0) fuzz_fail("b changed without iparm[5] = 1");
      std::memcpy(carried.data(), (c.iparm[5] == 1 ? c.b : c.x).data(), c.b.size());
      if (phase > 0) m.shortcut = diagonal;
      steps_ok = steps_ok && error == 0;
      if (error != 0) continue;
      if (phase >= 11 && phase <= 13) {
        m.analysed = m.version[mnum - 1];
        m.factored[0] = m.factored[1] = m.perturbed[0] = m.perturbed[1] = false;
      }
      if (factors) {
        m.factored[mnum - 1] = true;
        m.perturbed[mnum - 1] = (pairs || stale) && c.iparm[13] > 0;
      }
      if (m.perturbed[mnum - 1] && (factors || is_solve(phase))) continue;
      if (phase == 0) m.factored[mnum - 1] = false;
      if (diagonal) {
        if (phase > 11 && (c.iparm[21] != v.positive || c.iparm[22] != n - v.positive))
          fuzz_fail("the diagonal's sign count is wrong");
      } else if (factors || is_solve(phase)) {
        if (c.iparm[13] != 0) fuzz_fail("a pivot perturbed in a dominant matrix");
        if (mtype == -2 && !split && (c.iparm[21] != v.positive || c.iparm[22] != n - v.positive))
          fuzz_fail("the inertia is wrong");
      }
      if (!diagonal && phase >= 11 && phase <= 13) {
        std::vector<int> seen(n, 0);
        for (int k = 0; k < n; ++k) {
          const int p = c.perm[k] - base;
          if (partial || perm_mode == 2) {
            if (p < 0 || p >= n || seen[p]++ != 0) fuzz_fail("perm is not a permutation");
            if (partial && marks[p] != (k >= n - marked))
              fuzz_fail("the wanted components are not last in perm");
          } else if (c.perm[k] != given_perm[k]) {
            fuzz_fail("perm changed");
          }
        }
      }
      const bool whole = is_solve(phase) && phase < 331;
      if (!whole && phase != 333) continue;
      if (!diagonal) {
        const int limit = std::abs(c.iparm[7]);
        if (whole && !wanted && limit > 0 ? c.iparm[6] < 1 || c.iparm[6] > limit : c.iparm[6] != 0)
          fuzz_fail("a wrong number of refinement steps");
      }
      if ((whole || steps_ok) && !split) {
        const bool transposed =
            (mtype == 1 || mtype == 11) && !diagonal && (c.iparm[11] == 1 || c.iparm[11] == 2);
        check_solution<T>(v, n, nrhs, transposed, rhs.data(), carried.data(),
                          wanted ? &marks : nullptr);
      }
    }
  }
}

// Half the inputs valid, half hostile: the settings both kinds draw alike (the caller's own
// or the type's defaults; scaling, transposed solves, matching, two-level factorization, the
// matrix checker, single precision, zero-based input), the sequence, then the release.
void fuzz(Bytes& in) {
  const bool valid = in.next() % 2 == 0;
  Call c;
  c.mtype = valid ? pick(in, kValidTypes) : pick(in, kTypes);
  // Mostly small systems; one in four up to 79 equations, for supernodes of some width.
  const bool wide = in.next() % 4 == 0;
  c.n = valid ? 1 + in.next() % (wide ? 79 : 17) : wide ? in.next() % 80 : in.dim();
  ZTR_Set_Num_Threads(1 + in.next() % 2);
  // Without dynamic adjustment two threads stay two below 100 equations.
  ZTR_Set_Dynamic(valid ? in.next() % 2 : 1);
  c.maxfct = 1 + in.next() % 2;
  c.msglvl = in.next() % 2;
  if (in.next() % 4 != 0) {
    c.iparm[0] = 1;
    c.iparm[1] = valid ? in.next() % 4 : pick(in, {0, 2, 2, 3, 4});
    c.iparm[4] = in.next() % 3;
    c.iparm[5] = in.next() % (valid ? 2 : 3);
    c.iparm[7] = valid ? in.next() % 7 - 3 : in.next() % 5 - 2;
    // Valid inputs: 10^-4 and below, so that the perturbation threshold stays under every pivot.
    c.iparm[9] = valid ? pick(in, {0, 4, 8, 13}) : in.next() % 14;
    for (const int i : {10, 12, 26, 27, 34}) c.iparm[i] = in.next() % 2;
    c.iparm[11] = in.next() % 4;
    c.iparm[23] = in.next() % 8 == 0;
    if (in.next() % (valid ? 6 : 8) == 0) {  // wanted components: prepared only without refinement
      c.iparm[30] = 1 + in.next() % 3;
      if (valid) c.iparm[7] = 0;
    }
  }
  const long live = ztr_testalloc_live();
  if (!valid)
    hostile_sequence(in, c);
  else if (c.iparm[27] == 1)
    valid_sequence<float>(in, c);
  else
    valid_sequence<double>(in, c);
  ztr_testalloc_reset();
  if (c.run(-1) != 0) fuzz_fail("the release failed");
  if (ztr_testalloc_live() != live) fuzz_fail("blocks left after the release");
}

// Without the pool every block goes back at once, so the count of live blocks tells; and one
// solve first, for what the library sets up once per process.
void set_up() {
  setenv("ZTR_DISABLE_FAST_MM", "yes", 1);
  Call c;
  c.n = 3;
  c.ia = {1, 3, 5, 6};
  c.ja = {1, 2, 2, 3, 3};
  const double v[5] = {4, -1, 4, -1, 4};
  c.a.assign(reinterpret_cast<const unsigned char*>(v),
             reinterpret_cast<const unsigned char*>(v + 5));
  c.perm.resize(3);
  c.b = c.x = std::vector<unsigned char>(3 * sizeof(double));
  c.run(13);
  c.run(-1);
}

}  // namespace

ZTR_FUZZ_ENTRY_POINTS(fuzz, set_up())
