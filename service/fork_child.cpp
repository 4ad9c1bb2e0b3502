#include "service/fork_child.h"

#include <pthread.h>

#include <atomic>

#include "service/service_lock.h"

namespace ztr {
namespace {

std::atomic<int> g_forked_child{0};

void before_fork() {
  service_lock();
}
void after_fork_in_parent() {
  service_unlock();
}
void after_fork_in_child() {
  g_forked_child.store(1, std::memory_order_relaxed);
  service_unlock();
}

// At load, so that a child of a process whose own OpenMP regions (not the library's) made
// the thread team is covered as well.  The object is linked whenever thread control is,
// because every thread-count query asks in_forked_child().
__attribute__((constructor)) void register_fork_handlers() {
  pthread_atfork(before_fork, after_fork_in_parent, after_fork_in_child);
}

}  // namespace

bool in_forked_child() {
  return g_forked_child.load(std::memory_order_relaxed) != 0;
}

}  // namespace ztr
