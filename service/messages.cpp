#include "service/messages.h"

#include <cstdarg>
#include <cstdio>

#include "service/platform.h"

namespace ztr {
namespace {

// One pair of buffers per thread: callers on several threads (each with its own solver
// handle, say) print at the same time, and a shared buffer would mix their texts.
thread_local char g_text_buffer[kMessageBufferSize];   // last text formatted by msg_text
thread_local char g_print_buffer[kMessageBufferSize];  // last text formatted by msg_print

const char* lookup(int number) {
  const char* text = message_table_text(number);
  // An unknown number is a bug in the caller; print something that names it rather than
  // nothing at all.
  return text != nullptr ? text : "ZTR INTERNAL ERROR: unknown message";
}

// Formats into `buffer`; returns the length the full text has (it may exceed the buffer).
int format(char* buffer, const char* text, int count, std::va_list args) {
  if (count >= 1) return std::vsnprintf(buffer, kMessageBufferSize, text, args);
  // Without arguments the text is still formatted once, so "%%" prints as one percent sign.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
#pragma GCC diagnostic ignored "-Wformat-security"
  return std::snprintf(buffer, kMessageBufferSize, text);
#pragma GCC diagnostic pop
}

}  // namespace

const char* msg_text(int number, int count, ...) {
  if (number == kMsgBlankLine) return "";
  const char* text = lookup(number);
  if (count < 1) return text;
  std::va_list args;
  va_start(args, count);
  std::vsnprintf(g_text_buffer, kMessageBufferSize, text, args);
  va_end(args);
  return g_text_buffer;
}

void msg_print(int number, int count, ...) {
  if (number == kMsgBlankLine) {
    std::fputs("\n", stdout);
    return;
  }
  std::va_list args;
  va_start(args, count);
  int length = format(g_print_buffer, lookup(number), count, args);
  va_end(args);
  if (length > kMessageBufferSize - 1) {
    std::fputs("\nZTR INTERNAL ERROR: message buffer overflow.", stdout);
    std::fflush(nullptr);
    std::printf("\n       Message N %d   Lenght: %d   Buffer size: %d\n", number, length,
                kMessageBufferSize);
    std::fflush(nullptr);
    terminate_process(8);
  }
  // The text and its line end as one unit, so lines of concurrent callers never interleave.
  flockfile(stdout);
  std::fputs(g_print_buffer, stdout);
  std::fputs("\n", stdout);
  funlockfile(stdout);
  std::fflush(nullptr);
}

}  // namespace ztr
