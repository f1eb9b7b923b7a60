#include <pthread.h>

#include "base/lock.h"

namespace gw {

static_assert(sizeof(pthread_mutex_t) <= 64, "lock storage too small");

namespace {
pthread_mutex_t* M(unsigned char* storage) { return reinterpret_cast<pthread_mutex_t*>(storage); }
}  // namespace

// Recursive, like a critical section: the thread that holds it may enter again.
Lock::Lock() {
  pthread_mutexattr_t attr;
  pthread_mutexattr_init(&attr);
  pthread_mutexattr_settype(&attr, PTHREAD_MUTEX_RECURSIVE);
  pthread_mutex_init(M(storage_), &attr);
  pthread_mutexattr_destroy(&attr);
}
Lock::~Lock() { pthread_mutex_destroy(M(storage_)); }
void Lock::Enter() { pthread_mutex_lock(M(storage_)); }
void Lock::Leave() { pthread_mutex_unlock(M(storage_)); }

}  // namespace gw
