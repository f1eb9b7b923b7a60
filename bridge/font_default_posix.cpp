#include "bridge/options.h"

namespace gw::bridge {

// fonts-ipafont-gothic's proportional face.
const char kDefaultFont[] = "/usr/share/fonts/opentype/ipafont-gothic/ipagp.ttf";

}  // namespace gw::bridge
