// The out-of-core mode's settings and decision: the configuration (environment, then the
// configuration file, then the defaults), the memory the mode needs by the analysis'
// estimates, the choice between factors in memory and factors in files, and the base name of
// the temporary files kept in the handle's scratch record.
#pragma once

#include <cstddef>

#include "sparse_solver/common/ooc_record.h"

namespace ztr {

inline constexpr const char* kOocConfigName = "korvine_ooc.cfg";
inline constexpr const char* kOocDefaultBaseName = "ooc_temp";
inline constexpr int kOocDefaultMaxCoreSize = 2000;  // megabytes
inline constexpr int kOocDefaultKeepFile = 1;

// The part of a configuration line that is read: the rest of a longer line is skipped, so
// that it is never taken for a line of its own.
inline constexpr int kOocConfigLineSize = 4096;
// Room for the configuration file's path (directory, "/", name, terminator): a longer path
// is not opened.
inline constexpr int kOocConfigPathSize = 4096;

// The record's states are kOocState* (common/ooc_record.h).

// Fills the record's max_core_size, max_swap_size, keep_file and base name: each from its
// environment variable when that is set, else from the configuration file `config_name` (in
// the directory "." unless the environment names another; not read at all when the base
// name, the core size or swap size, and the keep switch all came from the environment), else
// the defaults.  With msglvl > 0 echoes the variables found and reports a file that could
// not be opened.
void read_ooc_config(OocRecord* rec, const char* config_name, int msglvl);

// Megabytes of a complete in-core factorization, and the least of an out-of-core one, by the
// analysis' estimates.
long long ooc_need_in_core(const OocRecord& rec);
long long ooc_need_out_of_core(const OocRecord& rec);

// The mode iparm[59] asks for: 0, 1 or 2 (22 is 2; any other value is taken as 0).
int ooc_mode(int iparm59);

// Decides between in-core (state 0) and out-of-core (state 2) for `mode` (0, 1, 2) and
// announces it (msglvl != 0).  Out of core with less core size than the mode needs fails:
// the message (msglvl != 0), the record's error -9, the state left undecided, and -9
// returned; otherwise 0.
int decide_ooc_mode(OocRecord* rec, int mode, int msglvl);

// The analysis' estimates from byte counts: the total (a complete in-core factorization), the
// factor values inside it (what an out-of-core run keeps in files), the least window of an
// out-of-core run, and what only an out-of-core run keeps in memory besides.  Each in
// kilobytes rounded up, the in-core estimate being the total without the values, with the
// out-of-core structures.
void set_ooc_estimates(OocRecord* rec, long long total_bytes, long long value_bytes,
                       std::size_t window_bytes, long long out_of_core_bytes);

// The handle's scratch record (kScratchRecordBytes): a flag word, 1 once the base name is
// set, then the name.  Null when no name was set yet.
const char* ooc_scratch_base_name(const void* scratch);
// Keeps the record's base name in the scratch record if none is there yet, and makes the
// record's base name the one kept.
void ooc_keep_base_name(void* scratch, OocRecord* rec);

// What the first numerical factorization of a handle does before it starts: with iparm[59]
// = 0 the state becomes 0; otherwise the configuration is read, the base name kept, and the
// mode decided.  Once decided, nothing (0).  Returns 0 or -9 (decide_ooc_mode).
int ooc_before_factorization(OocRecord* rec, void* scratch, int iparm59, int msglvl);

}  // namespace ztr
