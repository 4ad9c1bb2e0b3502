// Numbered messages.  Every text the library prints is a printf format in the built-in message
// table, looked up by number and written to standard output followed by a line end and a
// flush of all output streams.
//
// On Linux there is no per-locale message catalogue: the built-in table is always used.
#pragma once

namespace ztr {

// Message numbers of the runtime services.
enum MessageNumber : int {
  kMsgBlankLine = 0,
  kMsgBadParameter = 6,
  kMsgInternalCondition = 7,
  kMsgNoWorkMemory = 8,
  kMsgIncompatibleOptions = 9,
  kMsgLapackeWorkMemory = 1010,
  kMsgLapackeTransposeMemory = 1011,
  kMsgLapackeWrongParameter = 1012,
  kMsgAllocFailed = 1089,
  kMsgNoSse2 = 1210,
  kMsgNoSse2Detail = 1211,
  kMsgCardRead = 1212,
  kMsgCpuNotSupported = 1213,
};

// Size of the buffers that hold a formatted message, terminator included.
inline constexpr int kMessageBufferSize = 512;

// The table's text for `number`, or null when the table has no such entry.
const char* message_table_text(int number);

// Formats message `number` with `count` arguments.  Number 0 gives the empty string; with
// count 0 the table's text itself is returned.  The result lives in a process-wide buffer
// until the next call.
const char* msg_text(int number, int count, ...);

// Prints message `number` formatted with `count` arguments, then a line end, then flushes.
// Number 0 writes only a line end, without flushing.  A formatted text that does not fit
// the 512-byte buffer ends the process with status 8.
void msg_print(int number, int count, ...);

}  // namespace ztr
