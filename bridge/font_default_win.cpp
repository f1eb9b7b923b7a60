#include "bridge/options.h"

namespace gw::bridge {

// Empty: the graphs take the first installed of Windows's Japanese fonts.
const char kDefaultFont[] = "";

}  // namespace gw::bridge
