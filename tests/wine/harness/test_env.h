// Setting up the fresh environment of one case.
#pragma once

#include <windows.h>

#include <string>

#include "harness/test_case.h"

namespace gwtest {

// The account address every case's mailbox starts with.
constexpr const char* kAccountAddress = "gridwren.user@example.jp";

// Creates the case's own folders under the temporary folder, the mailbox
// with kAccountAddress, an empty settings key and a fresh host record.
TestEnv MakeTestEnv(const std::string& name);

// Creates or replaces a file with exactly these bytes.
void WriteWholeFile(const std::string& path, const std::string& bytes);

}  // namespace gwtest
