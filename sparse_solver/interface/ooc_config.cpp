#include "sparse_solver/interface/ooc_config.h"

#include <algorithm>
#include <climits>
#include <cstring>

#include "service/file_io.h"
#include "service/messages.h"
#include "service/platform.h"
#include "sparse_solver/common/solver_messages.h"
#include "sparse_solver/common/status.h"
#include "sparse_solver/interface/solver_params.h"

namespace ztr {
namespace {

constexpr const char* kEnvCfgPath = "ZTR_KORVINE_OOC_CFG_PATH";
constexpr const char* kEnvCfgFileName = "ZTR_KORVINE_OOC_CFG_FILE_NAME";
constexpr const char* kEnvPath = "ZTR_KORVINE_OOC_PATH";
constexpr const char* kEnvMaxCoreSize = "ZTR_KORVINE_OOC_MAX_CORE_SIZE";
constexpr const char* kEnvMaxSwapSize = "ZTR_KORVINE_OOC_MAX_SWAP_SIZE";
constexpr const char* kEnvKeepFile = "ZTR_KORVINE_OOC_KEEP_FILE";
constexpr const char* kKeyPath = "ztr_korvine_ooc_path";
constexpr const char* kKeyMaxCoreSize = "ztr_korvine_ooc_max_core_size";
constexpr const char* kKeyKeepFile = "ztr_korvine_ooc_keep_file";
constexpr const char* kDefaultConfigDir = ".";
// The scratch record: the flag word, then the name.
constexpr std::size_t kScratchNameOffset = sizeof(int);
constexpr int kScratchNameSet = 1;
static_assert(kScratchNameOffset + kOocBaseNameMax + 1 <= kScratchRecordBytes,
              "the base name must fit the scratch record");

bool is_space(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}
bool is_digit(char c) {
  return c >= '0' && c <= '9';
}

// An environment variable's value, or null when it is absent or empty (an empty directory,
// file name or base name would name another place than the default).
const char* env(const char* name) {
  const char* v = platform().getenv(name);
  return v != nullptr && v[0] != '\0' ? v : nullptr;
}

// The number at the start of s as "%d" reads it (white space, a sign, digits; what follows is
// not read).  False when there is none or it does not fit an int.
bool read_int(const char* s, int* out) {
  while (is_space(*s)) ++s;
  const bool negative = *s == '-';
  if (*s == '-' || *s == '+') ++s;
  if (!is_digit(*s)) return false;
  long long v = 0;
  for (; is_digit(*s); ++s) {
    v = v * 10 + (*s - '0');
    if (v > static_cast<long long>(INT_MAX) + 1) return false;
  }
  if (negative) v = -v;
  if (v > INT_MAX) return false;
  *out = static_cast<int>(v);
  return true;
}

// The base name from `length` characters of s, cut at kOocBaseNameMax.
void set_base_name(OocRecord* rec, const char* s, std::size_t length) {
  const std::size_t n = std::min<std::size_t>(length, kOocBaseNameMax);
  std::memcpy(rec->base_name, s, n);
  rec->base_name[n] = '\0';
}

// Prints message `number`, whose one argument is a string, with as much of s as fits the
// message buffer (a longer text would end the process).
void print_string(int number, const char* s) {
  const char* format = message_table_text(number);
  const std::size_t fixed = std::strlen(format) - 2;  // the text without "%s"
  const std::size_t room = kMessageBufferSize - 1 - fixed;
  char text[kMessageBufferSize];
  const std::size_t n = std::min(std::strlen(s), room);
  std::memcpy(text, s, n);
  text[n] = '\0';
  msg_print(number, 1, text);
}

// Which settings the environment gave.
struct FromEnv {
  bool path = false, core = false, swap = false, keep = false;
};

// The path value: the first word, then, when the line goes on, one blank and the rest of the
// line (without the white space around it).
void read_path_value(const char* v, OocRecord* rec) {
  while (is_space(*v)) ++v;
  const char* word_end = v;
  while (*word_end != '\0' && !is_space(*word_end)) ++word_end;
  if (word_end == v) return;
  const char* rest = word_end;
  while (is_space(*rest)) ++rest;
  const char* rest_end = rest + std::strlen(rest);
  while (rest_end > rest && is_space(rest_end[-1])) --rest_end;
  char name[kOocBaseNameMax + 1];
  std::size_t n = std::min<std::size_t>(static_cast<std::size_t>(word_end - v), kOocBaseNameMax);
  std::memcpy(name, v, n);
  if (rest_end > rest && n < kOocBaseNameMax) {
    name[n++] = ' ';
    const std::size_t m =
        std::min<std::size_t>(static_cast<std::size_t>(rest_end - rest), kOocBaseNameMax - n);
    std::memcpy(name + n, rest, m);
    n += m;
  }
  set_base_name(rec, name, n);
}

// One line of the configuration file (its first kOocConfigLineSize - 1 characters).
void read_line(char* line, OocRecord* rec, const FromEnv& from_env) {
  char* comment = std::strchr(line, '#');
  if (comment != nullptr) *comment = '\0';
  // The key: the text before "=", a tab or "#" (the comment is gone already), then "=" after
  // any tabs and blanks.
  const std::size_t key_length = std::strcspn(line, "=\t");
  const char* p = line + key_length;
  while (*p == '\t' || *p == ' ') ++p;
  if (*p != '=') return;
  const char* value = p + 1;
  for (std::size_t i = 0; i < key_length; ++i)
    if (line[i] >= 'A' && line[i] <= 'Z') line[i] = static_cast<char>(line[i] - 'A' + 'a');
  auto is_key = [&](const char* key) {
    return std::strlen(key) == key_length && std::strncmp(line, key, key_length) == 0;
  };
  int number = 0;
  if (is_key(kKeyPath)) {
    if (!from_env.path) read_path_value(value, rec);
  } else if (is_key(kKeyMaxCoreSize)) {
    if (!from_env.core && read_int(value, &number)) rec->max_core_size = number;
  } else if (is_key(kKeyKeepFile)) {
    if (!from_env.keep && read_int(value, &number)) rec->keep_file = number;
  }
}

// False when the file cannot be opened.
bool read_file(const char* path, OocRecord* rec, const FromEnv& from_env) {
  const FileOps& io = file_ops();
  FileHandle f = io.open(path, "r");
  if (f == nullptr) return false;
  char line[kOocConfigLineSize];
  bool continued = false;  // the text read is the rest of a line longer than the buffer
  for (;;) {
    // Cleared first, so that the line end is found past a zero byte too.
    std::memset(line, 0, sizeof line);
    if (io.gets(line, kOocConfigLineSize, f) == nullptr) break;
    const bool ends = std::memchr(line, '\n', kOocConfigLineSize - 1) != nullptr;
    if (!continued) read_line(line, rec, from_env);
    continued = !ends;
  }
  io.close(f);
  return true;
}

}  // namespace

void read_ooc_config(OocRecord* rec, const char* config_name, int msglvl) {
  const bool echo = msglvl > 0;
  rec->max_core_size = kOocDefaultMaxCoreSize;
  rec->max_swap_size = 0;
  rec->keep_file = kOocDefaultKeepFile;
  set_base_name(rec, kOocDefaultBaseName, std::strlen(kOocDefaultBaseName));
  FromEnv from_env;
  const char* dir = kDefaultConfigDir;
  const char* name = config_name;
  if (const char* v = env(kEnvCfgPath)) {
    dir = v;
    if (echo) print_string(kSmOocEnvCfgPath, v);
  }
  if (const char* v = env(kEnvCfgFileName)) {
    name = v;
    if (echo) print_string(kSmOocEnvCfgFileName, v);
  }
  if (const char* v = env(kEnvPath)) {
    set_base_name(rec, v, std::strlen(v));
    from_env.path = true;
    if (echo) print_string(kSmOocEnvPath, v);
  }
  // A value that is not a number leaves the setting to the file and the defaults.
  int number = 0;
  if (const char* v = env(kEnvMaxCoreSize); v != nullptr && read_int(v, &number)) {
    rec->max_core_size = number;
    from_env.core = true;
    if (echo) msg_print(kSmOocEnvMaxCoreSize, 1, number);
  }
  if (const char* v = env(kEnvMaxSwapSize); v != nullptr && read_int(v, &number)) {
    rec->max_swap_size = number;
    from_env.swap = true;
    if (echo) msg_print(kSmOocEnvMaxSwapSize, 1, number);
  }
  if (const char* v = env(kEnvKeepFile); v != nullptr && read_int(v, &number)) {
    rec->keep_file = number;
    from_env.keep = true;
    if (echo) msg_print(kSmOocEnvKeepFile, 1, number);
  }
  if (from_env.path && (from_env.core || from_env.swap) && from_env.keep) return;
  // The directory, the separator and the name; a path too long for the buffer is not opened.
  char path[kOocConfigPathSize];
  const std::size_t dl = std::strlen(dir), nl = std::strlen(name);
  const bool fits = dl + 1 + nl < sizeof path;
  if (fits) {
    std::memcpy(path, dir, dl);
    path[dl] = '/';
    std::memcpy(path + dl + 1, name, nl + 1);
  } else {
    const std::size_t n = std::min(dl, sizeof path - 1);
    std::memcpy(path, dir, n);
    path[n] = '\0';
  }
  if (!(fits && read_file(path, rec, from_env)) && echo) print_string(kSmOocCfgNotOpened, path);
}

long long ooc_need_in_core(const OocRecord& rec) {
  return rec.total_estimate / 1024 + 1;
}

long long ooc_need_out_of_core(const OocRecord& rec) {
  return (static_cast<long long>(rec.incore_estimate) + rec.buffer_estimate) / 1024 + 1;
}

int ooc_mode(int iparm59) {
  return iparm59 == 22 ? 2 : iparm59 == 1 || iparm59 == 2 ? iparm59 : 0;
}

int decide_ooc_mode(OocRecord* rec, int mode, int msglvl) {
  bool out_of_core = false;
  int announcement = kSmOocInCoreMode0;
  if (mode == 1) {
    out_of_core =
        static_cast<long long>(rec->max_core_size) + rec->max_swap_size <= ooc_need_in_core(*rec);
    announcement = out_of_core ? kSmOocOutOfCoreMode1 : kSmOocInCoreMode1;
  } else if (mode == 2) {
    out_of_core = true;
    announcement = kSmOocOutOfCoreMode2;
  }
  if (out_of_core) {
    const long long need = ooc_need_out_of_core(*rec);
    if (rec->max_core_size < need) {
      if (msglvl != 0)
        msg_print(kSmOocMemoryTooSmall, 2, static_cast<int>(need), rec->max_core_size);
      rec->error = kErrOocMemory;
      return kErrOocMemory;
    }
  }
  if (msglvl != 0) msg_print(announcement, 0);
  rec->state = out_of_core ? kOocStateOutOfCore : kOocStateInCore;
  return 0;
}

void set_ooc_estimates(OocRecord* rec, long long total_bytes, long long value_bytes,
                       std::size_t window_bytes, long long out_of_core_bytes) {
  auto kb = [](long long bytes) {
    const long long k = (std::max(bytes, 0LL) + 1023) / 1024;
    return static_cast<int>(std::min<long long>(k, INT_MAX));
  };
  const long long window = static_cast<long long>(
      std::min<std::size_t>(window_bytes, static_cast<std::size_t>(LLONG_MAX - 1023)));
  rec->total_estimate = kb(total_bytes);
  rec->incore_estimate = kb(total_bytes - value_bytes + out_of_core_bytes);
  rec->buffer_estimate = kb(window);
}

const char* ooc_scratch_base_name(const void* scratch) {
  if (scratch == nullptr) return nullptr;
  int flag = 0;
  std::memcpy(&flag, scratch, sizeof flag);
  return flag == kScratchNameSet ? static_cast<const char*>(scratch) + kScratchNameOffset : nullptr;
}

void ooc_keep_base_name(void* scratch, OocRecord* rec) {
  if (scratch == nullptr) return;
  char* name = static_cast<char*>(scratch) + kScratchNameOffset;
  if (const char* kept = ooc_scratch_base_name(scratch)) {
    set_base_name(rec, kept, strnlen(kept, kOocBaseNameMax));
    return;
  }
  std::memcpy(name, rec->base_name, std::strlen(rec->base_name) + 1);
  const int flag = kScratchNameSet;
  std::memcpy(scratch, &flag, sizeof flag);
}

int ooc_before_factorization(OocRecord* rec, void* scratch, int iparm59, int msglvl) {
  if (rec->state != kOocStateUndecided) return 0;
  if (iparm59 == 0) {
    rec->state = kOocStateInCore;
    return 0;
  }
  rec->error = 0;
  read_ooc_config(rec, kOocConfigName, msglvl);
  ooc_keep_base_name(scratch, rec);
  return decide_ooc_mode(rec, ooc_mode(iparm59), msglvl);
}

}  // namespace ztr
