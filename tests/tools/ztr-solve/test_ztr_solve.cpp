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
  for (const char* line :
       {"n:                  27000", "matrix type:        2 (real symmetric positive definite)",
        "inertia:            27000 positive, 0 negative, 0 zero",
        "nnz:                105300 in the file, 105300 given to the solver"})
    EXPECT_TRUE(has_line(r.out, line)) << line << "\n" << r.out;
  // Cholesky is backward stable: a few units of roundoff times a small growth factor.
  EXPECT_LT(value_after(r.out, "relative residual:"), 1e-14) << r.out;
  // The Laplacian's condition number is below 1e3 here.
  EXPECT_LT(value_after(r.out, "error against 1:"), 1e-11) << r.out;
  EXPECT_GT(value_after(r.out, "nnz(L+U):"), 105300);
  EXPECT_GT(value_after(r.out, "peak memory:"), 0);
}

// Every real matrix of the collection, with the type the program picks and a bound on the
// backward error fit for it; the small ones come with the repository. Without -v the
// solver's report stays out, and matrices with both triangles get no note.
TEST(ZtrSolve, RealTestMatrices) {
  const struct {
    const char* file;
    bool local;
    int mtype;
    double residual;  // bound on the normwise backward error
  } cases[] = {
      {"LFAT5.mtx", true, 2, 1e-14},     {"impcol_a.mtx", true, 11, 1e-13},
      {"olm1000.mtx", true, 11, 1e-13},  {"bcsstk13.mtx", false, 2, 1e-14},
      {"bcsstk16.mtx", false, 2, 1e-14}, {"cryg2500.mtx", false, 11, 1e-13},
      {"watt_2.mtx", false, 11, 1e-13},  {"rajat01.mtx", false, 11, 1e-13},
  };
  int ran = 0;
  for (const auto& c : cases) {
    const std::string path = c.local ? local_data(c.file) : shared_data(c.file);
    if (path.empty()) continue;
    SCOPED_TRACE(c.file);
    const ToolRun r = run({path});
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_NE(r.out.find("matrix type:        " + std::to_string(c.mtype) + " ("),
              std::string::npos)
        << r.out;
    EXPECT_LT(value_after(r.out, "relative residual:"), c.residual) << r.out;
    EXPECT_EQ(r.out.find("KORVINE:"), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("note:"), std::string::npos) << r.out;
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
  const std::size_t at = t.out.find("\ninertia:            ");
  ASSERT_NE(at, std::string::npos);
  int pos = -1, neg = -1, zero = -1;
  ASSERT_EQ(std::sscanf(t.out.c_str() + at, "\ninertia: %d positive, %d negative, %d zero", &pos,
                        &neg, &zero),
            3);
  EXPECT_EQ(pos + neg + zero, 305);
  EXPECT_EQ(value_after(t.out, "perturbed pivots:") > 0,
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
      EXPECT_TRUE(std::isfinite(value_after(r.out, "relative residual:"))) << r.out;
      EXPECT_GT(value_after(r.out, "perturbed pivots:"), 0) << r.out;
    } else {
      EXPECT_EQ(r.status, 1) << r.out << r.err;
      EXPECT_EQ(r.err.rfind("ztr-solve: " + path + ": ", 0), 0u) << r.err;
    }
  }
}

// Small files that each take one path of the program, solved with the solution 1:
// the lines it must print.
TEST(ZtrSolve, SmallFilesSolved) {
  const std::string sym = "%%MatrixMarket matrix coordinate real symmetric\n";
  const struct {
    const char* name;
    std::string text;
    std::vector<std::string> lines;
  } cases[] = {
      // A positive diagonal but indefinite: the Cholesky attempt is refused and the
      // indefinite factorization takes over, saying so once.
      {"indefinite.mtx",
       sym + "3 3 4\n1 1 1\n2 1 2\n2 2 1\n3 3 1\n",
       {"not positive definite: solving again as real symmetric indefinite (type -2)",
        "matrix type:        -2 (real symmetric indefinite)",
        "inertia:            2 positive, 1 negative, 0 zero"}},
      // A general file with one triangle is the triangular matrix it states.
      {"lower.mtx",
       "%%MatrixMarket matrix coordinate real general\n3 3 5\n1 1 2\n2 1 1\n2 2 3\n3 1 -1\n3 3 "
       "4\n",
       {"note: the general matrix has entries in its lower triangle only; it is solved as given "
        "(a symmetric matrix must be declared symmetric)",
        "matrix type:        11 (real unsymmetric)"}},
      // Skew-symmetric, lower triangle stored: expanded with the sign for the unsymmetric LU.
      {"skew.mtx",
       "%%MatrixMarket matrix coordinate real skew-symmetric\n4 4 3\n2 1 -1\n3 2 -2\n4 3 -3\n",
       {"matrix type:        11 (real unsymmetric)",
        "nnz:                3 in the file, 6 given to the solver"}},
      // The empty-row bound counts mirrored entries twice: [0 1; 1 0] is regular.
      {"swap.mtx", sym + "2 2 1\n2 1 1\n", {"inertia:            1 positive, 1 negative, 0 zero"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const ToolRun r = run({write_file(c.name, c.text)});
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    for (const std::string& line : c.lines) EXPECT_TRUE(has_line(r.out, line)) << line;
    EXPECT_EQ(r.out.find("note:") != std::string::npos, c.lines[0].rfind("note:", 0) == 0);
    EXPECT_LT(value_after(r.out, "error against 1:"), 1e-14) << r.out;
    EXPECT_LT(value_after(r.out, "relative residual:"), 1e-15) << r.out;
  }
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

// Every refusal: its exit status (2 usage, 3 input, 1 solver, 4 not yet) and one line on
// standard error naming the file ('@' stands for the last argument) and, for a malformed
// file, the line; nothing on output unless the solve was done.
TEST(ZtrSolve, RefusalsGiveTheirStatusAndOneLine) {
  const std::string g = "%%MatrixMarket matrix coordinate real general\n";
  const std::string sym = "%%MatrixMarket matrix coordinate real symmetric\n";
  const std::string dir = scratch_dir();
  const std::string indefinite =
      write_file("indefinite.mtx", sym + "3 3 4\n1 1 1\n2 1 2\n2 2 1\n3 3 1\n");
  const std::string rhs4 =
      write_file("rhs4.mtx", "%%MatrixMarket matrix array real general\n4 1\n1\n2\n3\n4\n");
  const std::string crhs =
      write_file("crhs.mtx", "%%MatrixMarket matrix array complex general\n3 1\n1 0\n2 0\n3 1\n");
  const std::string csym =
      "%%MatrixMarket matrix coordinate complex symmetric\n2 2 2\n1 1 1 1\n2 2 1 0\n";
  const struct {
    std::vector<std::string> args;
    int status;
    std::string err;
    bool quiet = true;
  } cases[] = {
      {{"--bogus"}, 2, "unknown option '--bogus' (see --help)"},
      {{"-t", "0"}, 2, "-t: '0' is not a positive thread count"},
      {{"-t"}, 2, "-t needs a value"},
      {{"--refine", "-1"}, 2, "--refine: '-1' is not a step count (0 or more)"},
      {{"--type", "5"}, 2, "--type: '5' is not a matrix type (1, 2, -2, 3, 4, -4, 6, 11, 13)"},
      {{"a.mtx", "b.mtx"}, 2, "more than one matrix file given ('a.mtx' and 'b.mtx')"},
      {{"--type", "11", local_data("c.mtx")},
       2,
       "@: a complex matrix cannot be solved as the real type 11"},
      {{"--type", "6", local_data("c.mtx")},
       2,
       "@: a hermitian matrix cannot be solved as the complex symmetric type 6"},
      {{"--type", "-4", write_file("csym.mtx", csym)},
       2,
       "@: a complex symmetric matrix cannot be solved as the complex hermitian indefinite "
       "type -4"},
      {{"-b", crhs, indefinite}, 3, crhs + ": complex right-hand sides for the real matrix type 2"},
      {{write_file("no_banner.mtx", "1 1 1\n1 1 1\n")},
       3,
       "@:1: not a Matrix Market file (the first line must begin with %%MatrixMarket)"},
      {{write_file("truncated.mtx", g + "% cut\n3 3 3\n1 1 1\n2 2 1\n")},
       3,
       "@:6: the file ends after 2 of the 3 entries declared on line 3"},
      {{dir}, 3, "@: is a directory, not a Matrix Market file"},
      {{dir + "missing.mtx"}, 3, "@: cannot open: No such file or directory"},
      {{ZTR_SOLVE_PROGRAM}, 3, "@:1: binary data (a NUL byte): not a Matrix Market text file"},
      {{write_file("rect.mtx", g + "2 3 1\n1 1 1\n")},
       3,
       "@: the matrix is 2 x 3; the solver needs a square one"},
      {{"-b", rhs4, indefinite}, 3, rhs4 + ": 4 rows, but the matrix has 3"},
      {{"-o", "/proc/no/such/dir/x.mtx", indefinite},
       3,
       "/proc/no/such/dir/x.mtx: cannot write: No such file or directory",
       false},
      // An order far beyond the entries given: refused before anything of it is allocated.
      {{write_file("huge.mtx", sym + "2000000000 2000000000 1\n1 1 1\n")},
       1,
       "@: structurally singular: 1 entries leave some of the 2000000000 rows empty"},
      {{write_file("empty_row.mtx", g + "2 2 1\n1 1 1\n")},
       1,
       "@: structurally singular: 1 entries leave some of the 2 rows empty"},
      // With the type forced there is no second attempt.
      {{"--type", "2", indefinite},
       1,
       "@: KORVINE failed in the factorization: error -4 (zero pivot, numerical factorization "
       "problem)"},
  };
  for (const auto& k : cases) {
    SCOPED_TRACE(k.err);
    const ToolRun r = run(k.args);
    std::string err = "ztr-solve: " + k.err + "\n";
    if (err.find('@') != std::string::npos) err.replace(err.find('@'), 1, k.args.back());
    EXPECT_EQ(r.status, k.status);
    EXPECT_EQ(r.err, err);
    if (k.quiet) {
      EXPECT_EQ(r.out, "");
    }
  }
}

// Complex files, each with the type the program picks (or is given) and a bound on the
// backward error: hermitian as 4 (falling back to -4), complex symmetric as 6, general as 13;
// a hermitian file expanded for the full-pattern types mirrors with the conjugate.
TEST(ZtrSolve, ComplexMatrices) {
  const std::string herm = "%%MatrixMarket matrix coordinate complex hermitian\n";
  const std::string c = local_data("c.mtx"), young = local_data("young1c.mtx");
  const struct {
    std::vector<std::string> args;
    std::vector<std::string> lines;
    double residual;
  } cases[] = {
      {{c},
       {"matrix type:        4 (complex hermitian positive definite)",
        "inertia:            3 positive, 0 negative, 0 zero"},
       1e-15},
      {{"--type", "-4", c},
       {"matrix type:        -4 (complex hermitian indefinite)",
        "inertia:            3 positive, 0 negative, 0 zero"},
       1e-15},
      {{"--type", "13", c}, {"nnz:                5 in the file, 7 given to the solver"}, 1e-15},
      {{"--type", "3", c}, {"matrix type:        3 (complex structurally symmetric)"}, 1e-15},
      // [1 2+i; 2-i 1]: a positive diagonal, but determinant -4.
      {{write_file("cindef.mtx", herm + "2 2 3\n1 1 1 0\n2 1 2 -1\n2 2 1 0\n")},
       {"not positive definite: solving again as complex hermitian indefinite (type -4)",
        "inertia:            1 positive, 1 negative, 0 zero"},
       1e-15},
      // Complex symmetric, lower triangle stored: mirrored without the conjugate.
      {{write_file("csym.mtx",
                   "%%MatrixMarket matrix coordinate complex symmetric\n3 3 5\n1 1 2 1\n2 1 1 "
                   "-1\n2 2 3 0\n3 2 0 2\n3 3 1 -2\n")},
       {"matrix type:        6 (complex symmetric)",
        "nnz:                5 in the file, 5 given to the solver"},
       1e-15},
      {{young}, {"matrix type:        13 (complex unsymmetric)"}, 1e-14},
      {{"--type", "3", young}, {"matrix type:        3 (complex structurally symmetric)"}, 1e-14},
  };
  for (const auto& k : cases) {
    SCOPED_TRACE(k.args.back());
    const ToolRun r = run(k.args);
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    for (const std::string& line : k.lines) EXPECT_TRUE(has_line(r.out, line)) << line << r.out;
    EXPECT_LT(value_after(r.out, "relative residual:"), k.residual) << r.out;
    EXPECT_LT(value_after(r.out, "error against 1:"), 1e-12) << r.out;
  }
  // Single precision: the residual of float arithmetic, not of double.
  const ToolRun r = run({"--single", young});
  ASSERT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_TRUE(has_line(r.out, "precision:          single"));
  EXPECT_LT(value_after(r.out, "relative residual:"), 1e-5) << r.out;
  EXPECT_GT(value_after(r.out, "relative residual:"), 1e-12) << r.out;
}

// A complex right-hand side in and the solution out: A = [2 1-i; 1+i 3] (lower triangle
// stored), x = [1+i; -1]; a real right-hand side is taken as complex.
TEST(ZtrSolve, ComplexRightHandSidesAndSolution) {
  const std::string a =
      write_file("herm2.mtx",
                 "%%MatrixMarket matrix coordinate complex hermitian\n2 2 3\n1 1 2 0\n2 1 1 "
                 "1\n2 2 3 0\n");
  const std::string b =
      write_file("crhs2.mtx", "%%MatrixMarket matrix array complex general\n2 1\n1 3\n-3 2\n");
  const std::string x = scratch_dir() + "cx.mtx";
  for (const bool single : {false, true}) {
    SCOPED_TRACE(single ? "single" : "double");
    std::vector<std::string> args{"-b", b, "-o", x, a};
    if (single) args.insert(args.begin(), "--single");
    const ToolRun r = run(args);
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    ztr::mm::Dense sol;
    std::string error;
    ASSERT_TRUE(ztr::mm::read_array(x, sol, error)) << error;
    ASSERT_TRUE(sol.complex);
    ASSERT_EQ(sol.rows, 2);
    const double want[4] = {1, 1, -1, 0};
    for (int k = 0; k < 4; ++k) EXPECT_NEAR(sol.values[k], want[k], single ? 1e-6 : 1e-15);
  }
  // A real b = [2; 4] is read as complex; judged by the residual.
  const ToolRun r = run(
      {"-b", write_file("rrhs2.mtx", "%%MatrixMarket matrix array real general\n2 1\n2\n4\n"), a});
  ASSERT_EQ(r.status, 0) << r.out << r.err;
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
  for (const char* text : {"=== KORVINE: solving a symmetric positive definite system ===",
                           "Summary: ( factorization phase )", "Summary: ( solution phase )"})
    EXPECT_NE(r.out.find(text), std::string::npos) << text;
  const std::size_t at = r.out.find("number of non-zeros in L+U:");
  ASSERT_NE(at, std::string::npos);
  EXPECT_EQ(std::strtod(r.out.c_str() + at + 27, nullptr), value_after(r.out, "nnz(L+U):"));

  // Out of core: the factors go to the default temporary files, which the release removes.
  r = run({"--ooc", "-v", lfat5});
  ASSERT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_TRUE(
      has_line(r.out, "=== KORVINE is running in Out-Of-Core mode, because iparam(60)=2 ==="));
  EXPECT_LT(value_after(r.out, "relative residual:"), 1e-14);
  EXPECT_NE(::access("ooc_temp.lnz", F_OK), 0);

  r = run({"--help"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out.rfind("Usage: ztr-solve [options] [MATRIX.mtx]\n", 0), 0u);
  EXPECT_NE(r.out.find(ztr::mm::compressed_input_supported() ? "(.mtx.gz) are read"
                                                             : "(.mtx.gz) are refused"),
            std::string::npos);
}

}  // namespace
