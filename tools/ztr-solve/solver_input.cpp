#include "solver_input.h"

#include <climits>
#include <cstddef>
#include <cstdint>

namespace ztr::cli {

bool known_mtype(int t) {
  return t == 1 || t == 2 || t == -2 || t == 3 || t == 4 || t == -4 || t == 6 || t == 11 || t == 13;
}

bool complex_mtype(int t) {
  return t == 3 || t == 4 || t == -4 || t == 6 || t == 13;
}

const char* mtype_name(int t) {
  switch (t) {
    case 1:
      return "real structurally symmetric";
    case 2:
      return "real symmetric positive definite";
    case -2:
      return "real symmetric indefinite";
    case 3:
      return "complex structurally symmetric";
    case 4:
      return "complex hermitian positive definite";
    case -4:
      return "complex hermitian indefinite";
    case 6:
      return "complex symmetric";
    case 11:
      return "real unsymmetric";
    case 13:
      return "complex unsymmetric";
    default:
      return "unknown";
  }
}

namespace {

// Whether every diagonal entry is present and its real part positive (duplicates summed).
bool positive_diagonal(const mm::Coordinate& m) {
  std::vector<double> d(static_cast<std::size_t>(m.rows), 0.0);
  std::vector<char> seen(static_cast<std::size_t>(m.rows), 0);
  for (std::size_t k = 0; k < m.row.size(); ++k)
    if (m.row[k] == m.col[k]) {
      d[m.row[k]] += m.re[k];
      seen[m.row[k]] = 1;
    }
  for (int i = 0; i < m.rows; ++i)
    if (!seen[i] || !(d[i] > 0)) return false;
  return true;
}

bool symmetric_storage(int mtype) {
  return mtype == 2 || mtype == -2 || mtype == 4 || mtype == -4 || mtype == 6;
}

// Triplets on their way into CSR; imaginary parts only for complex types.
struct Triplets {
  explicit Triplets(bool complex) : complex(complex) {}
  bool complex;
  std::vector<int> r, c;
  std::vector<double> re, im;
  void add(int i, int j, double x, double y) {
    r.push_back(i);
    c.push_back(j);
    re.push_back(x);
    if (complex) im.push_back(y);
  }
};

}  // namespace

int first_mtype(const mm::Coordinate& m) {
  switch (m.symmetry) {
    case mm::Symmetry::kSymmetric:
      if (!m.is_complex()) return positive_diagonal(m) ? 2 : -2;
      return 6;
    case mm::Symmetry::kHermitian:
      return positive_diagonal(m) ? 4 : -4;
    default:
      return m.is_complex() ? 13 : 11;
  }
}

mm::Triangle general_file_triangle(const mm::Coordinate& m) {
  if (m.symmetry != mm::Symmetry::kGeneral) return mm::Triangle::kNone;
  bool lower = false, upper = false;
  for (std::size_t k = 0; k < m.row.size(); ++k) {
    lower |= m.row[k] > m.col[k];
    upper |= m.row[k] < m.col[k];
  }
  return lower == upper ? mm::Triangle::kNone : lower ? mm::Triangle::kLower : mm::Triangle::kUpper;
}

int indefinite_fallback(int mtype) {
  return mtype == 2 ? -2 : mtype == 4 ? -4 : 0;
}

bool build_solver_input(const mm::Coordinate& m, int mtype, SolverInput& out, std::string& error) {
  out = SolverInput{};
  if (!known_mtype(mtype)) {
    error = "unknown matrix type " + std::to_string(mtype);
    return false;
  }
  const bool cplx = complex_mtype(mtype);
  if (m.is_complex() && !cplx) {
    error = "a complex matrix cannot be solved as the real type " + std::to_string(mtype);
    return false;
  }
  const bool upper = symmetric_storage(mtype);
  if (upper && m.symmetry == mm::Symmetry::kSkewSymmetric) {
    error =
        "a skew-symmetric matrix cannot be solved as the symmetric type " + std::to_string(mtype);
    return false;
  }
  // A complex matrix mirrored one way cannot be read as the other: the Hermitian types
  // conjugate the mirror image, the complex symmetric type does not.
  const bool hermitian_type = mtype == 4 || mtype == -4;
  if (m.is_complex() && ((mtype == 6 && m.symmetry == mm::Symmetry::kHermitian) ||
                         (hermitian_type && m.symmetry == mm::Symmetry::kSymmetric))) {
    error = std::string("a ") + (mtype == 6 ? "hermitian" : "complex symmetric") +
            " matrix cannot be solved as the " + mtype_name(mtype) + " type " +
            std::to_string(mtype);
    return false;
  }
  const int n = m.rows;
  // The value that the mirror image of a stored off-diagonal entry carries.
  const bool conj = m.symmetry == mm::Symmetry::kHermitian;
  const bool negate = m.symmetry == mm::Symmetry::kSkewSymmetric;
  const bool mirrored = m.symmetry != mm::Symmetry::kGeneral;
  const bool pad_pattern = mtype == 1 || mtype == 3;

  Triplets t(cplx);
  const std::size_t nnz = m.row.size();
  const std::size_t expected = (upper ? nnz : 2 * nnz) + static_cast<std::size_t>(n);
  if (expected > static_cast<std::size_t>(INT_MAX)) {
    error = "too many entries for the solver's 32-bit indices";
    return false;
  }
  t.r.reserve(expected);
  t.c.reserve(expected);
  t.re.reserve(expected);
  if (cplx) t.im.reserve(expected);
  for (std::size_t k = 0; k < nnz; ++k) {
    const int i = m.row[k], j = m.col[k];
    const double x = m.re[k], y = m.is_complex() ? m.im[k] : 0.0;
    const double mx = negate ? -x : x;
    const double my = negate ? -y : conj ? -y : y;
    if (upper) {
      if (i == j || (!mirrored && j > i)) {
        t.add(i, j, x, y);
      } else if (mirrored) {
        // One triangle is stored; the solver wants the upper one.
        if (j > i)
          t.add(i, j, x, y);
        else
          t.add(j, i, mx, my);
      }
      // A general file's lower triangle is not read by the symmetric types.
    } else {
      t.add(i, j, x, y);
      if (mirrored && i != j)
        t.add(j, i, mx, my);
      else if (pad_pattern && i != j)
        t.add(j, i, 0.0, 0.0);  // summed into the mirror entry if there is one
    }
  }
  if (upper)
    for (int i = 0; i < n; ++i) t.add(i, i, 0.0, 0.0);  // summed into a stored diagonal

  // Two counting sorts, by column and then stably by row, leave each row's columns ascending.
  const std::size_t nt = t.r.size();
  std::vector<int> by_col(nt), start(static_cast<std::size_t>(n) + 1, 0);
  for (std::size_t k = 0; k < nt; ++k) ++start[t.c[k] + 1];
  for (int j = 0; j < n; ++j) start[j + 1] += start[j];
  for (std::size_t k = 0; k < nt; ++k) by_col[start[t.c[k]]++] = static_cast<int>(k);
  std::vector<int> order(nt), row_start(static_cast<std::size_t>(n) + 1, 0);
  for (std::size_t k = 0; k < nt; ++k) ++row_start[t.r[k] + 1];
  for (int i = 0; i < n; ++i) row_start[i + 1] += row_start[i];
  std::vector<int> next(row_start.begin(), row_start.end() - 1);
  for (int k : by_col) order[next[t.r[k]]++] = k;

  out.n = n;
  out.mtype = mtype;
  out.ia.assign(static_cast<std::size_t>(n) + 1, 0);
  out.ja.reserve(nt);
  out.a.reserve(cplx ? 2 * nt : nt);
  for (int i = 0; i < n; ++i) {
    int last = -1;
    for (int p = row_start[i]; p < row_start[i + 1]; ++p) {
      const int k = order[p];
      if (t.c[k] == last) {
        if (cplx) {
          out.a[out.a.size() - 2] += t.re[k];
          out.a.back() += t.im[k];
        } else {
          out.a.back() += t.re[k];
        }
        continue;
      }
      last = t.c[k];
      out.ja.push_back(last);
      out.a.push_back(t.re[k]);
      if (cplx) out.a.push_back(t.im[k]);
    }
    out.ia[i + 1] = static_cast<int>(out.ja.size());
  }
  return true;
}

}  // namespace ztr::cli
