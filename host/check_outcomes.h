// Outcomes of the checks that the loaded plug-in runs on its worker threads,
// as the plug-in reports them to a hosting program that asks.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace gwhost {

// "sent: notification queued (0x00000000)", "skipped: ... (0x80004004)",
// "failed: ... (0x80072efd)".
std::string DescribeOutcome(int32_t result, const char* outcome);

// Print each reported check as one line on standard output when it ends.
void PrintOutcomesAsTheyCome(bool on);
int ReportedChecks();

// Waits until `count` checks have been reported, and returns true; returns
// false once `giveUp` (asked now and then) is true before that.
bool AwaitReportedChecks(int count, const std::function<bool()>& giveUp);

}  // namespace gwhost
