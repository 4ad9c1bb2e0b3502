// Status codes of the orderings.  The values are those the solver's analysis maps onto its
// own error codes: -2 for memory, -3 for any other failure of the reordering, -8 for an
// integer overflow.
#pragma once

namespace ztr {

inline constexpr int kOrderOk = 0;
inline constexpr int kOrderNoMemory = -2;
inline constexpr int kOrderBadInput = -3;
inline constexpr int kOrderOverflow = -8;

}  // namespace ztr
