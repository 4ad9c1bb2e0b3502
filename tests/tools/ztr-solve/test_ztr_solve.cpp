// The ztr-solve program run as a user runs it: on the real test matrices, on one malformed
// file of each kind (exact exit status and error line), and with each option.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#ifdef ZTR_SOLVE_HAVE_ZLIB
#include <zlib.h>
#endif

#include "matrix_market.h"

extern char** environ;

namespace {

struct ToolRun {
  std::string out, err;
  int status = -1;  // exit status, or 128 + signal
};

std::string slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), {});
}

std::string scratch_dir() {
  static const std::string dir = [] {
    std::string d = testing::TempDir() + "ztr_solve_" + std::to_string(::getpid());
    ::mkdir(d.c_str(), 0700);
    return d + "/";
  }();
  return dir;
}

// The scratch folder goes when the tests end.
class ScratchCleanup : public testing::Environment {
 public:
  void TearDown() override { std::filesystem::remove_all(scratch_dir()); }
};
[[maybe_unused]] testing::Environment* const kCleanup =
    testing::AddGlobalTestEnvironment(new ScratchCleanup);

// Runs the program with `args`, its output and errors into files, the library's variables
// removed from the environment (one thread unless asked).
ToolRun run(const std::vector<std::string>& args) {
  const std::string out = scratch_dir() + "stdout", err = scratch_dir() + "stderr";
  posix_spawn_file_actions_t fa;
  posix_spawn_file_actions_init(&fa);
  posix_spawn_file_actions_addopen(&fa, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  posix_spawn_file_actions_addopen(&fa, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  std::vector<std::string> argv_s{ZTR_SOLVE_PROGRAM};
  argv_s.insert(argv_s.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (auto& a : argv_s) argv.push_back(a.data());
  argv.push_back(nullptr);
  std::vector<std::string> env_s;
  for (char** e = environ; *e != nullptr; ++e)
    if (std::string_view(*e).rfind("ZTR_", 0) != 0 && std::string_view(*e).rfind("OMP_", 0) != 0)
      env_s.emplace_back(*e);
  std::vector<char*> envp;
  for (auto& e : env_s) envp.push_back(e.data());
  envp.push_back(nullptr);
  pid_t pid;
  ToolRun r;
  std::fflush(nullptr);
  if (posix_spawn(&pid, argv[0], &fa, nullptr, argv.data(), envp.data()) != 0) return r;
  posix_spawn_file_actions_destroy(&fa);
  int ws = 0;
  waitpid(pid, &ws, 0);
  r.status = WIFEXITED(ws) ? WEXITSTATUS(ws) : 128 + WTERMSIG(ws);
  r.out = slurp(out);
  r.err = slurp(err);
  return r;
}

std::string write_file(const std::string& name, const std::string& text) {
  const std::string path = scratch_dir() + name;
  std::ofstream(path, std::ios::binary) << text;
  return path;
}

// The value printed after `label` on its output line, or NaN.
double value_after(const std::string& out, const std::string& label) {
  const std::size_t at = out.find("\n" + label);
  if (at == std::string::npos) return NAN;
  return std::strtod(out.c_str() + at + 1 + label.size(), nullptr);
}

bool has_line(const std::string& out, const std::string& line) {
  return ("\n" + out).find("\n" + line + "\n") != std::string::npos;
}

std::string local_data(const std::string& file) {
  return std::string(ZTR_SOURCE_DIR) + "/tests/data/" + file;
}

// The shared collection beside the repository, when present.
std::string shared_data(const std::string& file) {
  std::vector<std::string> dirs;
  if (const char* d = std::getenv("ZTR_TESTDATA_DIR")) dirs.emplace_back(d);
  dirs.push_back(std::string(ZTR_SOURCE_DIR) + "/../shared/testdata");
  dirs.push_back(std::string(ZTR_SOURCE_DIR) + "/../../shared/testdata");
  for (const auto& d : dirs) {
    const std::string p = d + "/" + file;
    if (::access(p.c_str(), R_OK) == 0) return p;
  }
  return "";
}

TEST(ZtrSolve, BuiltInProblem) {
  const ToolRun r = run({});
  ASSERT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_EQ(r.err, "");
  EXPECT_TRUE(has_line(r.out, "n:                  27000")) << r.out;
  EXPECT_TRUE(has_line(r.out, "matrix type:        2 (real symmetric positive definite)"));
  EXPECT_TRUE(has_line(r.out, "inertia:            27000 positive, 0 negative, 0 zero"));
  EXPECT_TRUE(
      has_line(r.out, "nnz:                105300 in the file, 105300 given to the solver"));
  // Cholesky is backward stable: a few units of roundoff times a small growth factor.
  EXPECT_LT(value_after(r.out, "relative residual:"), 1e-14) << r.out;
  // The Laplacian's condition number is below 1e3 here.
  EXPECT_LT(value_after(r.out, "error against 1:"), 1e-11) << r.out;
  EXPECT_GT(value_after(r.out, "nnz(L+U):"), 105300);
  EXPECT_GT(value_after(r.out, "peak memory:"), 0);
}

// Every real matrix of the collection, with the type the program picks and a bound on the
// backward error fit for it; the small ones come with the repository.
struct Case {
  const char* file;
  bool local;
  int mtype;
  double residual;  // bound on the normwise backward error
};

TEST(ZtrSolve, RealTestMatrices) {
  const Case cases[] = {
      {"LFAT5.mtx", true, 2, 1e-14},     {"impcol_a.mtx", true, 11, 1e-13},
      {"olm1000.mtx", true, 11, 1e-13},  {"bcsstk13.mtx", false, 2, 1e-14},
      {"bcsstk16.mtx", false, 2, 1e-14}, {"cryg2500.mtx", false, 11, 1e-13},
      {"watt_2.mtx", false, 11, 1e-13},  {"rajat01.mtx", false, 11, 1e-13},
  };
  int ran = 0;
  for (const Case& c : cases) {
    const std::string path = c.local ? local_data(c.file) : shared_data(c.file);
    if (path.empty()) continue;
    SCOPED_TRACE(c.file);
    const ToolRun r = run({path});
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_NE(r.out.find("matrix type:        " + std::to_string(c.mtype) + " ("),
              std::string::npos)
        << r.out;
    EXPECT_LT(value_after(r.out, "relative residual:"), c.residual) << r.out;
    ++ran;
  }
  EXPECT_GE(ran, 4);
  // An ill-conditioned KKT matrix (condition about 1e10): type -2 perturbs pivots, and the
  // inertia line says that its counts belong to the perturbed matrix; the unsymmetric LU
  // solves it to roundoff.
  const std::string kkt = local_data("tumorAntiAngiogenesis_2.mtx");
  ToolRun t = run({kkt});
  ASSERT_EQ(t.status, 0) << t.out << t.err;
  EXPECT_TRUE(has_line(t.out, "matrix type:        -2 (real symmetric indefinite)"));
  const double perturbed = value_after(t.out, "perturbed pivots:");
  const std::size_t at = t.out.find("\ninertia:            ");
  ASSERT_NE(at, std::string::npos);
  int pos = -1, neg = -1, zero = -1;
  ASSERT_EQ(std::sscanf(t.out.c_str() + at, "\ninertia: %d positive, %d negative, %d zero", &pos,
                        &neg, &zero),
            3);
  EXPECT_EQ(pos + neg + zero, 305);
  EXPECT_EQ(perturbed > 0,
            t.out.find(" zero (of the matrix with perturbed pivots)\n") != std::string::npos);
  t = run({"--type", "11", kkt});
  ASSERT_EQ(t.status, 0) << t.out << t.err;
  EXPECT_LT(value_after(t.out, "relative residual:"), 1e-14) << t.out;
}

// Singular matrices: never success with a non-finite solution.
TEST(ZtrSolve, SingularMatricesAreReportedHonestly) {
  for (const std::string& path : {local_data("gent113.mtx"), shared_data("zenios.mtx")}) {
    if (path.empty()) continue;
    SCOPED_TRACE(path);
    const ToolRun r = run({path});
    if (r.status == 0) {
      const double res = value_after(r.out, "relative residual:");
      EXPECT_TRUE(std::isfinite(res)) << r.out;
      EXPECT_GT(value_after(r.out, "perturbed pivots:"), 0) << r.out;
    } else {
      EXPECT_EQ(r.status, 1) << r.out << r.err;
      EXPECT_EQ(r.err.rfind("ztr-solve: " + path + ": ", 0), 0u) << r.err;
    }
  }
}

// An order far beyond the entries given: refused at once, nothing of that order allocated.
TEST(ZtrSolve, EmptyRowsAreRefusedBeforeAllocating) {
  const std::string path = write_file(
      "huge.mtx",
      "%%MatrixMarket matrix coordinate real symmetric\n2000000000 2000000000 1\n1 1 1\n");
  const ToolRun r = run({path});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err,
            "ztr-solve: " + path +
                ": structurally singular: 1 entries leave some of the 2000000000 rows empty\n");
  // The bound counts mirrored entries twice: [0 1; 1 0] stores one entry and is regular.
  const std::string swap =
      write_file("swap.mtx", "%%MatrixMarket matrix coordinate real symmetric\n2 2 1\n2 1 1\n");
  const ToolRun s = run({swap});
  ASSERT_EQ(s.status, 0) << s.out << s.err;
  EXPECT_TRUE(has_line(s.out, "inertia:            1 positive, 1 negative, 0 zero")) << s.out;
  EXPECT_LT(value_after(s.out, "error against 1:"), 1e-15);
}

// A compressed file is solved like the plain one, or refused with one line without zlib.
TEST(ZtrSolve, CompressedFile) {
  const std::string text =
      "%%MatrixMarket matrix coordinate real general\n3 3 4\n1 1 2\n2 2 3\n3 3 4\n1 3 1\n";
  const std::string path = scratch_dir() + "small.mtx.gz";
#ifdef ZTR_SOLVE_HAVE_ZLIB
  gzFile gz = gzopen(path.c_str(), "wb");
  ASSERT_NE(gz, nullptr);
  gzwrite(gz, text.data(), static_cast<unsigned>(text.size()));
  gzclose(gz);
  const ToolRun r = run({path});
  ASSERT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_TRUE(has_line(r.out, "nnz:                4 in the file, 4 given to the solver"));
  EXPECT_LT(value_after(r.out, "error against 1:"), 1e-15);
#else
  write_file("small.mtx.gz", std::string("\x1f\x8b\x08\x00", 4) + text);
  const ToolRun r = run({path});
  EXPECT_EQ(r.status, 3);
  EXPECT_EQ(r.err, "ztr-solve: " + path +
                       ": gzip-compressed, and this build has no zlib (decompress it first)\n");
#endif
}

TEST(ZtrSolve, ComplexMatricesAreNotYetSolved) {
  for (const auto& [file, type] :
       std::vector<std::pair<std::string, int>>{{"young1c.mtx", 13}, {"c.mtx", 4}}) {
    const std::string path = local_data(file);
    const ToolRun r = run({path});
    EXPECT_EQ(r.status, 4) << r.out << r.err;
    EXPECT_EQ(r.err, "ztr-solve: " + path + ": complex matrices (type " + std::to_string(type) +
                         ") are not yet supported by KORVINE\n");
  }
}

// One malformed input of each kind: exit status 3 and one line naming the file and line.
TEST(ZtrSolve, MalformedFiles) {
  const std::string g = "%%MatrixMarket matrix coordinate real general\n";
  const struct {
    const char* name;
    std::string text;
    std::string message;  // after "ztr-solve: PATH"
  } cases[] = {
      {"bad_header.mtx", "%%MatrixMarket matrix sparse real general\n1 1 1\n1 1 1\n",
       ":1: unknown format 'sparse' (coordinate or array)"},
      {"no_banner.mtx", "1 1 1\n1 1 1\n",
       ":1: not a Matrix Market file (the first line must begin with %%MatrixMarket)"},
      {"too_many.mtx", g + "2 2 1\n1 1 1\n2 2 1\n",
       ":4: more entries than the 1 declared on line 2"},
      {"truncated.mtx", g + "% cut short\n3 3 3\n1 1 1\n2 2 1\n",
       ":6: the file ends after 2 of the 3 entries declared on line 3"},
      {"cut_entry.mtx", g + "3 3 3\n1 1 1\n2 2 1\n3 3", ":5: expected a value after the indices"},
      {"out_of_range.mtx", g + "3 3 2\n1 1 1\n2 4 1\n",
       ":4: the column index 4 is out of the range 1..3"},
      {"both_triangles.mtx",
       "%%MatrixMarket matrix coordinate real symmetric\n2 2 3\n1 1 4\n2 1 1\n1 2 1\n",
       ":5: entry (1, 2) lies in the upper triangle, but line 4 put the file's entries in the "
       "lower "
       "one; a symmetric file stores one triangle only"},
      {"not_a_number.mtx", g + "2 2 2\n1 1 1\n2 2 one\n", ":4: the value 'one' is not a number"},
      {"bad_size.mtx", g + "2 two 1\n",
       ":2: the number of columns 'two' is not a non-negative integer"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = write_file(c.name, c.text);
    const ToolRun r = run({path});
    EXPECT_EQ(r.status, 3);
    EXPECT_EQ(r.err, "ztr-solve: " + path + c.message + "\n");
    EXPECT_EQ(r.out, "");
  }
  const std::string dir = scratch_dir();
  ToolRun r = run({dir});
  EXPECT_EQ(r.status, 3);
  EXPECT_EQ(r.err, "ztr-solve: " + dir + ": is a directory, not a Matrix Market file\n");
  // A binary file: the program itself.
  r = run({ZTR_SOLVE_PROGRAM});
  EXPECT_EQ(r.status, 3);
  EXPECT_EQ(r.err, std::string("ztr-solve: ") + ZTR_SOLVE_PROGRAM +
                       ":1: binary data (a NUL byte): not a Matrix Market text file\n");
  r = run({dir + "missing.mtx"});
  EXPECT_EQ(r.status, 3);
  EXPECT_EQ(r.err, "ztr-solve: " + dir + "missing.mtx: cannot open: No such file or directory\n");
  const std::string rect = write_file("rect.mtx", g + "2 3 1\n1 1 1\n");
  r = run({rect});
  EXPECT_EQ(r.status, 3);
  EXPECT_EQ(r.err, "ztr-solve: " + rect + ": the matrix is 2 x 3; the solver needs a square one\n");
}

TEST(ZtrSolve, CommandLineFaults) {
  const struct {
    std::vector<std::string> args;
    int status;
    std::string err;
  } cases[] = {
      {{"--bogus"}, 2, "ztr-solve: unknown option '--bogus' (see --help)\n"},
      {{"-t", "0"}, 2, "ztr-solve: -t: '0' is not a positive thread count\n"},
      {{"-t"}, 2, "ztr-solve: -t needs a value\n"},
      {{"--refine", "-1"}, 2, "ztr-solve: --refine: '-1' is not a step count (0 or more)\n"},
      {{"--type", "5"},
       2,
       "ztr-solve: --type: '5' is not a matrix type (1, 2, -2, 3, 4, -4, 6, 11, 13)\n"},
      {{"a.mtx", "b.mtx"}, 2, "ztr-solve: more than one matrix file given ('a.mtx' and 'b.mtx')\n"},
      {{"--ooc"},
       4,
       "ztr-solve: --ooc: out-of-core factorization is not available in KORVINE yet\n"},
  };
  for (const auto& c : cases) {
    const ToolRun r = run(c.args);
    EXPECT_EQ(r.status, c.status) << c.args[0];
    EXPECT_EQ(r.err, c.err);
  }
  const ToolRun h = run({"--help"});
  EXPECT_EQ(h.status, 0);
  EXPECT_EQ(h.out.rfind("Usage: ztr-solve [options] [MATRIX.mtx]\n", 0), 0u);
  EXPECT_NE(h.out.find(ztr::mm::compressed_input_supported() ? "(.mtx.gz) are read"
                                                             : "(.mtx.gz) are refused"),
            std::string::npos);
  // A type that cannot hold the file's matrix.
  const std::string path = local_data("c.mtx");
  const ToolRun t = run({"--type", "11", path});
  EXPECT_EQ(t.status, 2);
  EXPECT_EQ(t.err,
            "ztr-solve: " + path + ": a complex matrix cannot be solved as the real type 11\n");
}

// A symmetric matrix with a positive diagonal that is indefinite: the Cholesky attempt is
// refused and the indefinite factorization takes over, saying so once.
TEST(ZtrSolve, FallsBackFromPositiveDefiniteToIndefinite) {
  const std::string path = write_file(
      "indefinite.mtx",
      "%%MatrixMarket matrix coordinate real symmetric\n3 3 4\n1 1 1\n2 1 2\n2 2 1\n3 3 1\n");
  const ToolRun r = run({path});
  ASSERT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_TRUE(has_line(r.out,
                       "not positive definite: solving again as real symmetric "
                       "indefinite (type -2)"))
      << r.out;
  EXPECT_TRUE(has_line(r.out, "matrix type:        -2 (real symmetric indefinite)"));
  EXPECT_TRUE(has_line(r.out, "inertia:            2 positive, 1 negative, 0 zero"));
  EXPECT_LT(value_after(r.out, "error against 1:"), 1e-14);
  // With the type forced there is no second attempt.
  const ToolRun f = run({"--type", "2", path});
  EXPECT_EQ(f.status, 1);
  EXPECT_EQ(f.err, "ztr-solve: " + path +
                       ": KORVINE failed in the factorization: error -4 (zero pivot, numerical "
                       "factorization problem)\n");
}

// A general file with one triangle is the triangular matrix it states, with a note line.
TEST(ZtrSolve, GeneralFileWithOneTriangle) {
  const std::string path = write_file(
      "lower.mtx",
      "%%MatrixMarket matrix coordinate real general\n3 3 5\n1 1 2\n2 1 1\n2 2 3\n3 1 -1\n3 3 "
      "4\n");
  const ToolRun r = run({path});
  ASSERT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_TRUE(has_line(r.out,
                       "note: the general matrix has entries in its lower triangle only; "
                       "it is solved as given (a symmetric matrix must be declared "
                       "symmetric)"))
      << r.out;
  EXPECT_TRUE(has_line(r.out, "matrix type:        11 (real unsymmetric)"));
  EXPECT_LT(value_after(r.out, "error against 1:"), 1e-15);
  // Both triangles, or a symmetric file: no note.
  const ToolRun s = run({local_data("impcol_a.mtx")});
  EXPECT_EQ(s.out.find("note:"), std::string::npos);
  const ToolRun t = run({local_data("LFAT5.mtx")});
  EXPECT_EQ(t.out.find("note:"), std::string::npos);
}

// A skew-symmetric file (lower triangle stored) is expanded for the unsymmetric LU; a
// hermitian-style or sign error would show in the error against 1.
TEST(ZtrSolve, SkewSymmetricFile) {
  const std::string path = write_file(
      "skew.mtx",
      "%%MatrixMarket matrix coordinate real skew-symmetric\n4 4 3\n2 1 -1\n3 2 -2\n4 3 -3\n");
  const ToolRun r = run({path});
  ASSERT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_TRUE(has_line(r.out, "matrix type:        11 (real unsymmetric)"));
  EXPECT_TRUE(has_line(r.out, "nnz:                3 in the file, 6 given to the solver"));
  EXPECT_LT(value_after(r.out, "error against 1:"), 1e-14) << r.out;
  EXPECT_LT(value_after(r.out, "relative residual:"), 1e-15) << r.out;
}

TEST(ZtrSolve, RightHandSidesInAndSolutionOut) {
  // A = [4 1 0; 1 3 1; 0 1 2] (upper triangle stored), B = A * [1 2; -1 0; 2 1].
  const std::string a = write_file("spd.mtx",
                                   "%%MatrixMarket matrix coordinate real symmetric\n3 3 5\n1 1 "
                                   "4\n1 2 1\n2 2 3\n2 3 1\n3 3 2\n");
  const std::string b =
      write_file("rhs.mtx", "%%MatrixMarket matrix array real general\n3 2\n3\n0\n3\n8\n3\n2\n");
  const std::string x = scratch_dir() + "x.mtx";
  const ToolRun r = run({"-b", b, "-o", x, a});
  ASSERT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_TRUE(has_line(r.out, "right-hand sides:   2"));
  EXPECT_EQ(r.out.find("error against 1"), std::string::npos);
  ztr::mm::Dense sol;
  std::string error;
  ASSERT_TRUE(ztr::mm::read_array(x, sol, error)) << error;
  ASSERT_EQ(sol.rows, 3);
  ASSERT_EQ(sol.cols, 2);
  const double want[6] = {1, -1, 2, 2, 0, 1};
  for (int k = 0; k < 6; ++k) EXPECT_NEAR(sol.values[k], want[k], 1e-14);

  const std::string wrong =
      write_file("rhs4.mtx", "%%MatrixMarket matrix array real general\n4 1\n1\n2\n3\n4\n");
  ToolRun w = run({"-b", wrong, a});
  EXPECT_EQ(w.status, 3);
  EXPECT_EQ(w.err, "ztr-solve: " + wrong + ": 4 rows, but the matrix has 3\n");
  w = run({"-o", "/proc/no/such/dir/x.mtx", a});
  EXPECT_EQ(w.status, 3);
  EXPECT_EQ(w.err, "ztr-solve: /proc/no/such/dir/x.mtx: cannot write: No such file or directory\n");
}

TEST(ZtrSolve, SolverOptions) {
  const std::string lfat5 = local_data("LFAT5.mtx");
  // Single precision on a badly scaled matrix: the residual of float arithmetic.
  ToolRun r = run({"--single", lfat5});
  ASSERT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_TRUE(has_line(r.out, "precision:          single"));
  EXPECT_LT(value_after(r.out, "relative residual:"), 1e-6);
  EXPECT_GT(value_after(r.out, "relative residual:"), 1e-12);  // not secretly double

  // The type forced: the unsymmetric LU on a symmetric matrix.
  r = run({"--type", "11", "--refine", "3", lfat5});
  ASSERT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_TRUE(has_line(r.out, "matrix type:        11 (real unsymmetric)"));
  EXPECT_LE(value_after(r.out, "refinement steps:"), 3);
  EXPECT_LT(value_after(r.out, "relative residual:"), 1e-14);

  // The solver's own report, with the analysis' factor count agreeing with ours.
  r = run({"-v", "-t", "2", lfat5});
  ASSERT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_NE(r.out.find("=== KORVINE: solving a symmetric positive definite system ==="),
            std::string::npos);
  EXPECT_NE(r.out.find("Summary: ( factorization phase )"), std::string::npos);
  EXPECT_NE(r.out.find("Summary: ( solution phase )"), std::string::npos);
  const std::size_t at = r.out.find("number of non-zeros in L+U:");
  ASSERT_NE(at, std::string::npos);
  EXPECT_EQ(std::strtod(r.out.c_str() + at + 27, nullptr), value_after(r.out, "nnz(L+U):"));
  // Without -v the report stays out of the output.
  r = run({lfat5});
  EXPECT_EQ(r.out.find("KORVINE:"), std::string::npos) << r.out;
}

}  // namespace
