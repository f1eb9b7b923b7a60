// COM for the thread that runs a usage check: initialised when a check
// starts and released when it ends. Natively there is no COM; nothing to do.
#pragma once

namespace gw {

class ThreadApartment {
 public:
  ThreadApartment();
  ~ThreadApartment();
  ThreadApartment(const ThreadApartment&) = delete;
  ThreadApartment& operator=(const ThreadApartment&) = delete;

 private:
  long result_;
};

}  // namespace gw
