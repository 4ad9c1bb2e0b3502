// The out-of-core mode's configuration (environment, file, defaults), its decision and
// messages, the analysis' estimates and the statistics block.  The environment is presented
// through the platform seam and the configuration file through the file seam; the real
// environment is read in child processes.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "service/file_io.h"
#include "service/platform.h"
#include "sparse_solver/factor/update_crew.h"
#include "sparse_solver/interface/handle.h"
#include "sparse_solver/interface/ooc_config.h"
#include "sparse_solver/interface/report.h"
#include "tests/sparse_solver/korvine_support.h"

namespace ztr::test {
namespace {

// The environment of the out-of-core variables while in scope; other names read the real one.
class FakeEnv {
 public:
  using Vars = std::map<std::string, std::string>;
  explicit FakeEnv(Vars vars) : saved_(platform().getenv) {
    vars_ = std::move(vars);
    platform().getenv = [](const char* name) -> const char* {
      if (std::strncmp(name, "ZTR_KORVINE_OOC_", 16) != 0) return default_platform().getenv(name);
      const auto it = vars_.find(name);
      return it == vars_.end() ? nullptr : it->second.c_str();
    };
  }
  ~FakeEnv() { platform().getenv = saved_; }

 private:
  static inline std::map<std::string, std::string> vars_;
  const char* (*saved_)(const char*);
};

// Files with the given contents; every open is recorded, whatever the path.
class FakeFiles {
 public:
  explicit FakeFiles(std::map<std::string, std::string> files) : saved_(file_ops()) {
    files_ = std::move(files);
    opened_.clear();
    file_ops().open = [](const char* path, const char* mode) -> FileHandle {
      opened_.push_back(std::string(path) + " " + mode);
      const auto it = files_.find(path);
      if (it == files_.end()) return nullptr;
      return new Stream{it->second, 0};
    };
    file_ops().gets = [](char* buffer, int size, FileHandle f) -> char* {
      auto* s = static_cast<Stream*>(f);
      if (s->pos >= s->text.size() || size < 2) return nullptr;
      int n = 0;
      while (n < size - 1 && s->pos < s->text.size()) {
        buffer[n++] = s->text[s->pos++];
        if (buffer[n - 1] == '\n') break;
      }
      buffer[n] = '\0';
      return buffer;
    };
    file_ops().close = [](FileHandle f) {
      delete static_cast<Stream*>(f);
      return 0;
    };
  }
  ~FakeFiles() { file_ops() = saved_; }
  static const std::vector<std::string>& opened() { return opened_; }

 private:
  struct Stream {
    std::string text;
    std::size_t pos;
  };
  static inline std::map<std::string, std::string> files_;
  static inline std::vector<std::string> opened_;
  FileOps saved_;
};

OocRecord configured(const std::string& file, std::map<std::string, std::string> env = {}) {
  FakeEnv e(std::move(env));
  FakeFiles f({{"./korvine_ooc.cfg", file}});
  OocRecord r;
  read_ooc_config(&r, kOocConfigName, 0);
  return r;
}

TEST(OocConfig, FileGrammar) {
  const std::string core = "ztr_korvine_ooc_max_core_size";
  EXPECT_EQ(configured("ZTR_KORVINE_OOC_MAX_CORE_SIZE=500 # five hundred\n").max_core_size, 500);
  EXPECT_EQ(configured(core + "\t=\t700\n").max_core_size, 700);
  EXPECT_EQ(configured(core + "\t 700\n").max_core_size, 2000);  // no "="
  EXPECT_EQ(configured(core + "=12abc\n").max_core_size, 12);    // "%d" stops at the letter
  EXPECT_EQ(configured(core + "=abc\n").max_core_size, 2000);
  EXPECT_EQ(configured(core + "=99999999999\n").max_core_size, 2000);
  EXPECT_EQ(configured(core + "=-5\n").max_core_size, -5);
  EXPECT_EQ(configured(core + " = 500\n").max_core_size, 2000);  // the key holds the blank
  EXPECT_EQ(configured("# " + core + "=1\n" + core + "#=2\n").max_core_size, 2000);
  EXPECT_EQ(configured(core + "=1\n" + core + "=3").max_core_size, 3);  // no final line end
  const OocRecord k = configured(
      "ztr_korvine_ooc_keep_file\t=0\nztr_korvine_ooc_max_swap_size=9\n"
      "other=4\n");
  EXPECT_EQ(k.keep_file, 0);
  EXPECT_EQ(k.max_swap_size, 0);  // the file has no swap key
  EXPECT_EQ(k.max_core_size, 2000);
  EXPECT_STREQ(k.base_name, "ooc_temp");
  // The path: its first word, then one blank and the rest of the line.
  EXPECT_STREQ(configured("ztr_korvine_ooc_path=  /tmp/My dir/ooc  # where\n").base_name,
               "/tmp/My dir/ooc");
  EXPECT_STREQ(configured("ZTR_KORVINE_OOC_PATH=\t/a   b\tc \r\n").base_name, "/a b\tc");
  EXPECT_STREQ(configured("ztr_korvine_ooc_path=/b\n").base_name, "/b");
  EXPECT_STREQ(configured("ztr_korvine_ooc_path=   \n").base_name, "ooc_temp");
  // A base name is at most 1000 characters.
  const std::string name(1500, 'n');
  EXPECT_EQ(std::string(configured("ztr_korvine_ooc_path=" + name + "\n").base_name),
            name.substr(0, 1000));
  // Lines longer than the buffer: the rest is never a line of its own, the head is read.
  const std::string pad(2 * (kOocConfigLineSize - 1), 'x');  // two buffers' worth
  EXPECT_EQ(configured("#" + pad + "\n" + core + "=300\n").max_core_size, 300);
  EXPECT_EQ(configured(pad + "ztr_korvine_ooc_keep_file=0\n").keep_file, 1);
  EXPECT_EQ(configured(core + "=400 #" + pad + core + "=5\n").max_core_size, 400);
  EXPECT_EQ(
      configured(std::string(kOocConfigLineSize - 2, '#') + "\n" + core + "=6\n").max_core_size, 6);
}

TEST(OocConfig, EnvironmentComesFirst) {
  const std::string file =
      "ztr_korvine_ooc_max_core_size=500\nztr_korvine_ooc_keep_file=0\nztr_korvine_ooc_path=/f\n";
  const OocRecord r = configured(file, {{"ZTR_KORVINE_OOC_MAX_CORE_SIZE", "900"}});
  EXPECT_EQ(r.max_core_size, 900);
  EXPECT_EQ(r.keep_file, 0);
  EXPECT_STREQ(r.base_name, "/f");
  const OocRecord p = configured(file, {{"ZTR_KORVINE_OOC_PATH", "/e"},
                                        {"ZTR_KORVINE_OOC_KEEP_FILE", "7"},
                                        {"ZTR_KORVINE_OOC_MAX_SWAP_SIZE", "bad"}});
  EXPECT_EQ(p.max_core_size, 500);  // a value that is no number leaves it to the file
  EXPECT_EQ(p.max_swap_size, 0);
  EXPECT_EQ(p.keep_file, 7);
  EXPECT_STREQ(p.base_name, "/e");
  // The file is read unless the base name, the core (or swap) size and the keep switch all
  // came from the environment.
  struct Case {
    std::map<std::string, std::string> env;
    std::vector<std::string> opened;
  };
  const std::vector<Case> cases = {
      {{{"ZTR_KORVINE_OOC_PATH", "/e"},
        {"ZTR_KORVINE_OOC_MAX_CORE_SIZE", "1"},
        {"ZTR_KORVINE_OOC_KEEP_FILE", "0"}},
       {}},
      {{{"ZTR_KORVINE_OOC_PATH", "/e"},
        {"ZTR_KORVINE_OOC_MAX_SWAP_SIZE", "1"},
        {"ZTR_KORVINE_OOC_KEEP_FILE", "0"}},
       {}},
      {{{"ZTR_KORVINE_OOC_PATH", "/e"}, {"ZTR_KORVINE_OOC_KEEP_FILE", "0"}},
       {"./korvine_ooc.cfg r"}},
      {{{"ZTR_KORVINE_OOC_PATH", ""},
        {"ZTR_KORVINE_OOC_MAX_CORE_SIZE", "1"},
        {"ZTR_KORVINE_OOC_KEEP_FILE", "0"}},
       {"./korvine_ooc.cfg r"}},
      {{{"ZTR_KORVINE_OOC_CFG_PATH", "/etc/x"}, {"ZTR_KORVINE_OOC_CFG_FILE_NAME", "my.cfg"}},
       {"/etc/x/my.cfg r"}},
  };
  for (const Case& c : cases) {
    FakeEnv e(c.env);
    FakeFiles f({});
    OocRecord r;
    r.max_core_size = 5;  // a stale setting: the reading starts from the defaults
    read_ooc_config(&r, kOocConfigName, 0);
    EXPECT_EQ(FakeFiles::opened(), c.opened) << c.env.size();
    if (c.env.count("ZTR_KORVINE_OOC_MAX_CORE_SIZE") == 0) {
      EXPECT_EQ(r.max_core_size, 2000);
    }
  }
}

TEST(OocConfig, EchoAndUnopenedFileLines) {
  FakeEnv e({{"ZTR_KORVINE_OOC_CFG_PATH", "/d"},
             {"ZTR_KORVINE_OOC_CFG_FILE_NAME", "c.cfg"},
             {"ZTR_KORVINE_OOC_PATH", "/tmp/t"},
             {"ZTR_KORVINE_OOC_MAX_CORE_SIZE", "64"},
             {"ZTR_KORVINE_OOC_MAX_SWAP_SIZE", "8"},
             {"ZTR_KORVINE_OOC_KEEP_FILE", "0"}});
  FakeFiles f({});
  OocRecord r;
  EXPECT_EQ(captured([&] { read_ooc_config(&r, kOocConfigName, 1); }),
            "ooc_cfg_path       got by Env=/d\n"
            "ooc_cfg_file_name  got by Env=c.cfg\n"
            "ooc_path           got by Env=/tmp/t\n"
            "ooc_max_core_size  got by Env=64\n"
            "ooc_max_swap_size got by Env=8\n"
            "ooc_keep_file      got by Env=0\n");
  EXPECT_EQ(captured([&] { read_ooc_config(&r, kOocConfigName, 0); }), "");
  EXPECT_EQ(captured([&] { read_ooc_config(&r, kOocConfigName, -1); }), "");
  EXPECT_EQ(r.max_swap_size, 8);
  FakeEnv none({});
  EXPECT_EQ(captured([&] { read_ooc_config(&r, kOocConfigName, 1); }),
            "The file ./korvine_ooc.cfg was not opened\n");
  // Values too long for a message are cut to what the message buffer holds.
  const std::string dir(5000, 'd');
  FakeEnv long_dir({{"ZTR_KORVINE_OOC_CFG_PATH", dir}});
  const std::size_t opens = FakeFiles::opened().size();
  const std::string out = captured([&] { read_ooc_config(&r, kOocConfigName, 1); });
  EXPECT_EQ(FakeFiles::opened().size(), opens);  // the path does not fit: no open
  EXPECT_EQ(out.substr(0, 40), "ooc_cfg_path       got by Env=dddddddddd");
  EXPECT_NE(out.find("\nThe file dddd"), std::string::npos);
}

OocRecord with_need(int need_ic, int need_ooc, int core, int swap = 0) {
  OocRecord r;
  r.total_estimate = (need_ic - 1) * 1024;
  r.incore_estimate = (need_ooc - 1) * 1024 - 10;
  r.buffer_estimate = 10;
  r.max_core_size = core;
  r.max_swap_size = swap;
  return r;
}

TEST(OocConfig, ModeDecisionAndAnnouncements) {
  const std::string in0 = "=== KORVINE is running in In-Core mode, because iparam(60)=0 ===\n";
  const std::string in1 =
      "=== KORVINE is running in In-Core mode, because iparam(60)=1 and there is enough RAM "
      "for In-Core ===\n";
  const std::string out1 =
      "=== KORVINE is running in Out-Of-Core mode, because iparam(60)=1 and there is not "
      "enough RAM for In-Core ===\n";
  const std::string out2 = "=== KORVINE is running in Out-Of-Core mode, because iparam(60)=2 ===\n";
  struct Case {
    OocRecord rec;
    int mode, state;
    std::string text;
  };
  const std::vector<Case> cases = {
      {with_need(1500, 10, 2000), 1, 0, in1},
      {with_need(2500, 10, 2000), 1, 2, out1},
      {with_need(2000, 10, 2000), 1, 2, out1},
      {with_need(2001, 10, 2000), 1, 2, out1},
      {with_need(1999, 10, 2000), 1, 0, in1},
      {with_need(2500, 10, 2000, 600), 1, 0, in1},
      {with_need(9, 2000, 2000), 2, 2, out2},
      {with_need(9, 10, 2000), 0, 0, in0},
      {with_need(INT_MAX / 1024, 10, INT_MAX, INT_MAX), 1, 0, in1},
  };
  for (std::size_t i = 0; i < cases.size(); ++i) {
    OocRecord r = cases[i].rec;
    int code = 1;
    EXPECT_EQ(captured([&] { code = decide_ooc_mode(&r, cases[i].mode, -1); }), cases[i].text) << i;
    EXPECT_EQ(code, 0);
    EXPECT_EQ(r.state, cases[i].state) << i;
    OocRecord q = cases[i].rec;
    EXPECT_EQ(captured([&] { decide_ooc_mode(&q, cases[i].mode, 0); }), "");
  }
  EXPECT_EQ(ooc_mode(22), 2);
  EXPECT_EQ(ooc_mode(1), 1);
  EXPECT_EQ(ooc_mode(3), 0);
  // Out of core with less core size than its least need fails, in both out-of-core cases.
  for (int mode : {1, 2}) {
    OocRecord r = with_need(2500, 2001, 2000);
    int code = 0;
    EXPECT_EQ(captured([&] { code = decide_ooc_mode(&r, mode, 1); }),
              "*** Error in KORVINE: minimal memory required by OOC mode (2001MB) is less than "
              "variable ZTR_KORVINE_OOC_MAX_CORE_SIZE (2000MB)\n");
    EXPECT_EQ(code, -9);
    EXPECT_EQ(r.error, -9);
    EXPECT_EQ(r.state, -1);
  }
}

TEST(OocConfig, StatisticsBlock) {
  OocRecord r;
  r.written_factor = 2500000;
  r.read_factor = 1500000;
  r.read_solve = 4294967295u;
  r.write_time_factor = 1;
  r.read_time_factor = 0.5;
  r.read_time_solve = 0.25;
  EXPECT_EQ(captured([&] { print_ooc_statistics(r, 4, 1, 10); }),
            "==============================================================\n"
            "----------- Out of core time (in percent (%)) --------------\n"
            "Factorization step (100 (%)):\n"
            "      write to files : 25 %\n"
            "      read from files: 13 %\n"
            "      factorization - write&read: 62 %\n"
            "Solution step (100 (%)):\n"
            "      read from files: 25 %\n"
            "      solve - write&read: 75 %\n"
            "Total time (100 (%)):\n"
            "      read from files: 18 %\n"
            "      total - write&read: 82 %\n"
            "----------- Out of core Mb --------------\n"
            "Factorization step:\n"
            "      write to files :      2.500 Mb\n"
            "      read from files:      1.500 Mb\n"
            "Solution step:\n"
            "      read from files:   4294.967 Mb\n"
            "Total size of data transferred:\n"
            "      write&read     :   4298.967 Mb\n"
            "==============================================================\n");
  const std::string zero = captured([&] { print_ooc_statistics(r, 0, 0, 0); });
  EXPECT_NE(zero.find("write to files : 0 %\n      read from files: 0 %\n      factorization "
                      "- write&read: 100 %"),
            std::string::npos);
}

// A 3-D Laplacian: enough supernodes for estimates of some size.
Input<double> laplacian(bool upper) {
  return solver_input(grid_operator(12, 12, 12, 6.0), upper, 1);
}

TEST(OocConfig, EstimatesAfterAnalysisCoverTheInCoreFactorization) {
  for (int type : {2, 11, -2}) {
    SCOPED_TRACE(type);
    Input<double> in = laplacian(type % 2 == 0);
    Korvine k(type);
    std::vector<double> b(in.n, 1.0), x(in.n);
    ASSERT_EQ(k.call(11, in, b.data(), x.data()), 0);
    const ControlRecord* c = handle_control(k.pt);
    const OocRecord& o = c->ooc;
    const int total = o.total_estimate;
    EXPECT_GT(k.iparm[61], 0);
    EXPECT_GT(k.iparm[62], 0);
    EXPECT_EQ(k.iparm[61], o.incore_estimate);
    EXPECT_EQ(k.iparm[62], o.buffer_estimate);
    EXPECT_LT(k.iparm[62], total);
    EXPECT_LT(k.iparm[61], total);
    // Everything but the factor values is in memory; the window holds two blocks of the widest.
    // (The in-core estimate adds what only an out-of-core run keeps: the window's
    // bookkeeping, the entries by supernode, the solve's arrays.)
    const long long values = c->sn.values * 8 * (type == 11 ? 2 : 1);
    EXPECT_GE(k.iparm[61], total - values / 1024.0 - 1.0);
    EXPECT_GE(k.iparm[62] * 1024LL, 2LL * c->sn.largest * c->sn.largest * 8);
    ASSERT_EQ(k.call(22, in, b.data(), x.data()), 0);
    // The memory the in-core factorization took (iparm[15] + iparm[16], 1 KB added to each)
    // is the total but for the team's tiles where none ran.
    const int measured = k.iparm[15] + k.iparm[16] - 2;
    const long long crew =
        UpdateCrew::counted_bytes(c->factor_threads, 2 * c->sn.largest, c->sn.longest) / 1024;
    EXPECT_GE(total + 1, measured);
    EXPECT_LE(total, measured + crew + 1);
    EXPECT_EQ(k.iparm[61], o.incore_estimate);  // written at the end of every call
  }
}

Input<double> small() {
  return solver_input(grid_operator(6, 5, 1, 4.0), false, 1);
}

TEST(OocConfig, NotEnoughMemoryFailsBeforeAnyFileWork) {
  Input<double> in = small();
  std::vector<double> b(in.n, 1.0), x(in.n);
  Korvine k(11, {{59, 2}}, 1);
  {
    FakeFiles files({});
    FakeEnv e({{"ZTR_KORVINE_OOC_PATH", "/tmp/first"},
               {"ZTR_KORVINE_OOC_MAX_CORE_SIZE", "0"},
               {"ZTR_KORVINE_OOC_KEEP_FILE", "1"}});
    EXPECT_EQ(k.call_captured(12, in, b.data(), x.data()), -9);
    EXPECT_EQ(FakeFiles::opened().size(), 0u);
  }
  const std::string need =
      "*** Error in KORVINE: minimal memory required by OOC mode (1MB) is "
      "less than variable ZTR_KORVINE_OOC_MAX_CORE_SIZE (0MB)\n";
  const std::size_t at = k.out.find(need);
  ASSERT_NE(at, std::string::npos) << k.out;
  EXPECT_EQ(k.out.substr(at + need.size()),
            "*** Error in KORVINE  ( not enough mem. for OOC) error_num= 0\n");
  EXPECT_EQ(k.out.find("=== KORVINE is running"), std::string::npos);
  const ControlRecord* c = handle_control(k.pt);
  EXPECT_EQ(c->ooc.state, -1);
  // The next factorization decides again; the base name chosen first stays the handle's.
  {
    FakeEnv e({{"ZTR_KORVINE_OOC_PATH", "/tmp/second"}, {"ZTR_KORVINE_OOC_KEEP_FILE", "1"}});
    EXPECT_EQ(k.call_captured(23, in, b.data(), x.data()), 0);
  }
  EXPECT_TRUE(k.printed("=== KORVINE is running in Out-Of-Core mode, because iparam(60)=2 ==="));
  EXPECT_TRUE(k.printed("The file ./korvine_ooc.cfg was not opened\n"));
  EXPECT_EQ(c->ooc.state, 2);
  EXPECT_EQ(c->ooc.error, 0);
  EXPECT_STREQ(c->ooc.base_name, "/tmp/first");
  EXPECT_STREQ(ooc_scratch_base_name(k.pt[63]), "/tmp/first");
  EXPECT_LT(backward_ratio(grid_operator(6, 5, 1, 4.0), x, b, 1), 30);
  // Check 31 comes before any file work.
  FakeFiles files({});
  Korvine t(11, {{59, 1}, {23, 1}}, 1);
  EXPECT_EQ(t.call_captured(12, in, b.data(), x.data()), -1);
  EXPECT_TRUE(t.printed("error_num= 31\n"));
  EXPECT_TRUE(FakeFiles::opened().empty());
  // Check 32: out of core after an in-core analysis on one thread (30 equations get one).
  Korvine s(11, {}, 1);
  ASSERT_EQ(s.call(11, in, b.data(), x.data()), 0);
  s.iparm[59] = 1;
  EXPECT_EQ(s.call_captured(22, in, b.data(), x.data()), -1);
  EXPECT_TRUE(
      s.printed("*** Input check: Sequential OOC mode of factorization is incompatible "
                "with sequential IC mode of reordering\n"));
}

// Where a line is in the report, or npos.
std::size_t line_at(const std::string& out, const std::string& line) {
  return out.find("\n" + line + "\n");
}

TEST(OocConfig, ReportOfTheOutOfCoreMode) {
  // Real files in a directory of this test's own (the three variables set: no file is read).
  char dir[] = "/tmp/ztr_ooc_report_XXXXXX";
  ASSERT_NE(mkdtemp(dir), nullptr);
  FakeEnv e(FakeEnv::Vars{{"ZTR_KORVINE_OOC_MAX_CORE_SIZE", "100000"},
                          {"ZTR_KORVINE_OOC_PATH", std::string(dir) + "/t"},
                          {"ZTR_KORVINE_OOC_KEEP_FILE", "1"}});
  Input<double> in = small();
  std::vector<double> b(in.n, 1.0), x(in.n);
  Korvine k(11, {{59, 22}}, 1);
  ASSERT_EQ(k.call_captured(13, in, b.data(), x.data()), 0);
  EXPECT_LT(backward_ratio(grid_operator(6, 5, 1, 4.0), x, b, 1), 30);
  const std::string& o = k.out;
  const std::size_t numfct = o.find("\nTime spent in factorization step (numfct)");
  const std::size_t solve = o.find("\nTime spent in direct solver at solve step (solve)");
  const std::size_t write = o.find("\n      Factorization: Time for writing to files  : ");
  const std::size_t read = o.find("\n      Factorization: Time for reading from files: ");
  const std::size_t sread = o.find("\n      Solution:      Time for reading from files: ");
  const std::size_t block =
      line_at(o, "----------- Out of core time (in percent (%)) --------------");
  const std::size_t stats = line_at(o, "Statistics:");
  ASSERT_NE(numfct, std::string::npos);
  EXPECT_EQ(o.find('\n', numfct + 1), write);
  EXPECT_EQ(o.find('\n', write + 1), read);
  EXPECT_EQ(o.find('\n', solve + 1), sread);
  EXPECT_TRUE(sread < block && block < stats) << o;
  EXPECT_NE(o.find("\n      write&read     :      0.0"), std::string::npos);
  EXPECT_NE(line_at(o, "Task does not fit RAM, OOC PU factorization algorithm is turned ON"),
            std::string::npos);
  EXPECT_EQ(o.find("Single-level factorization"), std::string::npos);
  // Decided once: later factorizations, after a new analysis too, announce nothing.
  ASSERT_EQ(k.call_captured(11, in, b.data(), x.data()), 0);
  ASSERT_EQ(k.call_captured(22, in, b.data(), x.data()), 0);
  EXPECT_EQ(k.out.find("=== KORVINE is running"), std::string::npos);
  EXPECT_NE(line_at(k.out, "Task does not fit RAM, OOC PU factorization algorithm is turned ON"),
            std::string::npos);
  // In core by mode 1: no block, no sub-lines.
  Korvine m(11, {{59, 1}}, 1);
  ASSERT_EQ(m.call_captured(13, in, b.data(), x.data()), 0);
  EXPECT_NE(line_at(m.out,
                    "=== KORVINE is running in In-Core mode, because iparam(60)=1 and "
                    "there is enough RAM for In-Core ==="),
            std::string::npos);
  EXPECT_NE(line_at(m.out, "Single-level factorization algorithm is turned ON"), std::string::npos);
  EXPECT_EQ(m.out.find("Out of core"), std::string::npos);
  EXPECT_EQ(m.out.find("Time for"), std::string::npos);
  // Mode 0 reads no configuration and announces nothing.
  {
    FakeFiles files({});
    FakeEnv none(FakeEnv::Vars{});
    Korvine z(11, {}, 1);
    ASSERT_EQ(z.call_captured(13, in, b.data(), x.data()), 0);
    EXPECT_EQ(z.out.find("KORVINE is running"), std::string::npos);
    EXPECT_EQ(handle_control(z.pt)->ooc.state, 0);
    EXPECT_TRUE(FakeFiles::opened().empty());
  }
  k.release();
  m.release();
  std::error_code ignored;
  std::filesystem::remove_all(dir, ignored);
}

// The real environment, in a child: a core size below the least need fails before any file
// is written; the configuration directory is then the current one.
ZTR_CHILD(ooc_core_below_minimum) {
  Input<double> in = small();
  std::vector<double> b(in.n, 1.0), x(in.n);
  Korvine k(11, {{59, 2}}, 1);
  if (k.call_captured(12, in, b.data(), x.data()) != -9) return 1;
  if (!k.printed("ooc_max_core_size  got by Env=0\n")) return 2;
  if (!k.printed("ooc_path           got by Env=/nonexistent/dir/t\n")) return 3;
  if (!k.printed("The file ./korvine_ooc.cfg was not opened\n")) return 4;
  return 0;
}

TEST(OocConfig, RealEnvironmentInAChild) {
  expect_children({{"ooc_core_below_minimum",
                    {"ZTR_KORVINE_OOC_MAX_CORE_SIZE=0", "ZTR_KORVINE_OOC_PATH=/nonexistent/dir/t",
                     "ZTR_KORVINE_OOC_CFG_PATH=."}}});
}

}  // namespace
}  // namespace ztr::test
