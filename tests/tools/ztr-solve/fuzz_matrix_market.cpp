// Fuzz target for ztr-solve's Matrix Market reader: any bytes, read as a coordinate file and
// as an array file.  Either the reader refuses them with one line naming the file, or what it
// returns keeps its promises: indices in range, one value per entry (two for complex), one
// triangle for the symmetric kinds, the declared sizes.  An accepted square matrix of modest
// order is then turned into the solver's input of the type ztr-solve would choose and of
// each symmetric and unsymmetric kind, whose CSR arrays must be well formed, and multiplied
// by a vector of ones.
#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "matrix_market.h"
#include "matrix_product.h"
#include "solver_input.h"

namespace {

namespace mm = ztr::mm;

// Largest order converted and multiplied (the reader itself is fuzzed at any declared size).
constexpr int kMaxConvertedOrder = 4096;

[[noreturn]] void fail(const char* what) {
  std::fprintf(stderr, "fuzz_matrix_market: %s\n", what);
  std::abort();
}

const std::string& scratch() {
  static const std::string path = "/tmp/fuzz_matrix_market_" + std::to_string(::getpid()) + ".mtx";
  return path;
}

void check_input(const ztr::cli::SolverInput& s) {
  if (static_cast<int>(s.ia.size()) != s.n + 1 || s.ia[0] != 0) fail("row starts");
  const std::size_t w = ztr::cli::complex_mtype(s.mtype) ? 2 : 1;
  if (s.a.size() != s.ja.size() * w || static_cast<std::size_t>(s.ia[s.n]) != s.ja.size())
    fail("array lengths");
  const bool upper = s.mtype == 2 || s.mtype == -2 || s.mtype == 4 || s.mtype == -4;
  for (int i = 0; i < s.n; ++i) {
    if (s.ia[i + 1] < s.ia[i]) fail("decreasing row starts");
    for (int k = s.ia[i]; k < s.ia[i + 1]; ++k) {
      if (s.ja[k] < 0 || s.ja[k] >= s.n) fail("column out of range");
      if (k > s.ia[i] && s.ja[k] <= s.ja[k - 1]) fail("columns not ascending");
      if (upper && s.ja[k] < i) fail("entry below the diagonal in upper storage");
    }
    if (upper && (s.ia[i + 1] == s.ia[i] || s.ja[s.ia[i]] != i)) fail("diagonal not stored");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string& path = scratch();
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  if (fd < 0) fail("cannot write the scratch file");
  if (size > 0 && ::write(fd, data, size) != static_cast<ssize_t>(size)) fail("short write");
  ::close(fd);

  std::string error;
  mm::Coordinate c;
  if (!mm::read_coordinate(path, c, error)) {
    if (error.rfind(path + ":", 0) != 0 || error.find('\n') != std::string::npos)
      fail("message does not name the file on one line");
  } else {
    const std::size_t nnz = c.row.size();
    if (c.col.size() != nnz || c.re.size() != nnz || c.im.size() != (c.is_complex() ? nnz : 0))
      fail("entry arrays differ in length");
    bool lower = false, upper = false;
    for (std::size_t k = 0; k < nnz; ++k) {
      if (c.row[k] < 0 || c.row[k] >= c.rows || c.col[k] < 0 || c.col[k] >= c.cols)
        fail("index out of range");
      lower |= c.row[k] > c.col[k];
      upper |= c.row[k] < c.col[k];
    }
    if (c.symmetry != mm::Symmetry::kGeneral && lower && upper) fail("both triangles");
    if (c.rows == c.cols && c.rows <= kMaxConvertedOrder) {
      const int types[] = {ztr::cli::first_mtype(c), 11, 1, -2, 13, 4};
      for (int t : types) {
        ztr::cli::SolverInput s;
        if (ztr::cli::build_solver_input(c, t, s, error)) check_input(s);
      }
      const std::size_t w = c.is_complex() ? 2 : 1;
      std::vector<double> x(static_cast<std::size_t>(c.rows) * w, 1.0), y(x.size());
      ztr::cli::multiply(c, c.is_complex(), 1, x.data(), y.data());
      (void)ztr::cli::relative_residual(c, c.is_complex(), 1, y.data(), x.data());
    }
  }
  mm::Dense d;
  if (mm::read_array(path, d, error)) {
    const std::size_t want = static_cast<std::size_t>(d.rows) * d.cols * (d.complex ? 2 : 1);
    if (d.values.size() != want) fail("array size");
  } else if (error.rfind(path + ":", 0) != 0) {
    fail("array message does not name the file");
  }
  // Removed at once: the fuzzer may end the process without running exit handlers.
  std::remove(path.c_str());
  return 0;
}
