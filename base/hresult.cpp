#include "base/hresult.h"

#include <new>

namespace gw {

HResult HResultFromCaught() noexcept {
  try {
    throw;
  } catch (const HResultError& e) {
    return Failed(e.code()) ? e.code() : kEFail;
  } catch (const std::bad_alloc&) {
    return kEOutOfMemory;
  } catch (...) {
    return kEFail;
  }
}

}  // namespace gw
