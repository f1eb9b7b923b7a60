// Where the plug-in fetches its documents and where the notification mail
// links to. One place for all of them: the build reads the two link pages
// from this file into the mail template (resources/mail_template.cmake), so
// keep each on one line in the form  constexpr char16_t kName[] = u"...";
#pragma once

namespace gw {

// The usage service's latest reading, a small JSON document.
constexpr char16_t kUsageFeedUrl[] = u"http://tepco-usage-api.appspot.com/latest.json";

// The usage meter image of the Yahoo! power-saving site.
constexpr char16_t kMeterImageUrl[] = u"http://setsuden.yahoo.co.jp/images/meter/meter_setsuden.gif";

// TEPCO's demand-forecast graph.
constexpr char16_t kForecastGraphUrl[] = u"http://www.tepco.co.jp/forecast/html/images/juyo-j.gif";

// The pages that the mail's links open: the Yahoo! power-saving site's top
// page and TEPCO's demand-forecast page.
constexpr char16_t kYahooSiteUrl[] = u"http://setsuden.yahoo.co.jp/";
constexpr char16_t kTepcoForecastUrl[] = u"http://www.tepco.co.jp/forecast/index-j.html";

}  // namespace gw
