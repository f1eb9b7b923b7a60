#include "base/apartment.h"

namespace gw {

ThreadApartment::ThreadApartment() : result_(0) {}
ThreadApartment::~ThreadApartment() = default;

}  // namespace gw
