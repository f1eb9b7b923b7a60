// Ids of the settings dialog (resource 102) and of its controls, as the
// dialog template in resources/gridwren.rc numbers them.
#pragma once

namespace gw::dialog_id {

constexpr int kDialog = 102;
constexpr int kOk = 1;
constexpr int kCancel = 2;
constexpr int kPause = 1028;
constexpr int kServer = 1031;
constexpr int kPort = 1032;
constexpr int kUser = 1033;
constexpr int kPassword = 1034;
constexpr int kYahooLink = 1035;
constexpr int kTepcoLink = 1036;
constexpr int kAddress = 1037;
constexpr int kPercent = 1040;
constexpr int kTestMail = 1041;
constexpr int kInterval = 1042;
constexpr int kMessages = 1043;

}  // namespace gw::dialog_id
