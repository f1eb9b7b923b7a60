#include "plugin/plugin_info.h"

#include <cstring>

namespace gw {

void FillPluginInfo(char* record) {
  std::memcpy(record + kInfoNameOffset, kPluginName, sizeof kPluginName);
  std::memcpy(record + kInfoVendorOffset, kPluginVendor, sizeof kPluginVendor);
  std::memcpy(record + kInfoVersionOffset, kPluginVersion, sizeof kPluginVersion);
  std::memcpy(record + kInfoDescriptionOffset, kPluginDescription, sizeof kPluginDescription);
}

}  // namespace gw
