// The built-in message table.  Texts are printf formats; the numbers are part of the
// library's interface (callers and scripts match on them), so they never change.
#include <algorithm>
#include <iterator>

#include "service/messages.h"

namespace ztr {
namespace {

struct MessageEntry {
  int number;
  const char* text;
};

// Sorted by number.  The sparse solver's texts join this table in their own number range.
constexpr MessageEntry kMessages[] = {
    {0, "\n"},
    {6, "ZTR ERROR: Parameter %d was incorrect on entry to %s."},
    {7, "ZTR INTERNAL ERROR: Condition %d detected in function %s."},
    {8, "ZTR INTERNAL ERROR: Not enough work memory in function %s."},
    {9, "ZTR ERROR: Incompatible optional parameters on entry to %s."},
    {1010, "Not enough memory to allocate work array in %s"},
    {1011, "Not enough memory to transpose matrix in %s"},
    {1012, "Wrong parameter %d in %s"},
    {1089, "ZTR INTERNAL ERROR: Not enough work memory in function %s"},
    {1210,
     "ZTR FATAL ERROR: This system does not meet the minimum requirements for use of the "
     "Orvan(R) Calvenor."},
    {1211,
     "The system processor must support the Orvan(R) Streaming SIMD 2 Extensions (Orvan(R) "
     "SSE2) instructions."},
    {1212, "ZTR INTERNAL ERROR: Problem with reading from card %s."},
    {1213, "ZTR ERROR: CPU %d is not supported."},
};

static_assert(std::is_sorted(std::begin(kMessages), std::end(kMessages),
                             [](const MessageEntry& a, const MessageEntry& b) {
                               return a.number < b.number;
                             }),
              "the message table must stay sorted by number");

}  // namespace

const char* message_table_text(int number) {
  const auto* it = std::lower_bound(
      std::begin(kMessages), std::end(kMessages), number,
      [](const MessageEntry& e, int n) { return e.number < n; });
  return (it != std::end(kMessages) && it->number == number) ? it->text : nullptr;
}

}  // namespace ztr
