// The status page that a person opens in a browser: for each area served,
// its state in plain Japanese with a colour, what to do when it is not
// fresh, the reading, both graphs, and where the figures come from. It is
// one more rendering of the data the API serves (each area's snapshot and
// its source's last outcome) and knows nothing the API does not.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "bridge/cache/cache.h"
#include "bridge/reading/areas.h"

namespace gw::bridge {

// One area as the page shows it. The pointers are only read while the page
// is drawn; either may be null (no reading held, no fetch ended yet).
struct PageArea {
  const Area* area;
  const Snapshot* snapshot;
  const SourceStatus* status;
};

// What the page says about the bridge itself.
struct PageContext {
  int64_t now = 0;            // Unix seconds
  int64_t maxAgeSeconds = 0;  // --max-age
  std::string_view version;   // the bridge's version
  std::string_view host;      // the Host the browser asked, e.g. "127.0.0.1:8080"; may be empty
  const Area* home = nullptr;  // whose documents a plug-in pointed at this listener gets
  bool login = false;          // the bridge asks for a login
  bool oneArea = false;        // the page of /areas/NAME/ rather than of /
};

// The whole page, as UTF-8 HTML5.
std::string StatusPage(const std::vector<PageArea>& areas, const PageContext& context);

// Text made safe inside HTML, between tags or in a quoted attribute. Bytes
// that are not UTF-8 and control characters become U+FFFD.
std::string HtmlText(std::string_view text);

}  // namespace gw::bridge
