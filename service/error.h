// Argument-error reporting, work-memory failure reports, the progress hook and the fatal
// stops.  Nothing here writes to standard error or throws: every report is a numbered
// message on standard output, and the caller decides how to go on.
#pragma once

namespace ztr {

// Signature shared by xerbla and the error-handler slot: name (not necessarily terminated),
// pointer to the info code, name length.
using XerblaFn = void (*)(const char* name, const int* info, int length);
// Signature of the progress hook: thread index, step, stage name, stage-name length.
// A nonzero result asks the caller to stop.
using ProgressFn = int (*)(const int* thread, const int* step, const char* stage, int length);

// Reports an argument error or an internal condition for routine `name`:
//   info 1000 -> message 8, 1001 -> 9, 1212 -> 1212, 1089 -> 1089,
//   info <= 0 -> message 7 with -info, any other value -> message 6 (bad parameter `info`).
// Every report starts with a blank line.  Only the first 20 characters of the name are used.
void xerbla(const char* name, const int* info, int length);

// As xerbla, but through the error-handler slot when it is filled.
void xerbla_dispatch(const char* name, const int* info, int length);

// Fill the handler slot with xerbla, or the progress slot with the default hook (which
// always answers 0), if the slot is still empty.
void install_default_xerbla();
void install_default_progress();

// 0 when the progress slot is empty, otherwise the hook's answer.
int progress_call(const int* thread, const int* step, const char* stage, int length);

// 0 for a non-null pointer; otherwise reports message 1089 for routine `name` (through the
// handler slot when it is filled) and returns 1.
int alloc_check(const void* pointer, const char* name);

// Fatal stops: print their messages and end the process at once with exit code 1.
[[noreturn]] void fatal_processor_too_old();
[[noreturn]] void fatal_unsupported_cpu_type(int cpu_type);

// For tests: the current slot contents.
XerblaFn error_handler_slot();
ProgressFn progress_hook_slot();

}  // namespace ztr
