// The out-of-core record of a handle: whether the factors live in memory or in files, the
// memory the caller allows, the file-removal switch, the analysis' estimates, the status of
// the file layer and its byte and time counters.  The interface fills the settings (from the
// environment and the configuration file) and takes the decision; the factor store and the
// file layer count what they move.
#pragma once

#include <cstddef>
#include <cstdint>

#include "sparse_solver/common/supernodes.h"

namespace ztr {

// Kinds of temporary files, numbered as their codes (1 .. 11).
enum OocKind : int {
  kOocIndices = 1,     // ".ind": the row indices of the supernodes
  kOocL = 2,           // ".lnz": the values of L
  kOocU = 3,           // ".unz": the values of U (separate U only)
  kOocJalf = 4,        // ".jal"
  kOocJauf = 5,        // ".jau" (separate U only)
  kOocLuperm = 6,      // ".lup"
  kOocLuperm2 = 7,     // ".uup" (separate U only)
  kOocLupermRow = 8,   // ".lpr" (pivoting data of the matching/scaling step)
  kOocLupermRow2 = 9,  // ".upr" (as 8, separate U only)
  kOocSlindx = 10,     // ".sin"
  kOocSlength = 11,    // ".sle"
};
inline constexpr int kOocKindCount = 11;
// Longest base name of the temporary files, and room for a path made from it.
inline constexpr int kOocBaseNameMax = 1000;
inline constexpr int kOocPathSize = kOocBaseNameMax + 40;

// States of the decision.
inline constexpr int kOocStateUndecided = -1;
inline constexpr int kOocStateInCore = 0;
inline constexpr int kOocStateOutOfCore = 2;

struct OocRecord {
  int state = -1;  // -1 undecided, 0 in core, 2 out of core (fixed at the first factorization)
  int max_core_size = 2000;  // megabytes the factorization may use out of core
  int keep_file = 1;         // != 0: the files are removed on a new analysis or phase -1
  int max_swap_size = 0;     // megabytes added to max_core_size in the mode-1 decision
  int incore_estimate = 0;   // kilobytes: the in-memory part of an out-of-core run (iparm[61])
  int buffer_estimate = 0;   // kilobytes: its buffers (iparm[62])
  int total_estimate = 0;    // kilobytes: a complete in-core factorization
  int error = 0;             // status of the file layer (0: none)
  std::uint32_t written_factor = 0;  // bytes written during factorization
  std::uint32_t read_factor = 0;     // bytes read during factorization
  std::uint32_t read_solve = 0;      // bytes read during solve
  double write_time_factor = 0, read_time_factor = 0, read_time_solve = 0;  // seconds
  char base_name[kOocBaseNameMax + 1] = "ooc_temp";
  int file_count[kOocKindCount + 1] = {};  // files in use per kind (index = kind code)
};

// The least window of an out-of-core factorization: two blocks of the largest supernode (the
// one being factored and one descendant updating it), each with its U part when the factor
// keeps U apart.  The analysis' buffer estimate is this, and the factor store never runs with
// less.
inline std::size_t ooc_minimal_window(const Supernodes& sn, bool has_u, std::size_t value_bytes) {
  std::size_t largest = 0;
  for (int s = 0; s < sn.count; ++s) {
    const std::size_t b = static_cast<std::size_t>(sn.len(s)) * sn.width(s);
    if (b > largest) largest = b;
  }
  return 2 * largest * value_bytes * (has_u ? 2 : 1);
}

// The bytes of blocks the window of an out-of-core factorization may hold: max_core_size less
// the in-memory part of the run (0 when that leaves nothing: the window then runs with its
// least size, which the mode decision has checked against max_core_size).
inline std::size_t ooc_window_budget(const OocRecord& r) {
  const long long bytes = static_cast<long long>(r.max_core_size) * 1048576LL -
                          static_cast<long long>(r.incore_estimate) * 1024LL;
  if (bytes <= 0) return 0;
  const unsigned long long most = static_cast<std::size_t>(-1) / 2;
  return static_cast<std::size_t>(static_cast<unsigned long long>(bytes) < most
                                      ? static_cast<unsigned long long>(bytes)
                                      : most);
}

}  // namespace ztr
