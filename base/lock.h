// A process-wide lock: a critical section on Windows, a mutex natively. The
// default mingw runtime has no std::mutex, so portable code uses this.
#pragma once

namespace gw {

class Lock {
 public:
  Lock();
  ~Lock();
  Lock(const Lock&) = delete;
  Lock& operator=(const Lock&) = delete;

  void Enter();
  void Leave();

 private:
  // Large enough for a CRITICAL_SECTION (24 bytes on i686, 40 on x64) and a
  // pthread_mutex_t (40 bytes on x86-64).
  alignas(8) unsigned char storage_[64];
};

class LockGuard {
 public:
  explicit LockGuard(Lock& lock) : lock_(lock) { lock_.Enter(); }
  ~LockGuard() { lock_.Leave(); }
  LockGuard(const LockGuard&) = delete;
  LockGuard& operator=(const LockGuard&) = delete;

 private:
  Lock& lock_;
};

}  // namespace gw
