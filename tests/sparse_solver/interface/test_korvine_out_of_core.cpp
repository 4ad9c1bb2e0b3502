// The solver out of core, end to end through KORVINE: solutions equal to the in-core ones for
// every matrix type in both precisions, several right-hand sides and refinement; the solve
// reading each block once per direction; the files of two matrix numbers, removed or kept as
// keep_file says; every failure of the files (open, write, read) giving its error with
// nothing leaked and the handle still releasable; and the factorization's memory held within
// max_core_size, measured in a child process.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <complex>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <type_traits>
#include <vector>

#include "service/file_io.h"
#include "service/platform.h"
#include "sparse_solver/interface/handle.h"
#include "sparse_solver/storage/ooc_files.h"
#include "testalloc.h"
#include "tests/sparse_solver/korvine_support.h"
#include "tests/support/child.h"

namespace ztr::test {
namespace {

using C = std::complex<double>;
using CF = std::complex<float>;

// A temporary directory for the files, and the out-of-core variables pointing into it: the
// base name, the core size in megabytes, the keep switch.  Restores the environment seam and
// removes the directory at the end.
class OocPlace {
 public:
  explicit OocPlace(int core_mb, int keep = 1) : saved_(platform().getenv) {
    char name[] = "/tmp/ztr_korvine_ooc_XXXXXX";
    const char* made = mkdtemp(name);
    EXPECT_NE(made, nullptr);
    dir_ = made != nullptr ? made : "/nonexistent";
    vars_ = {{"ZTR_KORVINE_OOC_PATH", dir_ + "/f"},
             {"ZTR_KORVINE_OOC_MAX_CORE_SIZE", std::to_string(core_mb)},
             {"ZTR_KORVINE_OOC_KEEP_FILE", std::to_string(keep)}};
    platform().getenv = [](const char* v) -> const char* {
      const auto it = vars_.find(v);
      if (it != vars_.end()) return it->second.c_str();
      return std::strncmp(v, "ZTR_KORVINE_OOC_", 16) == 0 ? nullptr : default_platform().getenv(v);
    };
  }
  ~OocPlace() {
    platform().getenv = saved_;
    std::error_code ignored;
    std::filesystem::remove_all(dir_, ignored);
  }
  void set_base(const std::string& base) { vars_["ZTR_KORVINE_OOC_PATH"] = base; }
  std::string base() const { return dir_ + "/f"; }
  // The least core size the analysed handle `k` can run out of core with (iparm[61] and
  // iparm[62] are the analysis' estimates in kilobytes): its window holds little more than
  // its two largest blocks.
  void least_core(const Korvine& k) {
    vars_["ZTR_KORVINE_OOC_MAX_CORE_SIZE"] = std::to_string((k.iparm[61] + k.iparm[62]) / 1024 + 1);
  }
  bool exists(const std::string& file) const { return std::filesystem::exists(dir_ + "/" + file); }
  int files() const {
    int count = 0;
    for (const auto& e : std::filesystem::directory_iterator(dir_)) count += e.is_regular_file();
    return count;
  }

 private:
  std::string dir_;
  static inline std::map<std::string, std::string> vars_;
  const char* (*saved_)(const char*);
};

template <typename T>
constexpr bool kComplex = !std::is_floating_point_v<T>;

template <typename T>
int precision_flag() {
  return std::is_same_v<T, float> || std::is_same_v<T, CF> ? 1 : 0;
}

template <typename T>
double magnitude(T v) {
  return static_cast<double>(std::abs(v));
}

// Solves with `nrhs` right-hand sides and returns the solution; out of core (`place` given:
// iparm[59] = 2 at analysis) with the least core size.  `k` keeps the handle for the
// caller's checks.
template <typename T>
std::vector<T> solve_with(Korvine& k, Input<T>& in, int nrhs, OocPlace* place = nullptr) {
  std::vector<T> b(static_cast<std::size_t>(in.n) * nrhs), x(b.size());
  for (std::size_t i = 0; i < b.size(); ++i) b[i] = T(static_cast<float>(1 + i % 7));
  EXPECT_EQ(k.call(11, in, b.data(), x.data(), nrhs), 0);
  if (place != nullptr) place->least_core(k);
  EXPECT_EQ(k.call(23, in, b.data(), x.data(), nrhs), 0);
  return x;
}

template <typename T>
void every_type_matches(double bound) {
  // Two threads' panel width, whatever the test before left: on one thread's wider panels the
  // two largest blocks of some of these small problems hold the whole factor, and the solve
  // would read nothing back.
  const int given = ZTR_Get_Max_Threads();
  ZTR_Set_Num_Threads(2);
  for (const int mtype : {1, 2, -2, 11, 3, 4, -4, 6, 13}) {
    const bool complex_type = mtype == 3 || mtype == 4 || mtype == -4 || mtype == 6 || mtype == 13;
    if (complex_type != kComplex<T>) continue;
    SCOPED_TRACE("type " + std::to_string(mtype));
    Input<T> in = typed_grid_problem<T>(mtype, 16);
    const int nrhs = 3;
    Korvine core(mtype, {{27, precision_flag<T>()}, {7, 2}});
    const std::vector<T> want = solve_with(core, in, nrhs);
    OocPlace place(1);
    Korvine ooc(mtype, {{27, precision_flag<T>()}, {7, 2}, {59, 2}});
    const std::vector<T> got = solve_with(ooc, in, nrhs, &place);
    double worst = 0, size = 0;
    for (std::size_t i = 0; i < want.size(); ++i) {
      worst = std::max(worst, magnitude(got[i] - want[i]));
      size = std::max(size, magnitude(want[i]));
    }
    EXPECT_LT(worst, bound * size);
    const ControlRecord* c = handle_control(ooc.pt);
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(c->ooc.state, kOocStateOutOfCore);
    EXPECT_GT(c->ooc.written_factor, 0u);
    EXPECT_GT(c->ooc.read_solve, 0u);
    EXPECT_TRUE(place.exists("f.lnz"));
    EXPECT_EQ(place.exists("f.unz"), mtype == 1 || mtype == 11 || mtype == 3 || mtype == 13);
  }
  ZTR_Set_Num_Threads(given);
}

TEST(KorvineOutOfCore, EveryTypeSolvesAsInCoreInDouble) {
  every_type_matches<double>(1e-10);
  every_type_matches<C>(1e-10);
}
TEST(KorvineOutOfCore, EveryTypeSolvesAsInCoreInSingle) {
  every_type_matches<float>(1e-4);
  every_type_matches<CF>(1e-4);
}

// A solve of ten right-hand sides reads each block at most once per direction: no more than
// twice the factor's values (the window's least size keeps little between them).
TEST(KorvineOutOfCore, SolveReadsEachBlockOncePerDirection) {
  OocPlace place(1);
  Input<double> in = typed_grid_problem<double>(2, 18);
  Korvine k(2, {{59, 2}});
  const std::vector<double> x = solve_with(k, in, 10, &place);
  const ControlRecord* c = handle_control(k.pt);
  const double values = static_cast<double>(c->sn.values) * sizeof(double);
  EXPECT_EQ(k.iparm[6], 0);  // no refinement step read the factors again
  EXPECT_LE(c->ooc.read_solve, 2 * values);
  EXPECT_GE(c->ooc.read_solve, values);
}

// Two matrix numbers keep two sets of files (the second numbered 2): the values, the
// structure and the pivots, with U's own for a separate U.  Phase -1 removes them with
// keep_file = 1 and leaves them with keep_file = 0.
TEST(KorvineOutOfCore, FilesByMatrixNumberRemovedOrKept) {
  for (const int keep : {1, 0}) {
    SCOPED_TRACE("keep_file " + std::to_string(keep));
    OocPlace place(1, keep);
    Input<double> in = typed_grid_problem<double>(11, 6);
    Korvine k(11, {{59, 2}, {12, 0}});
    k.maxfct = 2;
    std::vector<double> b(in.n, 1.0), x(in.n);
    ASSERT_EQ(k.call(11, in, b.data(), x.data()), 0);
    place.least_core(k);
    for (int m : {1, 2}) {
      k.mnum = m;
      ASSERT_EQ(k.call(23, in, b.data(), x.data()), 0);
    }
    const std::vector<std::string> kinds = {".ind", ".lnz", ".unz", ".jal", ".jau",
                                            ".lup", ".uup", ".sin", ".sle"};
    for (const char* number : {"", "2"})
      for (const std::string& ext : kinds)
        EXPECT_TRUE(place.exists(std::string("f") + number + ext)) << ext;
    EXPECT_EQ(place.files(), 18);
    k.release();
    EXPECT_EQ(place.files(), keep == 0 ? 18 : 0);
  }
}

// A file table whose n-th operation of one kind fails (open: null; write or read: nothing
// moved), over the real one.
struct FailingFiles {
  enum Op { kOpen, kWrite, kRead };
  static inline int countdown = -1;
  static inline Op op = kOpen;
  static inline int seen = 0;
  FileOps saved = file_ops();
  FailingFiles(Op which, int nth) {
    op = which;
    countdown = nth;
    seen = 0;
    file_ops().open = [](const char* p, const char* m) -> FileHandle {
      return hit(kOpen) ? nullptr : default_file_ops().open(p, m);
    };
    file_ops().write = [](const void* b, std::size_t s, std::size_t n, FileHandle f) {
      return hit(kWrite) ? std::size_t{0} : default_file_ops().write(b, s, n, f);
    };
    file_ops().read = [](void* b, std::size_t s, std::size_t n, FileHandle f) {
      return hit(kRead) ? std::size_t{0} : default_file_ops().read(b, s, n, f);
    };
  }
  ~FailingFiles() { file_ops() = saved; }
  static bool hit(Op o) {
    if (o != op) return false;
    ++seen;
    return seen == countdown;
  }
};

// Every open, every write and every read of a factorization and its solve made to fail in
// turn: error -10 for an open, -11 for a transfer, nothing leaked, the handle released, and a
// second handle afterwards solving normally.
TEST(KorvineOutOfCore, EveryFileFailureIsReportedAndNothingLeaks) {
  OocPlace place(1);
  Input<double> in = typed_grid_problem<double>(11, 16);
  std::vector<double> b(in.n, 1.0), x(in.n);
  // Analysis, then factorization and solve out of core with the least core size.
  auto run = [&] {
    Korvine k(11, {{59, 2}});
    if (k.call(11, in, b.data(), x.data()) != 0) return -100;
    place.least_core(k);
    const int e = k.call(23, in, b.data(), x.data());
    k.release();
    return e;
  };
  // Count the operations of one run, each kind by itself.
  int counts[3] = {};
  for (auto op : {FailingFiles::kOpen, FailingFiles::kWrite, FailingFiles::kRead}) {
    FailingFiles counting(op, 0);
    ASSERT_EQ(run(), 0);
    counts[op] = FailingFiles::seen;
  }
  EXPECT_GE(counts[FailingFiles::kOpen], 2);  // L and U
  EXPECT_GE(counts[FailingFiles::kWrite], 10);
  EXPECT_GE(counts[FailingFiles::kRead], 10);
  // The first operations, some in the middle and the last ones of each kind (a read of the
  // factorization and of the solve among them).
  for (auto op : {FailingFiles::kOpen, FailingFiles::kWrite, FailingFiles::kRead}) {
    const int n = counts[op];
    for (int nth : {1, 2, 3, n / 3, n / 2, 2 * n / 3, n - 1, n}) {
      if (nth < 1 || nth > n) continue;
      SCOPED_TRACE("operation " + std::to_string(op) + " number " + std::to_string(nth));
      const long live = ztr_testalloc_live();
      {
        FailingFiles failing(op, nth);
        EXPECT_EQ(run(), op == FailingFiles::kOpen ? -10 : -11);
      }
      EXPECT_EQ(ztr_testalloc_live(), live);
    }
  }
  EXPECT_EQ(run(), 0);
  EXPECT_LT(backward_ratio(grid_operator(16, 15, 14, 2.5, 0.4), x, b, 1), 30.0);
}

// Files that cannot be made (a directory that does not exist; a directory without write
// permission is the same failure, which a test running as root cannot present): -10 with the
// layer's status line, before anything is written, and the handle serves again.
TEST(KorvineOutOfCore, FilesThatCannotBeMadeAreErrorMinusTen) {
  OocPlace place(100);
  place.set_base("/nonexistent/ztr/f");
  Input<double> in = typed_grid_problem<double>(11, 6);
  std::vector<double> b(in.n, 1.0), x(in.n);
  Korvine k(11, {{59, 2}}, 1);
  ASSERT_EQ(k.call(11, in, b.data(), x.data()), 0);
  EXPECT_EQ(k.call_captured(22, in, b.data(), x.data()), -10);
  EXPECT_TRUE(
      k.printed("KORVINE_OOC_OPEN_FILE_ERROR occurred: fact. step: open file for storing lnz\n"))
      << k.out;
  EXPECT_TRUE(k.printed("(      open OOC tmp files) error_num="));
  EXPECT_EQ(handle_control(k.pt)->ooc.written_factor, 0u);
  // The handle keeps its base name; a new one takes the corrected variable.
  k.release();
  place.set_base(place.base());
  Korvine again(11, {{59, 2}});
  EXPECT_EQ(again.call(13, in, b.data(), x.data()), 0);
}

// Resident memory of this process, in kilobytes: its peak so far (VmHWM) or now (VmRSS).
long status_kb(const char* key) {
  std::ifstream f("/proc/self/status");
  std::string line;
  while (std::getline(f, line))
    if (line.rfind(key, 0) == 0) return std::atol(line.c_str() + std::strlen(key));
  return -1;
}

// The 40^3 grid (type 2) factored out of core with max_core_size a quarter of its in-core
// factor: the peak resident memory grows by no more than max_core_size during the
// factorization and solve (the analysis' structures were already there).
ZTR_CHILD(korvine_ooc_peak_memory) {
  const int g = 40;
  const Sparse s = grid_operator(g, g, g, 7.0);
  Input<double> in = solver_input(s, true, 1);
  std::vector<double> b(s.n, 1.0), x(s.n);
  // The in-core factor size, from an analysis alone.
  long long factor_mb = 0;
  {
    Korvine probe(2, {{59, 2}});
    if (probe.call(11, in, b.data(), x.data()) != 0) return 2;
    factor_mb = handle_control(probe.pt)->sn.values * 8 / 1048576;
  }
  const int core = static_cast<int>(factor_mb / 4);
  OocPlace place(core);
  Korvine k(2, {{59, 2}});
  if (k.call(11, in, b.data(), x.data()) != 0) return 3;
  const long before = status_kb("VmRSS:");
  if (k.call(23, in, b.data(), x.data()) != 0) return 4;
  const long peak = status_kb("VmHWM:");
  std::printf("factor %lld MB, core %d MB, resident before %ld KB, peak %ld KB, grown %ld KB\n",
              factor_mb, core, before, peak, peak - before);
  if (backward_ratio(s, x, b, 1) > 30) return 5;
  return peak - before <= static_cast<long>(core) * 1024 * 11 / 10 ? 0 : 1;
}

TEST(KorvineOutOfCore, FactorizationStaysWithinTheCoreSize) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
  GTEST_SKIP() << "resident memory is the sanitizer's";
#endif
  const ChildResult r = run_child("korvine_ooc_peak_memory");
  EXPECT_EQ(r.exit_code, 0) << r.out;
  std::printf("%s", r.out.c_str());
}

}  // namespace
}  // namespace ztr::test
