// The out-of-core file layer: names and numbering, strided block transfers at 64-bit
// positions, every failure of the file system with its status and message, the rule for an
// operation after a failure, removal order, and the terminating report.  Real files live only
// in a temporary directory; the rest runs on a fake file table that records what it is asked.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "sparse_solver/storage/ooc_files.h"
#include "tests/lapack/error_text.h"

namespace ztr::test {
namespace {

// Puts the library's file table back when a test ends.
struct OpsGuard {
  FileOps saved = file_ops();
  ~OpsGuard() { file_ops() = saved; }
};

// A file that exists only as a length: positions, buffers and counts are recorded, and one
// step can be made to fail from a given transfer on.
enum class Fail { kNone, kSeekEnd, kTell, kSeek, kStream, kZero, kShort, kFlush, kClose };
struct Fake {
  std::int64_t length = 0;
  Fail fail = Fail::kNone;
  int fail_from = 0;  // transfers before the failure starts
  int transfers = 0, opens = 0, closes = 0, calls = 0;
  std::string mode;
  std::vector<std::int64_t> positions;  // seeks from the start
  std::vector<const void*> buffers;
  bool failing() const { return transfers >= fail_from; }
};
Fake g_fake;
char g_token;

// The count a transfer of the fake moves.
std::size_t fake_transfer(std::size_t count) {
  const bool f = g_fake.failing();
  ++g_fake.transfers;
  if (f && g_fake.fail == Fail::kZero) return 0;
  if (f && g_fake.fail == Fail::kShort) return count - 1;
  return count;
}

void install_fake(std::int64_t length) {
  g_fake = Fake{};
  g_fake.length = length;
  FileOps& o = file_ops();
  o.open = [](const char*, const char* mode) -> FileHandle {
    ++g_fake.opens;
    g_fake.mode = mode;
    return &g_token;
  };
  o.close = [](FileHandle) { return ++g_fake.closes, g_fake.fail == Fail::kClose ? EOF : 0; };
  o.seek = [](FileHandle, std::int64_t offset, int origin) {
    ++g_fake.calls;
    if (origin == 2) return g_fake.fail == Fail::kSeekEnd && g_fake.failing() ? -1 : 0;
    g_fake.positions.push_back(offset);
    return g_fake.fail == Fail::kSeek && g_fake.failing() ? -1 : 0;
  };
  o.tell = [](FileHandle) -> std::int64_t {
    return g_fake.fail == Fail::kTell && g_fake.failing() ? -1 : g_fake.length;
  };
  o.write = [](const void* b, std::size_t, std::size_t count, FileHandle) {
    ++g_fake.calls;
    g_fake.buffers.push_back(b);
    return fake_transfer(count);
  };
  o.read = [](void* b, std::size_t, std::size_t count, FileHandle) {
    ++g_fake.calls;
    g_fake.buffers.push_back(b);
    return fake_transfer(count);
  };
  o.flush = [](FileHandle) {
    return g_fake.fail == Fail::kFlush && g_fake.transfers > g_fake.fail_from ? EOF : 0;
  };
  o.error = [](FileHandle) {
    return g_fake.fail == Fail::kStream && g_fake.transfers > g_fake.fail_from ? 1 : 0;
  };
}

// A temporary directory for real files, removed with everything in it at the end; the opens
// and closes of the real table are counted, so that a test can see nothing was left open.
int g_opened = 0, g_closed = 0;
struct TempDir {
  std::string path;
  OpsGuard guard;
  TempDir() {
    char name[] = "/tmp/ztr_ooc_XXXXXX";
    const char* made = mkdtemp(name);
    EXPECT_NE(made, nullptr) << "no temporary directory";
    path = made != nullptr ? made : "/nonexistent";
    g_opened = g_closed = 0;
    file_ops().open = [](const char* p, const char* m) {
      FileHandle f = default_file_ops().open(p, m);
      g_opened += f != nullptr;
      return f;
    };
    file_ops().close = [](FileHandle f) { return ++g_closed, default_file_ops().close(f); };
  }
  ~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path, ignored);
  }
  bool exists(const OocRecord& rec, int kind, int number) const {
    char name[kOocPathSize];
    ooc_file_name(rec.base_name, kind, number, name);
    return std::filesystem::exists(name);
  }
};

OocRecord record_in(const TempDir& dir) {
  OocRecord rec;
  std::snprintf(rec.base_name, sizeof rec.base_name, "%s/ooc_temp", dir.path.c_str());
  return rec;
}

TEST(OocFiles, KindsAreNamedByExtensionAndNumberAndOpenRaisesTheCount) {
  const char* ext[] = {".ind", ".lnz", ".unz", ".jal", ".jau", ".lup",
                       ".uup", ".lpr", ".upr", ".sin", ".sle"};
  for (int k = 1; k <= kOocKindCount; ++k) EXPECT_STREQ(ooc_extension(k), ext[k - 1]);
  EXPECT_STREQ(ooc_extension(0), "");
  EXPECT_STREQ(ooc_extension(12), "");
  char name[kOocPathSize];
  ooc_file_name("ooc_temp", kOocL, 1, name);
  EXPECT_STREQ(name, "ooc_temp.lnz");
  ooc_file_name("ooc_temp", kOocL, 2, name);
  EXPECT_STREQ(name, "ooc_temp2.lnz");
  ooc_file_name("base", kOocSlength, 12, name);
  EXPECT_STREQ(name, "base12.sle");

  TempDir dir;
  OocRecord rec = record_in(dir);
  FileHandle f = ooc_open(&rec, kOocL, 2, true, "x", 1);
  ASSERT_NE(f, nullptr);
  EXPECT_TRUE(dir.exists(rec, kOocL, 2));
  EXPECT_FALSE(dir.exists(rec, kOocL, 1));
  EXPECT_EQ(rec.file_count[kOocL], 2);
  int status = 0;
  ooc_close(f, 1, &status);
  f = ooc_open(&rec, kOocL, 1, true, "x", 1);
  ooc_close(f, 1, &status);
  EXPECT_EQ(rec.file_count[kOocL], 2);  // raised, never lowered
  EXPECT_EQ(status, 0);
  EXPECT_EQ(rec.error, 0);
  EXPECT_EQ(g_opened, g_closed);
}

TEST(OocFiles, StridedPiecesWrittenAreReadBackAndStoringEmptiesTheFile) {
  TempDir dir;
  OocRecord rec = record_in(dir);
  int status = 0;
  FileHandle f = ooc_open(&rec, kOocIndices, 1, true, "x", 0);
  ASSERT_NE(f, nullptr);
  // 20 doubles, then 3 pieces of 2 at elements 4, 9, 14 (stride 5) overwrite 6 of them.
  std::vector<double> base(20), pieces{-1, -2, -3, -4, -5, -6};
  for (int i = 0; i < 20; ++i) base[i] = i;
  EXPECT_EQ(ooc_write(f, 8, 1, 20, 0, 1, base.data(), 0, &status), 160);
  EXPECT_EQ(ooc_write(f, 8, 4, 2, 5, 3, pieces.data(), 0, &status), 48);
  std::vector<double> expect = base, all(20, 0), back(6, 0);
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 2; ++j) expect[3 + 5 * i + j] = pieces[2 * i + j];
  EXPECT_EQ(ooc_read(f, 8, 1, 20, 20, 1, all.data(), 0, &status), 160);
  EXPECT_EQ(all, expect);
  EXPECT_EQ(ooc_read(f, 8, 4, 2, 5, 3, back.data(), 0, &status), 48);
  EXPECT_EQ(back, pieces);
  // Appending right at the end is allowed: the byte before the position exists.
  EXPECT_EQ(ooc_write(f, 8, 21, 1, 0, 1, base.data(), 0, &status), 8);
  EXPECT_EQ(status, 0);
  ooc_close(f, 0, &status);
  EXPECT_EQ(std::filesystem::file_size(dir.path + "/ooc_temp.ind"), 168u);
  // Opened for reading it reads; opened for storing again it starts empty.
  f = ooc_open(&rec, kOocIndices, 1, false, "x", 0);
  EXPECT_EQ(ooc_read(f, 8, 21, 1, 0, 1, back.data(), 0, &status), 8);
  EXPECT_EQ(back[0], 0.0);
  ooc_close(f, 0, &status);
  f = ooc_open(&rec, kOocIndices, 1, true, "x", 0);
  ooc_close(f, 0, &status);
  EXPECT_EQ(std::filesystem::file_size(dir.path + "/ooc_temp.ind"), 0u);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(g_opened, g_closed);
}

TEST(OocFiles, PositionsAreSixtyFourBitAndPiecesComeFromConsecutiveBufferParts) {
  OpsGuard guard;
  const std::int64_t gib = std::int64_t{1} << 30;
  install_fake(64 * gib);
  const std::int64_t first = 5 * gib / 8 + 3, stride = 3 * gib / 8 + 7;
  double buffer[3 * 4] = {};
  int status = 0;
  EXPECT_EQ(ooc_write(&g_token, 8, first, 4, stride, 3, buffer, 0, &status), 96);
  EXPECT_EQ(status, 0);
  ASSERT_EQ(g_fake.positions.size(), 3u);
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(g_fake.positions[i], (first - 1) * 8 + i * stride * 8) << i;
    EXPECT_EQ(g_fake.buffers[i], buffer + 4 * i) << i;
  }
  install_fake(64 * gib);
  EXPECT_EQ(ooc_read(&g_token, 4, first, 4, stride, 3, buffer, 0, &status), 48);
  ASSERT_EQ(g_fake.positions.size(), 3u);
  EXPECT_EQ(g_fake.positions[2], (first - 1) * 4 + 2 * stride * 4);
  EXPECT_EQ(g_fake.buffers[2], reinterpret_cast<char*>(buffer) + 2 * 4 * 4);
  // The position one byte past the end is refused, the end itself is not.
  install_fake((first - 1) * 8);
  EXPECT_EQ(ooc_write(&g_token, 8, first, 1, 0, 1, buffer, 0, &status), 8);
  install_fake((first - 1) * 8 - 1);
  EXPECT_EQ(ooc_write(&g_token, 8, first, 1, 0, 1, buffer, 0, &status), 0);
  EXPECT_EQ(status, 12);
}

struct FailureCase {
  bool writing;
  Fail fail;
  std::int64_t length;  // of the fake file; 16 leaves the second piece's position missing
  int status;
  const char* detail;
};

TEST(OocFiles, EveryFailureOfATransferGivesItsStatusAndDetailAndStopsThere) {
  const char* werr = "korvine_write_ooc_file: Write error\n";
  const char* rerr = "korvine_read_ooc_file: Read error\n";
  const char* rseek = "korvine_read_ooc_file: Fseek error\n";
  const FailureCase cases[] = {
      {true, Fail::kNone, 16, 12, "korvine_write_ooc_file: nfirst is EOF\n"},
      {true, Fail::kSeekEnd, 1000, 13, "Fseek failed\n"},
      {true, Fail::kTell, 1000, 13, "Fseek failed\n"},
      {true, Fail::kSeek, 1000, 13, "Fseek failed\n"},
      {true, Fail::kStream, 1000, 12, werr},
      {true, Fail::kZero, 1000, 10, werr},
      {true, Fail::kShort, 1000, 11, werr},
      {true, Fail::kFlush, 1000, 12, werr},
      {false, Fail::kNone, 16, 7, rseek},
      {false, Fail::kSeekEnd, 1000, 8, rseek},
      {false, Fail::kSeek, 1000, 8, rseek},
      {false, Fail::kStream, 1000, 7, rerr},
      {false, Fail::kZero, 1000, 5, rerr},
      {false, Fail::kShort, 1000, 6, rerr},
  };
  OpsGuard guard;
  double buffer[4] = {};
  for (const FailureCase& c : cases) {
    for (const int msglvl : {0, 1, 2}) {
      SCOPED_TRACE(testing::Message() << "case status " << c.status << " fail "
                                      << static_cast<int>(c.fail) << " msglvl " << msglvl);
      install_fake(c.length);
      g_fake.fail = c.fail;
      g_fake.fail_from = 1;  // the first piece goes through, the second fails
      int status = 0;
      std::int64_t bytes = -1;
      // Two pieces of 2 doubles, stride 4, at bytes 0 and 32.
      const std::string out = captured([&] {
        bytes = c.writing ? ooc_write(&g_token, 8, 1, 2, 4, 2, buffer, msglvl, &status)
                          : ooc_read(&g_token, 8, 1, 2, 4, 2, buffer, msglvl, &status);
      });
      EXPECT_EQ(status, c.status);
      const bool moved =
          c.fail == Fail::kShort || c.fail == Fail::kStream || c.fail == Fail::kFlush;
      const int second = moved ? (c.fail == Fail::kShort ? 1 : 2) : 0;
      EXPECT_EQ(bytes, 16 + 8 * second);
      const std::string type = std::string(c.writing ? "Write type=8\n" : "Read type=8\n");
      const std::string items = c.writing ? "Wrote " : "Number of items read=";
      std::string want = type + items + (c.writing ? "2 items\n" : "2\n");
      if (moved || c.fail == Fail::kZero)
        want += items + std::to_string(second) + (c.writing ? " items\n" : "\n");
      want += c.detail;
      EXPECT_EQ(out, msglvl >= 2 ? want : "");
    }
  }
}

TEST(OocFiles, BadArgumentsAndAPreviousStatusTouchNoFile) {
  OpsGuard guard;
  install_fake(1000);
  double buffer[8] = {};
  struct Args {
    int size;
    std::int64_t first, count, stride, pieces;
  };
  for (const Args a : {Args{8, -1, 1, 1, 1}, Args{8, 1, -1, 1, 1}, Args{8, 1, 3, 2, 2},
                       Args{0, 1, 1, 1, 1}, Args{8, 1, 1, 1, -1}}) {
    int ws = 0, rs = 0;
    const std::string out = captured([&] {
      EXPECT_EQ(ooc_write(&g_token, a.size, a.first, a.count, a.stride, a.pieces, buffer, 2, &ws),
                0);
      EXPECT_EQ(ooc_read(&g_token, a.size, a.first, a.count, a.stride, a.pieces, buffer, 2, &rs),
                0);
    });
    EXPECT_EQ(ws, 14);
    EXPECT_EQ(rs, 9);
    EXPECT_EQ(out, "");
  }
  int status = 0;
  EXPECT_EQ(ooc_write(nullptr, 8, 1, 1, 1, 1, buffer, 0, &status), 0);
  EXPECT_EQ(status, 14);
  // No pieces, or empty ones, move nothing and are no error; one piece may exceed its stride.
  status = 0;
  EXPECT_EQ(ooc_write(&g_token, 8, 1, 2, 1, 0, buffer, 2, &status), 0);
  EXPECT_EQ(ooc_read(&g_token, 8, 1, 0, 0, 3, buffer, 2, &status), 0);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(g_fake.calls, 0);
  EXPECT_EQ(ooc_write(&g_token, 8, 1, 3, 1, 1, buffer, 0, &status), 24);
  EXPECT_EQ(status, 0);
  // A status already set becomes 15: writes and closes say so, nothing is transferred.
  install_fake(1000);
  for (const int msglvl : {1, 2}) {
    int ws = 11, rs = 6, cs = 4;
    const std::string out = captured([&] {
      EXPECT_EQ(ooc_write(&g_token, 8, 1, 1, 1, 1, buffer, msglvl, &ws), 0);
      EXPECT_EQ(ooc_read(&g_token, 8, 1, 1, 1, 1, buffer, msglvl, &rs), 0);
      ooc_close(&g_token, msglvl, &cs);
    });
    EXPECT_EQ(ws, 15);
    EXPECT_EQ(rs, 15);
    EXPECT_EQ(cs, 15);
    EXPECT_EQ(out, msglvl >= 2 ? "Input error is not equal to ZERO, error=11\n"
                                 "Input error is not equal to ZERO, error=4\n"
                               : "");
  }
  EXPECT_EQ(g_fake.calls, 0);
  EXPECT_EQ(g_fake.closes, 2);  // the stream is released all the same
}

TEST(OocFiles, FailedOpensAndClosesReportTheirStatus) {
  TempDir dir;
  OocRecord rec = record_in(dir);
  FileHandle f = nullptr;
  const std::string out = captured(
      [&] { f = ooc_open(&rec, kOocL, 1, false, "solution step: open file for reading lnz", 1); });
  EXPECT_EQ(f, nullptr);
  EXPECT_EQ(out,
            "KORVINE_OOC_OPEN_FILE_ERROR occurred: solution step: open file for reading lnz\n");
  EXPECT_EQ(rec.error, -10);
  EXPECT_EQ(rec.file_count[kOocL], 0);
  rec.error = 0;
  EXPECT_EQ(captured([&] { f = ooc_open(&rec, kOocL, 1, false, "x", 0); }), "");
  EXPECT_EQ(rec.error, -10);
  std::snprintf(rec.base_name, sizeof rec.base_name, "%s/no/such/dir", dir.path.c_str());
  captured([&] { f = ooc_open(&rec, kOocU, 1, true, "x", 1); });
  EXPECT_EQ(f, nullptr);

  OpsGuard guard;
  install_fake(0);
  rec = OocRecord{};
  int status = 0;
  ooc_close(ooc_open(&rec, kOocJalf, 3, true, "x", 1), 1, &status);
  EXPECT_EQ(g_fake.mode, "w+b");
  f = ooc_open(&rec, kOocJalf, 1, false, "x", 1);
  EXPECT_EQ(g_fake.mode, "rb");
  EXPECT_EQ(rec.file_count[kOocJalf], 3);
  g_fake.fail = Fail::kClose;
  for (const int msglvl : {1, 2}) {
    status = 0;
    const std::string o = captured([&] { ooc_close(f, msglvl, &status); });
    EXPECT_EQ(status, 3);
    EXPECT_EQ(o, msglvl >= 2 ? "The file was not closed\n" : "");
  }
  status = 0;
  ooc_close(nullptr, 2, &status);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(g_fake.closes, 3);
}

// A file system with room for `g_room` more bytes: writes beyond it come up short.
std::size_t g_room = 0;
std::size_t write_into_room(const void* b, std::size_t size, std::size_t count, FileHandle f) {
  const std::size_t n = g_room / size < count ? g_room / size : count;
  g_room -= n * size;
  return default_file_ops().write(b, size, n, f);
}

TEST(OocFiles, AFullFileSystemIsAShortWriteAndWhatFitIsKept) {
  TempDir dir;
  OocRecord rec = record_in(dir);
  FileHandle f = ooc_open(&rec, kOocL, 1, true, "x", 0);
  ASSERT_NE(f, nullptr);
  g_room = 40;
  file_ops().write = write_into_room;
  const std::vector<double> data{1, 2, 3, 4, 5, 6};
  int status = 0;
  std::string out =
      captured([&] { EXPECT_EQ(ooc_write(f, 8, 1, 3, 3, 2, data.data(), 1, &status), 40); });
  EXPECT_EQ(status, 11);
  EXPECT_EQ(out, "");
  status = 0;
  EXPECT_EQ(ooc_write(f, 8, 6, 1, 1, 1, data.data(), 0, &status), 0);
  EXPECT_EQ(status, 10);
  file_ops().write = default_file_ops().write;
  std::vector<double> back(6, 0);
  status = 0;
  EXPECT_EQ(ooc_read(f, 8, 1, 6, 6, 1, back.data(), 0, &status), 40);
  EXPECT_EQ(status, 6);
  EXPECT_EQ(back, (std::vector<double>{1, 2, 3, 4, 5, 0}));
  ooc_close(f, 0, &status);
  EXPECT_EQ(status, 15);
  EXPECT_EQ(g_opened, g_closed);
}

std::vector<std::string> g_removed;
const char* g_unremovable = "";

TEST(OocFiles, RemovalFollowsTheKindOrderAndAKindStopsAtItsFirstFailure) {
  TempDir dir;
  OocRecord rec = record_in(dir);
  // One file of each kind, three of L.
  auto make_files = [&] {
    for (int k = 1; k <= kOocKindCount; ++k) {
      for (int n = 1; n <= (k == kOocL ? 3 : 1); ++n) {
        int status = 0;
        ooc_close(ooc_open(&rec, k, n, true, "x", 0), 0, &status);
      }
    }
  };
  make_files();
  g_removed.clear();
  g_unremovable = "ooc_temp2.lnz";
  file_ops().remove = [](const char* p) {
    const std::string name = std::filesystem::path(p).filename().string();
    g_removed.push_back(name);
    return name == g_unremovable ? -1 : default_file_ops().remove(p);
  };
  int result = 0;
  const std::string out = captured([&] { result = ooc_remove_files(&rec, false, true, 1); });
  EXPECT_EQ(result, 4);
  EXPECT_EQ(out, "KORVINE_OOC_DELETE_FILE_ERROR occurred: remove lnz\n");
  const std::vector<std::string> order{"ooc_temp.ind", "ooc_temp.lnz", "ooc_temp2.lnz",
                                       "ooc_temp.jal", "ooc_temp.lup", "ooc_temp.lpr",
                                       "ooc_temp.upr", "ooc_temp.sin", "ooc_temp.sle"};
  EXPECT_EQ(g_removed, order);
  EXPECT_TRUE(dir.exists(rec, kOocL, 2));
  EXPECT_TRUE(dir.exists(rec, kOocL, 3));
  EXPECT_FALSE(dir.exists(rec, kOocLupermRow, 1));
  for (const int k : {kOocU, kOocJauf, kOocLuperm2}) {
    EXPECT_TRUE(dir.exists(rec, k, 1));
    EXPECT_EQ(rec.file_count[k], 1);
  }
  EXPECT_EQ(rec.file_count[kOocL], 0);
  EXPECT_EQ(rec.file_count[kOocSlength], 0);

  // With U apart its kinds follow luperm; all goes, silently at msglvl 0.
  make_files();
  g_removed.clear();
  g_unremovable = "";
  EXPECT_EQ(captured([&] { result = ooc_remove_files(&rec, true, false, 0); }), "");
  EXPECT_EQ(result, 0);
  const std::vector<std::string> all{"ooc_temp.ind",  "ooc_temp.lnz", "ooc_temp2.lnz",
                                     "ooc_temp3.lnz", "ooc_temp.jal", "ooc_temp.lup",
                                     "ooc_temp.jau",  "ooc_temp.uup", "ooc_temp.unz",
                                     "ooc_temp.sin",  "ooc_temp.sle"};
  EXPECT_EQ(g_removed, all);
  EXPECT_TRUE(dir.exists(rec, kOocLupermRow, 1));  // pivoting data not asked for
  EXPECT_EQ(rec.file_count[kOocLupermRow2], 1);
  EXPECT_FALSE(dir.exists(rec, kOocL, 3));
  EXPECT_EQ(g_opened, g_closed);
}

TEST(OocFiles, EveryStatusHasItsMessage) {
  const char* names[] = {"OPEN_MODE_FILE_ERROR",
                         "OPEN_FILE_ERROR",
                         "CLOSE_FILE_ERROR",
                         "DELETE_FILE_ERROR",
                         "NUMBER_OF_READ_EQUAL_ZERO",
                         "NUMBER_OF_READ_NOT_EQUAL_COUNT",
                         "READ_EOF_ERROR",
                         "READ_SEEK_ERROR",
                         "READ_INPUT_PARAMETERS_INCORRECT",
                         "NUMBER_OF_WRITE_EQUAL_ZERO",
                         "NUMBER_OF_WRITE_NOT_EQUAL_COUNT",
                         "WRITE_EOF_ERROR",
                         "WRITE_SEEK_ERROR",
                         "WRITE_INPUT_PARAMETERS_INCORRECT"};
  for (int s = 1; s <= 14; ++s) {
    EXPECT_EQ(captured([&] { ooc_report_status(s, "fact. step: close file with lnz", 1, false); }),
              std::string("KORVINE_OOC_") + names[s - 1] +
                  " occurred: fact. step: close file with lnz\n");
    EXPECT_EQ(captured([&] { ooc_report_status(s, "x", 0, false); }), "");
  }
  for (const int s : {15, -10, 99}) {
    EXPECT_EQ(captured([&] { ooc_report_status(s, "do_all: close file with lindx", 2, false); }),
              "Error is not in the area of OOC I/O, please check it manually, error=" +
                  std::to_string(s) + ", do_all: close file with lindx\n");
  }
  EXPECT_EQ(captured([&] { ooc_report_status(0, "x", 2, true); }), "");
}

ZTR_CHILD(ooc_terminate_write) {
  ooc_report_status(11, "fact. step: close file with lnz", 1, true);
  return 0;
}
ZTR_CHILD(ooc_terminate_silent) {
  ooc_report_status(15, "x", 0, true);
  return 0;
}
ZTR_CHILD(ooc_terminate_other) {
  ooc_report_status(-10, "x", 1, true);
  return 0;
}

TEST(OocFiles, TheTerminateFlagEndsTheProcessAfterAListedStatus) {
  ChildResult r = run_child("ooc_terminate_write");
  EXPECT_EQ(r.exit_code, 2);
  EXPECT_EQ(r.out,
            "KORVINE_OOC_NUMBER_OF_WRITE_NOT_EQUAL_COUNT occurred: fact. step: close file with "
            "lnz\n");
  r = run_child("ooc_terminate_silent");
  EXPECT_EQ(r.exit_code, 2);
  EXPECT_EQ(r.out, "");
  r = run_child("ooc_terminate_other");
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_EQ(r.out, "Error is not in the area of OOC I/O, please check it manually, error=-10, x\n");
}

}  // namespace
}  // namespace ztr::test
