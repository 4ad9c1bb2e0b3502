#include "service/error.h"

#include <atomic>
#include <cstring>

#include "service/messages.h"
#include "service/platform.h"

namespace ztr {
namespace {

// Filling an empty slot from two threads stores the same default, so plain (relaxed)
// stores suffice; the atomics only keep the accesses well defined.
std::atomic<XerblaFn> g_error_handler{nullptr};
std::atomic<ProgressFn> g_progress_hook{nullptr};

constexpr int kNameLimit = 20;
constexpr int kInfoNoWorkMemory = 1000;
constexpr int kInfoIncompatibleOptions = 1001;

int default_progress(const int*, const int*, const char*, int) { return 0; }

// Copies at most 20 characters of a name that need not be terminated.
void copy_name(char (&out)[kNameLimit + 1], const char* name, int length) {
  int n = length < kNameLimit ? length : kNameLimit;
  if (n < 0) n = 0;
  std::memcpy(out, name, static_cast<std::size_t>(n));
  out[n] = '\0';
}

}  // namespace

void xerbla(const char* name, const int* info, int length) {
  char cut[kNameLimit + 1];
  copy_name(cut, name, length);
  msg_print(kMsgBlankLine, 0);
  const int code = *info;
  if (code == kInfoNoWorkMemory) {
    msg_print(kMsgNoWorkMemory, 1, cut);
  } else if (code == kInfoIncompatibleOptions) {
    msg_print(kMsgIncompatibleOptions, 1, cut);
  } else if (code == kMsgCardRead) {
    msg_print(kMsgCardRead, 1, cut);
  } else if (code == kMsgAllocFailed) {
    msg_print(kMsgAllocFailed, 1, cut);
  } else if (code <= 0) {
    msg_print(kMsgInternalCondition, 2, -code, cut);
  } else {
    msg_print(kMsgBadParameter, 2, code, cut);
  }
}

void xerbla_dispatch(const char* name, const int* info, int length) {
  XerblaFn handler = g_error_handler.load(std::memory_order_acquire);
  if (handler != nullptr) {
    handler(name, info, length);
  } else {
    xerbla(name, info, length);
  }
}

void install_default_xerbla() {
  if (g_error_handler.load(std::memory_order_acquire) == nullptr)
    g_error_handler.store(xerbla, std::memory_order_release);
}

void install_default_progress() {
  if (g_progress_hook.load(std::memory_order_acquire) == nullptr)
    g_progress_hook.store(default_progress, std::memory_order_release);
}

int progress_call(const int* thread, const int* step, const char* stage, int length) {
  ProgressFn hook = g_progress_hook.load(std::memory_order_acquire);
  return hook != nullptr ? hook(thread, step, stage, length) : 0;
}

int alloc_check(const void* pointer, const char* name) {
  if (pointer != nullptr) return 0;
  const int info = kMsgAllocFailed;
  xerbla_dispatch(name, &info, static_cast<int>(std::strlen(name)));
  return 1;
}

void fatal_processor_too_old() {
  msg_print(kMsgNoSse2, 0);
  msg_print(kMsgNoSse2Detail, 0);
  terminate_now(1);
}

void fatal_unsupported_cpu_type(int cpu_type) {
  msg_print(kMsgCpuNotSupported, 1, cpu_type);
  terminate_now(1);
}

XerblaFn error_handler_slot() { return g_error_handler.load(); }
ProgressFn progress_hook_slot() { return g_progress_hook.load(); }

}  // namespace ztr
