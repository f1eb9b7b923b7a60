#include <windows.h>

#include "base/clock.h"

namespace gw {

LocalTime SystemLocalTime() {
  SYSTEMTIME t;
  GetLocalTime(&t);
  return {t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute};
}

}  // namespace gw
