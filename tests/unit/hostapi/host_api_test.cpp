#include "hostapi/host_api.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace {

std::string g_version;
const char* GW_CALL ReportVersion() { return g_version.c_str(); }
void Dummy() {}

// A host offering every function except those named in `missing`.
struct TableHost {
  std::set<std::string> missing;
  int lookups = 0;

  gw::HostProc operator()(const char* name) {
    ++lookups;
    if (missing.count(name)) return nullptr;
    if (std::string(name) == "BKA_GetVersion") return reinterpret_cast<gw::HostProc>(ReportVersion);
    return &Dummy;
  }
};

int g_module;

bool Bind(TableHost& host, const std::string& version, gw::HostApi* out = nullptr) {
  g_version = version;
  gw::HostApi api;
  bool bound = gw::BindHostApiWith(api, &g_module, [&host](const char* n) { return host(n); });
  EXPECT_EQ(bound, api.IsBound());
  if (out) *out = api;
  return bound;
}

TEST(HostApi, ResolvesFiftyEightNamesInOrder) {
  ASSERT_STREQ(gw::HostFunctionName(0), "BKA_GetVersion");
  EXPECT_STREQ(gw::HostFunctionName(49), "BKA_B64Convert");
  EXPECT_STREQ(gw::HostFunctionName(53), "BKA_Connect");
  EXPECT_STREQ(gw::HostFunctionName(54), "BKA_SetStatus");
  EXPECT_STREQ(gw::HostFunctionName(57), "BKA_GetSize");
  EXPECT_EQ(gw::HostFunctionName(58), nullptr);
  std::set<std::string> unique;
  for (int i = 0; i < gw::kHostFunctionCount; ++i) unique.insert(gw::HostFunctionName(i));
  EXPECT_EQ(unique.size(), 58u);
}

TEST(HostApi, RefusesAHostLackingAnyRequiredFunction) {
  for (int i = 0; i < 54; ++i) {
    TableHost host{{gw::HostFunctionName(i)}};
    EXPECT_FALSE(Bind(host, "2.00.05")) << gw::HostFunctionName(i);
  }
}

TEST(HostApi, AcceptsAHostLackingOptionalFunctions) {
  TableHost host{{"BKA_NextUnread", "BKA_ProcessMail", "BKA_GetSize"}};
  gw::HostApi api;
  ASSERT_TRUE(Bind(host, "2.81.02", &api));
  EXPECT_EQ(api.NextUnread, nullptr);
  EXPECT_EQ(api.GetSize, nullptr);
  EXPECT_NE(api.SetStatus, nullptr);
  EXPECT_EQ(api.module, &g_module);
}

TEST(HostApi, SetStatusIsRequiredFromVersion2_00_06) {
  struct Case {
    const char* version;
    bool hasSetStatus;
    bool bound;
  } cases[] = {
      {"2.00.05", false, true},  {"2.00.06", false, false}, {"2.00.06", true, true},
      {"2.00.10", false, false}, {"2.00.10a", false, false}, {"1.26.04", false, true},
      {"", false, true},         {"3", false, false},
  };
  for (const auto& c : cases) {
    TableHost host;
    if (!c.hasSetStatus) host.missing.insert("BKA_SetStatus");
    EXPECT_EQ(Bind(host, c.version), c.bound) << c.version << " SetStatus=" << c.hasSetStatus;
  }
}

TEST(HostApi, SecondBindAfterSuccessLooksNothingUp) {
  TableHost host;
  g_version = "2.81.02";
  gw::HostApi api;
  auto resolve = [&host](const char* n) { return host(n); };
  ASSERT_TRUE(gw::BindHostApiWith(api, &g_module, resolve));
  int first = host.lookups;
  EXPECT_EQ(first, 58);
  EXPECT_TRUE(gw::BindHostApiWith(api, &g_module, resolve));
  EXPECT_EQ(host.lookups, first);
}

TEST(HostApi, NoMainModuleMeansNoBinding) {
  TableHost host;
  gw::HostApi api;
  EXPECT_FALSE(gw::BindHostApiWith(api, nullptr, [&host](const char* n) { return host(n); }));
  EXPECT_FALSE(api.IsBound());
}

}  // namespace
