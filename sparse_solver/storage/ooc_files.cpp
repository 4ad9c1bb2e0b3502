// The file layer of the out-of-core mode: names, opening and closing, block transfers at
// 64-bit positions, removal, and the status report.  Every file access goes through
// file_ops(), so that tests can make each step fail.
#include "sparse_solver/storage/ooc_files.h"

#include <cstdio>
#include <type_traits>

#include "service/messages.h"
#include "service/platform.h"
#include "sparse_solver/common/solver_messages.h"

namespace ztr {
namespace {

constexpr const char* kExtensions[kOocKindCount + 1] = {
    "", ".ind", ".lnz", ".unz", ".jal", ".jau", ".lup", ".uup", ".lpr", ".upr", ".sin", ".sle"};
// The data each kind holds, as the removal's description names it.
constexpr const char* kDataNames[kOocKindCount + 1] = {
    "",       "lindx",     "lnz",        "unz",           "jalf",   "jauf",
    "luperm", "luperm(2)", "luperm_row", "luperm_row(2)", "slindx", "slength"};

bool valid_kind(int kind) {
  return kind >= 1 && kind <= kOocKindCount;
}

// The statuses of one direction of transfer, and the detail lines that go with them.
struct Statuses {
  int bad_arguments, past_end, seek_failed, stream_error, nothing, short_count;
};
struct Details {
  int past_end, seek_failed, transfer, type, items;
};
struct Direction {
  Statuses status;
  Details text;
};
constexpr Direction kWrite = {
    {14, 12, 13, 12, 10, 11},
    {kSmOocWriteEof, kSmOocWriteSeek, kSmOocWriteError, kSmOocWriteType, kSmOocWrote}};
constexpr Direction kRead = {
    {9, 7, 8, 7, 5, 6},
    {kSmOocReadSeek, kSmOocReadSeek, kSmOocReadError, kSmOocReadType, kSmOocItemsRead}};

void detail(int msglvl, int number) {
  if (msglvl >= 2) msg_print(number, 0);
}

// Sets the status and prints its detail line; the transfer stops there.
void fail(int* status, int code, int msglvl, int text) {
  *status = code;
  detail(msglvl, text);
}

// Whether the byte just before `position` exists: the file is at least `position` bytes long.
// Returns 0, or the status the direction gives a missing byte or a failed look.
int check_position(FileHandle f, std::int64_t position, const Direction& d, int msglvl,
                   int* status) {
  if (position == 0) return 0;
  if (position < 0) {
    fail(status, d.status.past_end, msglvl, d.text.past_end);
    return *status;
  }
  const FileOps& ops = file_ops();
  if (ops.seek(f, 0, 2) != 0) {
    fail(status, d.status.seek_failed, msglvl, d.text.seek_failed);
    return *status;
  }
  const std::int64_t length = ops.tell(f);
  if (length < 0) {
    fail(status, d.status.seek_failed, msglvl, d.text.seek_failed);
    return *status;
  }
  if (length < position) {
    fail(status, d.status.past_end, msglvl, d.text.past_end);
    return *status;
  }
  return 0;
}

// The transfer both directions share: piece i between element i*count of `buffer` and the
// byte position (first - 1)*size + i*stride*size of the file.
template <bool kWriting>
std::int64_t transfer(FileHandle f, int size, std::int64_t first, std::int64_t count,
                      std::int64_t stride, std::int64_t pieces,
                      typename std::conditional<kWriting, const void*, void*>::type buffer,
                      int msglvl, int* status) {
  const Direction& d = kWriting ? kWrite : kRead;
  if (*status != 0) {
    if (kWriting && msglvl >= 2) msg_print(kSmOocStatusAlreadySet, 1, *status);
    *status = 15;
    return 0;
  }
  if (first < 0 || count < 0 || (pieces > 1 && count > stride) || size < 1 || pieces < 0 ||
      ((pieces > 0 && count > 0) && (f == nullptr || buffer == nullptr))) {
    *status = d.status.bad_arguments;
    return 0;
  }
  if (pieces == 0 || count == 0) return 0;
  if (msglvl >= 2) msg_print(d.text.type, 1, size);
  const FileOps& ops = file_ops();
  const std::int64_t s = size;
  const std::size_t piece_bytes = static_cast<std::size_t>(count) * static_cast<std::size_t>(s);
  std::int64_t moved = 0;
  for (std::int64_t i = 0; i < pieces; ++i) {
    const std::int64_t position = (first - 1) * s + i * stride * s;
    if (check_position(f, position, d, msglvl, status) != 0) return moved;
    if (ops.seek(f, position, 0) != 0) {
      fail(status, d.status.seek_failed, msglvl, d.text.seek_failed);
      return moved;
    }
    std::size_t n;
    if constexpr (kWriting) {
      n = ops.write(static_cast<const char*>(buffer) + static_cast<std::size_t>(i) * piece_bytes,
                    static_cast<std::size_t>(s), static_cast<std::size_t>(count), f);
    } else {
      n = ops.read(static_cast<char*>(buffer) + static_cast<std::size_t>(i) * piece_bytes,
                   static_cast<std::size_t>(s), static_cast<std::size_t>(count), f);
    }
    if (msglvl >= 2) msg_print(d.text.items, 1, static_cast<int>(n));
    moved += static_cast<std::int64_t>(n) * s;
    if (ops.error(f) != 0) {
      fail(status, d.status.stream_error, msglvl, d.text.transfer);
      return moved;
    }
    if (n == 0) {
      fail(status, d.status.nothing, msglvl, d.text.transfer);
      return moved;
    }
    if (n < static_cast<std::size_t>(count)) {
      fail(status, d.status.short_count, msglvl, d.text.transfer);
      return moved;
    }
    // What was written must have reached the file before the write counts as done.
    if (kWriting && ops.flush(f) != 0) {
      fail(status, d.status.stream_error, msglvl, d.text.transfer);
      return moved;
    }
  }
  return moved;
}

}  // namespace

const char* ooc_extension(int kind) {
  return valid_kind(kind) ? kExtensions[kind] : "";
}

void ooc_file_name(const char* base, int kind, int number, char* out) {
  if (number >= 2) {
    std::snprintf(out, kOocPathSize, "%s%d%s", base, number, ooc_extension(kind));
  } else {
    std::snprintf(out, kOocPathSize, "%s%s", base, ooc_extension(kind));
  }
}

FileHandle ooc_open(OocRecord* rec, int kind, int number, bool storing, const char* what,
                    int msglvl) {
  FileHandle f = nullptr;
  if (valid_kind(kind) && number >= 1) {
    char path[kOocPathSize];
    ooc_file_name(rec->base_name, kind, number, path);
    f = file_ops().open(path, storing ? "w+b" : "rb");
  }
  if (f == nullptr) {
    ooc_report_status(2, what, msglvl, false);
    rec->error = -10;
    return nullptr;
  }
  if (rec->file_count[kind] < number) rec->file_count[kind] = number;
  return f;
}

void ooc_close(FileHandle f, int msglvl, int* status) {
  if (f == nullptr) return;
  if (*status != 0) {
    if (msglvl >= 2) msg_print(kSmOocStatusAlreadySet, 1, *status);
    *status = 15;
    // The stream is released all the same: a failure elsewhere must not leak it.
    file_ops().close(f);
    return;
  }
  if (file_ops().close(f) != 0) {
    *status = 3;
    detail(msglvl, kSmOocNotClosed);
  }
}

std::int64_t ooc_write(FileHandle f, int size, std::int64_t first, std::int64_t count,
                       std::int64_t stride, std::int64_t pieces, const void* buffer, int msglvl,
                       int* status) {
  return transfer<true>(f, size, first, count, stride, pieces, buffer, msglvl, status);
}

std::int64_t ooc_read(FileHandle f, int size, std::int64_t first, std::int64_t count,
                      std::int64_t stride, std::int64_t pieces, void* buffer, int msglvl,
                      int* status) {
  return transfer<false>(f, size, first, count, stride, pieces, buffer, msglvl, status);
}

int ooc_remove_files(OocRecord* rec, bool separate_u, bool pivoting_data, int msglvl) {
  int order[kOocKindCount];
  int kinds = 0;
  for (const int k : {kOocIndices, kOocL, kOocJalf, kOocLuperm}) order[kinds++] = k;
  if (separate_u)
    for (const int k : {kOocJauf, kOocLuperm2, kOocU}) order[kinds++] = k;
  if (pivoting_data)
    for (const int k : {kOocLupermRow, kOocLupermRow2}) order[kinds++] = k;
  for (const int k : {kOocSlindx, kOocSlength}) order[kinds++] = k;

  int result = 0;
  char path[kOocPathSize];
  for (int j = 0; j < kinds; ++j) {
    const int kind = order[j];
    for (int number = 1; number <= rec->file_count[kind]; ++number) {
      ooc_file_name(rec->base_name, kind, number, path);
      if (file_ops().remove(path) != 0) {
        result = 4;
        if (msglvl >= 1)
          ooc_report_status(4, msg_text(kSmOocRemoveWhat, 1, kDataNames[kind]), msglvl, false);
        break;
      }
    }
    rec->file_count[kind] = 0;
  }
  return result;
}

void ooc_report_status(int status, const char* what, int msglvl, bool terminate) {
  if (status == 0) return;
  if (what == nullptr) what = "";
  if (msglvl >= 1) {
    if (status >= 1 && status <= 14) {
      msg_print(kSmOocStatusFirst + status - 1, 1, what);
    } else {
      msg_print(kSmOocOtherStatus, 2, status, what);
    }
  }
  if (terminate && status >= 1 && status <= 15) terminate_process(2);
}

}  // namespace ztr
