// The Matrix Market reader and writer, the conversion to the solver's input, and the
// products behind the residual, called directly.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <complex>
#include <cstdio>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#ifdef ZTR_SOLVE_HAVE_ZLIB
#include <zlib.h>
#endif

#include "builtin_problem.h"
#include "line_source.h"
#include "matrix_market.h"
#include "matrix_product.h"
#include "solver_input.h"

namespace {

namespace mm = ztr::mm;
namespace cli = ztr::cli;
using Entries = std::map<std::pair<int, int>, double>;

// A scratch file, removed at the end of the test.
class Scratch {
 public:
  explicit Scratch(const std::string& text, const char* suffix = ".mtx") {
    path_ = testing::TempDir() + "ztr_mm_" + std::to_string(::getpid()) + "_" +
            std::to_string(counter_++) + suffix;
    std::ofstream(path_, std::ios::binary) << text;
  }
  ~Scratch() { std::remove(path_.c_str()); }
  const std::string& path() const { return path_; }

 private:
  static inline int counter_ = 0;
  std::string path_;
};

mm::Coordinate read_ok(const std::string& text) {
  Scratch f(text);
  mm::Coordinate c;
  std::string error;
  EXPECT_TRUE(mm::read_coordinate(f.path(), c, error)) << error;
  return c;
}

// The solver input built as `mtype`, as a map (row, column) -> real or imaginary part.
Entries solver_entries(const mm::Coordinate& m, int mtype, int part = 0) {
  cli::SolverInput s;
  std::string error;
  EXPECT_TRUE(cli::build_solver_input(m, mtype, s, error)) << error;
  Entries e;
  for (int i = 0; i < s.n; ++i) {
    EXPECT_TRUE(std::is_sorted(s.ja.begin() + s.ia[i], s.ja.begin() + s.ia[i + 1]));
    for (int k = s.ia[i]; k < s.ia[i + 1]; ++k)
      e[{i, s.ja[k]}] = cli::complex_mtype(mtype) ? s.a[2 * static_cast<size_t>(k) + part] : s.a[k];
  }
  return e;
}

// Field, symmetry, stored triangle and values, as one line.
std::string describe(const mm::Coordinate& m) {
  static const char* const field[] = {"real", "integer", "pattern", "complex"};
  static const char* const symmetry[] = {"general", "symmetric", "skew-symmetric", "hermitian"};
  static const char* const triangle[] = {"none", "lower", "upper"};
  std::ostringstream s;
  s << field[static_cast<int>(m.field)] << ' ' << symmetry[static_cast<int>(m.symmetry)] << ' '
    << triangle[static_cast<int>(m.triangle)] << ':';
  for (std::size_t k = 0; k < m.re.size(); ++k) {
    s << ' ' << m.re[k];
    if (m.is_complex()) s << std::showpos << m.im[k] << std::noshowpos << 'i';
  }
  if (!m.is_complex() && !m.im.empty()) s << " and imaginary parts";
  return s.str();
}

const std::string kGeneral = "%%MatrixMarket matrix coordinate real general\n";

TEST(MatrixMarketRead, FieldsSymmetriesCommentsAndLineEnds) {
  const auto c = read_ok(
      "%%MatrixMarket matrix coordinate real general\r\n% a comment\n\n  % an indented "
      "comment\n3 4 3\n1 1 1.5\n3 4 -2e-3\r\n  2\t2   +7  \n");
  EXPECT_EQ(c.rows, 3);
  EXPECT_EQ(c.cols, 4);
  EXPECT_EQ(c.row, (std::vector<int>{0, 2, 1}));
  EXPECT_EQ(c.col, (std::vector<int>{0, 3, 1}));
  EXPECT_EQ(c.re, (std::vector<double>{1.5, -2e-3, 7}));
  EXPECT_TRUE(c.im.empty());
  const std::pair<const char*, const char*> cases[] = {
      {"integer symmetric\n2 2 2\n1 1 3\n2 1 -4\n", "integer symmetric lower: 3 -4"},
      {"Pattern Symmetric\n2 2 2\n1 2\n2 2\n", "pattern symmetric upper: 1 1"},
      {"complex hermitian\n2 2 2\n1 1 2 0\n2 1 1 -3\n", "complex hermitian lower: 2+0i 1-3i"},
      {"real skew-symmetric\n2 2 1\n2 1 5\n", "real skew-symmetric lower: 5"},
      {"real general\n1 1 1\n1 1 4", "real general none: 4"},  // no line end at the end
  };
  for (const auto& [text, want] : cases)
    EXPECT_EQ(describe(read_ok(std::string("%%MatrixMarket Matrix Coordinate ") + text)), want);
}

// Each kind of malformed file: the message names the file and the line.
TEST(MatrixMarketRead, MalformedInputNamesTheLine) {
  const std::string g = kGeneral, sym = "%%MatrixMarket matrix coordinate real symmetric\n";
  const std::pair<std::string, std::string> cases[] = {
      {"", ":1: empty file, no Matrix Market header"},
      {"1 1 1\n1 1 1\n",
       ":1: not a Matrix Market file (the first line must begin with %%MatrixMarket)"},
      {"%%MatrixMarket matrix coordinate real\n",
       ":1: incomplete header: expected %%MatrixMarket matrix <format> <field> <symmetry>"},
      {"%%MatrixMarket vector coordinate real general\n",
       ":1: the object is 'vector'; only matrix files are read"},
      {"%%MatrixMarket matrix sparse real general\n1 1 1\n1 1 1\n",
       ":1: unknown format 'sparse' (coordinate or array)"},
      {"%%MatrixMarket matrix coordinate quaternion general\n",
       ":1: unknown field 'quaternion' (real, integer, pattern or complex)"},
      {"%%MatrixMarket matrix coordinate real hermitian\n",
       ":1: a hermitian matrix must be complex"},
      {"%%MatrixMarket matrix array real general\n1 1\n1\n",
       ":1: a dense array file where a sparse coordinate matrix is expected"},
      {g + "% only comments\n", ":3: the file ends before the size line"},
      {g + "2 2\n", ":2: the size line needs 3 integers"},
      {g + "2 -2 1\n", ":2: the number of columns '-2' is not a non-negative integer"},
      {g + "3000000000 2 1\n", ":2: the number of rows 3000000000 exceeds the 32-bit index range"},
      {g + "0 0 0\n", ":2: the matrix has no rows or no columns"},
      {g + "2 2 5\n", ":2: 5 entries declared, more than a 2 x 2 matrix of this kind holds"},
      {sym + "2 3 1\n", ":2: a symmetric, skew-symmetric or hermitian matrix must be square"},
      {g + "2 2 1\n1 3 1.0\n", ":3: the column index 3 is out of the range 1..2"},
      {g + "2 2 1\n0 1 1.0\n", ":3: the row index 0 is out of the range 1..2"},
      {g + "2 2 1\n1.5 1 1.0\n", ":3: the row index '1.5' is not an integer"},
      {g + "2 2 2\n1 1 1\n2 2", ":4: expected a value after the indices"},
      {g + "2 2 1\n1 1 x1\n", ":3: the value 'x1' is not a number"},
      {g + "2 2 1\n1 1 nan\n", ":3: the value 'nan' is not a finite number"},
      {g + "2 2 1\n1 1 1e999\n", ":3: the value '1e999' is out of the range of double precision"},
      {g + "2 2 1\n1 1 1 2\n", ":3: unexpected '2' after the entry"},
      {"%%MatrixMarket matrix coordinate integer general\n1 1 1\n1 1 2.5\n",
       ":3: the value '2.5' is not an integer"},
      {"%%MatrixMarket matrix coordinate complex general\n1 1 1\n1 1 2.5\n",
       ":3: expected the imaginary part of the value"},
      {g + "% cut short\n2 2 2\n1 1 1\n",
       ":5: the file ends after 1 of the 2 entries declared on line 3"},
      {g + "2 2 1\n1 1 1\n2 2 1\n", ":4: more entries than the 1 declared on line 2"},
      {sym + "3 3 3\n2 1 1\n3 3 1\n1 3 1\n",
       ":5: entry (1, 3) lies in the upper triangle, but line 3 put the file's entries in the "
       "lower one; a symmetric file stores one triangle only"},
      {"%%MatrixMarket matrix coordinate real skew-symmetric\n2 2 1\n1 1 4\n",
       ":3: a skew-symmetric matrix has a zero diagonal, but entry (1, 1) is not zero"},
      {"%%MatrixMarket matrix coordinate complex hermitian\n2 2 1\n2 2 4 1\n",
       ":3: the diagonal entry (2, 2) of a hermitian matrix has a non-zero imaginary part"},
      {g + "1 1 1\n" + std::string("1 1\0 1\n", 7),
       ":3: binary data (a NUL byte): not a Matrix Market text file"},
      {g + "1 1 1\n" + std::string(mm::LineSource::kMaxLine + 10, '1') + "\n",
       ":3: line longer than 1048576 bytes: not a Matrix Market text file"},
      // Longer than a whole block, without a line end: refused before the file is read on.
      {g + "1 1 1\n" + std::string(5 << 20, '1'),
       ":3: line longer than 1048576 bytes: not a Matrix Market text file"},
  };
  for (const auto& [text, message] : cases) {
    SCOPED_TRACE(message);
    Scratch f(text);
    mm::Coordinate c;
    std::string error;
    EXPECT_FALSE(mm::read_coordinate(f.path(), c, error));
    EXPECT_EQ(error, f.path() + message);
  }
}

// Entries far apart in a long file: the block boundaries fall inside lines.
TEST(MatrixMarketRead, LinesAcrossBlockBoundaries) {
  constexpr int kN = 300000;
  std::string text =
      kGeneral + std::to_string(kN) + " " + std::to_string(kN) + " " + std::to_string(kN) + "\n";
  for (int i = 1; i <= kN; ++i)  // the padding moves the boundaries
    text += std::to_string(i) + " " + std::to_string(kN + 1 - i) + " " + std::to_string(i) +
            ".25          \n";
  const auto c = read_ok(text);
  ASSERT_EQ(c.row.size(), static_cast<size_t>(kN));
  for (int i = 0; i < kN; ++i) {
    ASSERT_EQ(c.row[i], i);
    ASSERT_EQ(c.col[i], kN - 1 - i);
    ASSERT_EQ(c.re[i], i + 1.25);
  }
}

// A pipe (e.g. /dev/stdin fed by a decompressor) is read as it comes, nothing consumed twice.
TEST(MatrixMarketRead, Pipe) {
  const std::string fifo = testing::TempDir() + "ztr_mm_fifo_" + std::to_string(::getpid());
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  std::string text = kGeneral + "1000 1000 1000\n";
  for (int i = 1; i <= 1000; ++i) text += std::to_string(i) + " " + std::to_string(i) + " 2.5\n";
  std::thread writer([&] { std::ofstream(fifo, std::ios::binary) << text; });
  mm::Coordinate c;
  std::string error;
  const bool ok = mm::read_coordinate(fifo, c, error);
  writer.join();
  std::remove(fifo.c_str());
  ASSERT_TRUE(ok) << error;
  ASSERT_EQ(c.re.size(), 1000u);
  EXPECT_EQ(c.row[999], 999);
  EXPECT_EQ(c.re[999], 2.5);
}

// Read when built with zlib (a damaged file is an error, never a shorter matrix), else
// refused with one line.
TEST(MatrixMarketRead, CompressedFiles) {
  mm::Coordinate c;
  std::string error;
#ifdef ZTR_SOLVE_HAVE_ZLIB
  ASSERT_TRUE(mm::compressed_input_supported());
  const std::string text = kGeneral + "2 2 2\n1 1 2\n2 2 3\n";
  Scratch f("", ".mtx.gz");
  gzFile gz = gzopen(f.path().c_str(), "wb");
  ASSERT_NE(gz, nullptr);
  gzwrite(gz, text.data(), static_cast<unsigned>(text.size()));
  gzclose(gz);
  ASSERT_TRUE(mm::read_coordinate(f.path(), c, error)) << error;
  EXPECT_EQ(c.re, (std::vector<double>{2, 3}));
  std::ifstream in(f.path(), std::ios::binary);
  const std::string bytes((std::istreambuf_iterator<char>(in)), {});
  Scratch cut(bytes.substr(0, bytes.size() - 12), ".mtx.gz");
  EXPECT_FALSE(mm::read_coordinate(cut.path(), c, error));
  EXPECT_NE(error.find("truncated"), std::string::npos) << error;
#else
  EXPECT_FALSE(mm::compressed_input_supported());
  Scratch f(std::string("\x1f\x8b\x08\x00", 4), ".mtx.gz");
  EXPECT_FALSE(mm::read_coordinate(f.path(), c, error));
  EXPECT_EQ(error,
            f.path() + ": gzip-compressed, and this build has no zlib (decompress it first)");
#endif
}

TEST(MatrixMarketArray, ReadWriteRoundTripAndFaults) {
  mm::Dense d, back;
  d.rows = 3;
  d.cols = 2;
  d.values = {1.0 / 3, -2.5e-300, 7, 0.1, 1e300, -0.0};
  Scratch f("");
  std::string error;
  for (const bool cplx : {false, true}) {
    d.complex = cplx;
    d.cols = cplx ? 1 : 2;
    ASSERT_TRUE(mm::write_array(f.path(), d, error)) << error;
    ASSERT_TRUE(mm::read_array(f.path(), back, error)) << error;
    EXPECT_EQ(back.rows, 3);
    EXPECT_EQ(back.cols, d.cols);
    EXPECT_EQ(back.complex, cplx);
    EXPECT_EQ(back.values, d.values);  // exact: the shortest round-trip text
  }
  Scratch short_file("%%MatrixMarket matrix array real general\n2 2\n1\n2\n3\n");
  EXPECT_FALSE(mm::read_array(short_file.path(), back, error));
  EXPECT_EQ(error,
            short_file.path() + ":6: the file ends after 3 of the 4 values declared on line 2");
  Scratch long_file("%%MatrixMarket matrix array real general\n1 1\n1\n2\n");
  EXPECT_FALSE(mm::read_array(long_file.path(), back, error));
  EXPECT_EQ(error, long_file.path() + ":4: more values than the 1 x 1 declared on line 2");
  // A full device: the failure shows at the flush, and is reported.
  if (access("/dev/full", W_OK) == 0) {
    d.values.assign(1 << 16, 1.0);
    d.rows = 1 << 15;
    EXPECT_FALSE(mm::write_array("/dev/full", d, error));
    EXPECT_EQ(error, "/dev/full: cannot write: No space left on device");
  }
}

// The solver gets the upper triangle of symmetric types (either triangle stored, duplicates
// summed, the diagonal completed), and the whole matrix with mirrored entries otherwise.
TEST(SolverInput, MirroringAndTriangles) {
  const auto lower = read_ok(
      "%%MatrixMarket matrix coordinate real symmetric\n3 3 4\n1 1 4\n3 1 -1\n3 1 -2\n2 2 5\n");
  const auto upper = read_ok(
      "%%MatrixMarket matrix coordinate real symmetric\n3 3 4\n1 1 4\n1 3 -1\n1 3 -2\n2 2 5\n");
  const Entries sym_upper{{{0, 0}, 4}, {{0, 2}, -3}, {{1, 1}, 5}, {{2, 2}, 0}};
  EXPECT_EQ(solver_entries(lower, -2), sym_upper);
  EXPECT_EQ(solver_entries(upper, -2), sym_upper);
  EXPECT_EQ(solver_entries(lower, 11),
            (Entries{{{0, 0}, 4}, {{0, 2}, -3}, {{2, 0}, -3}, {{1, 1}, 5}}));
  EXPECT_EQ(cli::first_mtype(lower), -2);  // a missing diagonal is not positive

  const auto g = read_ok(kGeneral + "2 2 3\n1 1 2\n2 1 7\n1 2 3\n");
  EXPECT_EQ(cli::first_mtype(g), 11);
  EXPECT_EQ(solver_entries(g, 2), (Entries{{{0, 0}, 2}, {{0, 1}, 3}, {{1, 1}, 0}}));
  const auto u = read_ok(kGeneral + "2 2 2\n1 1 2\n2 1 7\n");  // pattern made symmetric
  EXPECT_EQ(solver_entries(u, 1), (Entries{{{0, 0}, 2}, {{0, 1}, 0}, {{1, 0}, 7}}));

  const auto k = read_ok("%%MatrixMarket matrix coordinate real skew-symmetric\n2 2 1\n2 1 5\n");
  EXPECT_EQ(cli::first_mtype(k), 11);
  EXPECT_EQ(solver_entries(k, 11), (Entries{{{1, 0}, 5}, {{0, 1}, -5}}));
  const auto h = read_ok(
      "%%MatrixMarket matrix coordinate complex hermitian\n2 2 3\n1 1 2 0\n2 1 1 -3\n2 2 4 0\n");
  EXPECT_EQ(cli::first_mtype(h), 4);
  EXPECT_EQ(solver_entries(h, 4, 0), (Entries{{{0, 0}, 2}, {{0, 1}, 1}, {{1, 1}, 4}}));
  EXPECT_EQ(solver_entries(h, 4, 1), (Entries{{{0, 0}, 0}, {{0, 1}, 3}, {{1, 1}, 0}}));

  cli::SolverInput s;
  std::string error;
  EXPECT_FALSE(cli::build_solver_input(k, -2, s, error));
  EXPECT_EQ(error, "a skew-symmetric matrix cannot be solved as the symmetric type -2");
  EXPECT_FALSE(cli::build_solver_input(h, 11, s, error));
  EXPECT_EQ(error, "a complex matrix cannot be solved as the real type 11");
  EXPECT_EQ(cli::indefinite_fallback(2), -2);
  EXPECT_EQ(cli::indefinite_fallback(4), -4);
  EXPECT_EQ(cli::indefinite_fallback(-2), 0);
}

// The product of the file's matrix against a dense product of its expansion, and the
// residual of an exact and of a non-finite solution.
TEST(MatrixProduct, MirrorsTheStoredTriangleAndJudgesSolutions) {
  const auto h = read_ok(
      "%%MatrixMarket matrix coordinate complex hermitian\n3 3 4\n1 1 2 0\n2 1 1 -3\n3 2 0.5 "
      "2\n3 3 1 0\n");
  const std::complex<double> A[3][3] = {
      {{2, 0}, {1, 3}, {0, 0}}, {{1, -3}, {0, 0}, {0.5, -2}}, {{0, 0}, {0.5, 2}, {1, 0}}};
  const std::complex<double> x[3] = {{1, 1}, {-2, 0.5}, {0.25, -1}};
  double xv[6], y[6];
  for (int i = 0; i < 3; ++i) xv[2 * i] = x[i].real(), xv[2 * i + 1] = x[i].imag();
  cli::multiply(h, true, 1, xv, y);
  for (int i = 0; i < 3; ++i) {
    std::complex<double> r = 0;
    for (int j = 0; j < 3; ++j) r += A[i][j] * x[j];
    EXPECT_NEAR(y[2 * i], r.real(), 1e-15);
    EXPECT_NEAR(y[2 * i + 1], r.imag(), 1e-15);
  }
  EXPECT_DOUBLE_EQ(cli::norm_inf(h), std::abs(A[1][0]) + std::abs(A[1][2]));
  EXPECT_EQ(cli::relative_residual(h, true, 1, y, xv), 0.0);
  xv[3] = NAN;
  EXPECT_TRUE(std::isinf(cli::relative_residual(h, true, 1, y, xv)));

  // Skew-symmetric: the mirror entry changes sign.
  const auto k =
      read_ok("%%MatrixMarket matrix coordinate real skew-symmetric\n3 3 2\n2 1 5\n3 1 -1\n");
  const double xk[3] = {1, 2, 3};
  double yk[3];
  cli::multiply(k, false, 1, xk, yk);
  EXPECT_EQ(yk[0], -5 * 2 + 1 * 3);
  EXPECT_EQ(yk[1], 5 * 1);
  EXPECT_EQ(yk[2], -1 * 1);

  // The built-in problem: symmetric, 6 on the diagonal, row sums 6 - (number of neighbours).
  const auto lap = cli::laplacian_3d(3);
  std::vector<double> ones(27, 1.0), b(27);
  cli::multiply(lap, false, 1, ones.data(), b.data());
  EXPECT_EQ(b[0], 3.0);   // a corner: three neighbours
  EXPECT_EQ(b[13], 0.0);  // the centre: six
  EXPECT_EQ(cli::first_mtype(lap), 2);
}

}  // namespace
