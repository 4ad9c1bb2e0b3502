#include "service/service_lock.h"

#include <atomic>

#include "service/spin_wait.h"

namespace ztr {
namespace {
std::atomic<int> g_lock{0};
}

void service_lock() {
  for (;;) {
    int expected = 0;
    if (g_lock.compare_exchange_weak(expected, 1, std::memory_order_acquire)) return;
    // Wait on a plain load so that the waiting threads do not keep the line exclusive, and
    // back off: the holder may have been preempted and need this core.
    SpinWait idle;
    while (g_lock.load(std::memory_order_relaxed) != 0) idle.wait();
  }
}

void service_unlock() { g_lock.store(0, std::memory_order_release); }

}  // namespace ztr
