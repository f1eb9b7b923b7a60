#include <objbase.h>

#include "base/apartment.h"

namespace gw {

// A single-threaded apartment; a failure is no stop in itself: the COM-based
// steps then fail with their own codes.
ThreadApartment::ThreadApartment() : result_(CoInitialize(nullptr)) {}

ThreadApartment::~ThreadApartment() {
  if (SUCCEEDED(result_)) CoUninitialize();
}

}  // namespace gw
