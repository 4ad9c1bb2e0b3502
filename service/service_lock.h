// The service lock: one process-wide spin lock that guards every one-time initialisation
// (thread settings, processor detection, the memory manager's thread table).  It is not
// recursive; code that holds it must not call anything that takes it again.
#pragma once

namespace ztr {

void service_lock();
void service_unlock();

class ServiceLockGuard {
 public:
  ServiceLockGuard() { service_lock(); }
  ~ServiceLockGuard() { service_unlock(); }
  ServiceLockGuard(const ServiceLockGuard&) = delete;
  ServiceLockGuard& operator=(const ServiceLockGuard&) = delete;
};

}  // namespace ztr
