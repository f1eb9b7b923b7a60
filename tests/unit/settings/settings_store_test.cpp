#include "settings/settings_store.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <thread>
#include <vector>

#include "settings/registry_file.h"
#include "support/fake_host.h"

namespace {

using gw::SettingsStore;

class SettingsStoreTest : public ::testing::Test {
 protected:
  gwtest::FakeHost host;
  SettingsStore store{gw::RegistryRoot::kCurrentUser, gw::kSettingsKeyPath};

  // The raw stored form, as the registry holds it.
  gw::RegistryEntry Stored(const char16_t* name) {
    std::vector<gw::RegistryEntry> all;
    EXPECT_TRUE(gw::ListRegistryValues(host.registryFile, gw::kSettingsKeyPath, &all));
    for (auto& e : all) {
      if (e.name == name) return e;
    }
    ADD_FAILURE() << "no value";
    return {};
  }

  void WriteRaw(const char16_t* name, uint32_t type, const std::string& bytes) {
    auto key = gw::OpenRegistryKey(gw::RegistryRoot::kCurrentUser, gw::kSettingsKeyPath);
    ASSERT_TRUE(key);
    ASSERT_EQ(key->Write(name, type, bytes.data(), static_cast<uint32_t>(bytes.size())), gw::kSOk);
  }
};

TEST_F(SettingsStoreTest, TextsAreStoredAsUtf16WithoutTerminator) {
  ASSERT_EQ(store.SetString(u"TUServer", gw::WideView(u"proxy")), 0);
  auto e = Stored(u"TUServer");
  EXPECT_EQ(e.type, gw::kRegSz);
  EXPECT_EQ(e.data, std::string("p\0r\0o\0x\0y\0", 10));
  EXPECT_EQ(store.GetString(u"TUServer"), gw::WideString(u"proxy"));

  ASSERT_EQ(store.SetString(u"TUUser", gw::WideView(u"太郎")), 0);
  EXPECT_EQ(Stored(u"TUUser").data, std::string("\x2A\x59\xCE\x90", 4));
}

TEST_F(SettingsStoreTest, EmptyTextIsZeroBytesAndReadsAsNoText) {
  ASSERT_EQ(store.SetString(u"TUServer", gw::WideView(u"")), 0);
  EXPECT_EQ(Stored(u"TUServer").data.size(), 0u);
  EXPECT_EQ(store.GetString(u"TUServer"), std::nullopt);
  EXPECT_EQ(store.GetString(u"TUAbsent"), std::nullopt);
  EXPECT_EQ(store.SetString(u"TUServer", std::nullopt), gw::kEInvalidArg);
}

TEST_F(SettingsStoreTest, TextEndsAtFirstNullOrOddByte) {
  WriteRaw(u"TUUser", gw::kRegSz, std::string("a\0b\0\0\0c\0", 8));
  EXPECT_EQ(store.GetString(u"TUUser"), gw::WideString(u"ab"));
  WriteRaw(u"TUUser", gw::kRegSz, std::string("a\0b", 3));
  EXPECT_EQ(store.GetString(u"TUUser"), gw::WideString(u"a"));
}

TEST_F(SettingsStoreTest, DwordsAreFourLittleEndianBytes) {
  ASSERT_EQ(store.SetDword(u"TUPort", 0x01020304), 0);
  auto e = Stored(u"TUPort");
  EXPECT_EQ(e.type, gw::kRegDword);
  EXPECT_EQ(e.data, std::string("\x04\x03\x02\x01", 4));
  EXPECT_EQ(store.GetDword(u"TUPort"), 0x01020304u);
  EXPECT_EQ(store.GetDword(u"TUAbsent"), 0u);
}

TEST_F(SettingsStoreTest, WrongSizesAndTypesBehaveLikeTheRegistry) {
  // Longer than four bytes: unreadable as a number, replaced by EnsureDword.
  WriteRaw(u"TUCount", gw::kRegBinary, std::string(8, '\x07'));
  EXPECT_EQ(store.GetDword(u"TUCount"), 0u);
  EXPECT_EQ(store.EnsureDword(u"TUCount", 5), 0);
  EXPECT_EQ(Stored(u"TUCount").data, std::string("\x05\0\0\0", 4));
  EXPECT_EQ(Stored(u"TUCount").type, gw::kRegDword);

  // A short value of another type fits and is kept; its bytes read as a number.
  WriteRaw(u"TUPause", gw::kRegSz, std::string("1\0", 2));
  EXPECT_EQ(store.GetDword(u"TUPause"), 0x31u);
  EXPECT_EQ(store.EnsureDword(u"TUPause", 0), 0);
  EXPECT_EQ(Stored(u"TUPause").type, gw::kRegSz);

  // A number read as text gives its bytes as UTF-16 units.
  ASSERT_EQ(store.SetDword(u"TUPort", 0x00420041), 0);
  EXPECT_EQ(store.GetString(u"TUPort"), gw::WideString(u"AB"));
}

TEST_F(SettingsStoreTest, EnsureKeepsNonEmptyValuesAndFillsTheRest) {
  ASSERT_EQ(store.SetString(u"TUInterval", gw::WideView(u"15")), 0);
  ASSERT_EQ(store.SetString(u"TUServer", gw::WideView(u"")), 0);
  ASSERT_EQ(store.SetDword(u"TUPort", 8080), 0);
  EXPECT_EQ(store.EnsureString(u"TUInterval", u"30"), 0);
  EXPECT_EQ(store.EnsureString(u"TUServer", u"fallback"), 0);
  EXPECT_EQ(store.EnsureDword(u"TUPort", 80), 0);
  EXPECT_EQ(store.EnsureDword(u"TUPause", 0), 0);
  EXPECT_EQ(store.GetString(u"TUInterval"), gw::WideString(u"15"));
  EXPECT_EQ(store.GetString(u"TUServer"), gw::WideString(u"fallback"));
  EXPECT_EQ(store.GetDword(u"TUPort"), 8080u);
  EXPECT_EQ(Stored(u"TUPause").data, std::string(4, '\0'));
}

TEST_F(SettingsStoreTest, MissingKeyFailsEveryOperationAndWritesNothing) {
  host.DeleteSettingsKey();
  EXPECT_EQ(store.SetString(u"TUServer", gw::WideView(u"x")), gw::kEFail);
  EXPECT_EQ(store.SetString(u"TUServer", std::nullopt), gw::kEInvalidArg);
  EXPECT_EQ(store.EnsureString(u"TUServer", u"x"), gw::kEFail);
  EXPECT_EQ(store.SetDword(u"TUPort", 1), gw::kEFail);
  EXPECT_EQ(store.EnsureDword(u"TUPort", 1), gw::kEFail);
  EXPECT_EQ(store.GetString(u"TUServer"), std::nullopt);
  EXPECT_EQ(store.GetDword(u"TUPort"), 0u);
  // The key is never created by the plug-in.
  std::vector<gw::RegistryEntry> all;
  EXPECT_FALSE(gw::ListRegistryValues(host.registryFile, gw::kSettingsKeyPath, &all));
}

// The store keeps its connection to the registry file between operations;
// every operation must still see the file as it is now.
TEST_F(SettingsStoreTest, SeesWhatOthersChangedSinceItsLastOperation) {
  ASSERT_EQ(store.SetDword(u"TUPort", 80), 0);
  WriteRaw(u"TUPort", gw::kRegDword, std::string("\x90\x1F\0\0", 4));
  EXPECT_EQ(store.GetDword(u"TUPort"), 8080u) << "a value written elsewhere";

  // A new registry file in the old one's place, as a new profile makes it.
  for (const char* suffix : {"", "-wal", "-shm"}) std::remove((host.registryFile + suffix).c_str());
  ASSERT_TRUE(gw::CreateRegistryFile(host.registryFile));
  host.CreateSettingsKey();
  WriteRaw(u"TUPort", gw::kRegDword, std::string("\x01\0\0\0", 4));
  EXPECT_EQ(store.GetDword(u"TUPort"), 1u) << "the file that now stands there";

  host.DeleteSettingsKey();
  EXPECT_EQ(store.SetDword(u"TUPort", 2), gw::kEFail) << "the key deleted elsewhere";
  EXPECT_EQ(store.GetDword(u"TUPort"), 0u);
}

// Each short-lived user (a check from the stand-in host) writes a value or
// two and goes. The file's log must not grow with their number: everyone who
// opens the file alone reads the whole log through.
TEST_F(SettingsStoreTest, ManyShortUsersLeaveABoundedLog) {
  constexpr uint32_t kUsers = 120;
  for (uint32_t i = 1; i <= kUsers; ++i) {
    SettingsStore user(gw::RegistryRoot::kCurrentUser, gw::kSettingsKeyPath);
    ASSERT_EQ(user.SetDword(u"TUCount", i), 0);
  }
  SettingsStore last(gw::RegistryRoot::kCurrentUser, gw::kSettingsKeyPath);
  EXPECT_EQ(last.GetDword(u"TUCount"), kUsers);
  struct stat log {};
  ASSERT_EQ(stat((host.registryFile + "-wal").c_str(), &log), 0);
  EXPECT_LT(log.st_size, 64 * 4096) << "the log grows with every user";
}

// A key that may be read but not written: every set operation reports the
// store's own reason, which a check passes on to the user.
TEST_F(SettingsStoreTest, RefusedWritesReportTheStoresCode) {
  constexpr gw::HResult kDenied = static_cast<gw::HResult>(0x80070005u);
  struct ReadOnlyKey final : gw::RegistryKey {
    std::unique_ptr<gw::RegistryKey> real = gw::OpenRegistryKey(gw::RegistryRoot::kCurrentUser, gw::kSettingsKeyPath);
    std::optional<uint32_t> QuerySize(gw::WideView name) override { return real->QuerySize(name); }
    bool Read(gw::WideView name, void* buffer, uint32_t capacity, uint32_t* size) override {
      return real->Read(name, buffer, capacity, size);
    }
    gw::HResult Write(gw::WideView, uint32_t, const void*, uint32_t) override { return kDenied; }
  };
  ASSERT_EQ(store.SetDword(u"TUCount", 2), 0);
  SettingsStore readOnly([] { return std::make_unique<ReadOnlyKey>(); });
  EXPECT_EQ(readOnly.SetDword(u"TUCount", 3), kDenied);
  EXPECT_EQ(readOnly.SetString(u"TUUser", gw::WideView(u"x")), kDenied);
  EXPECT_EQ(readOnly.EnsureDword(u"TUPause", 0), kDenied);
  EXPECT_EQ(readOnly.EnsureString(u"TUUser", u"x"), kDenied);
  EXPECT_EQ(readOnly.GetDword(u"TUCount"), 2u) << "reading still works";
  EXPECT_EQ(readOnly.EnsureDword(u"TUCount", 0), 0) << "nothing to write";
}

TEST_F(SettingsStoreTest, ThreadsReadAndWriteAtTheSameTime) {
  constexpr int kRounds = 200;
  std::vector<std::thread> threads;
  std::vector<int> failures(4, 0);
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < kRounds; ++i) {
        if (gw::Failed(store.SetDword(u"TUCount", static_cast<uint32_t>(t * 1000 + i)))) ++failures[t];
        uint32_t v = store.GetDword(u"TUCount");
        if (v % 1000 >= kRounds) ++failures[t];  // a torn or foreign value
        if (gw::Failed(store.SetString(u"TUUser", gw::WideView(u"user-name")))) ++failures[t];
        if (store.GetString(u"TUUser") != gw::WideString(u"user-name")) ++failures[t];
      }
    });
  }
  for (auto& th : threads) th.join();
  for (int f : failures) EXPECT_EQ(f, 0);
}

TEST_F(SettingsStoreTest, ProcessesShareTheStoreSafely) {
  constexpr int kChildren = 3, kWrites = 100;
  std::vector<pid_t> children;
  for (int c = 0; c < kChildren; ++c) {
    pid_t pid = fork();
    if (pid == 0) {
      SettingsStore mine(gw::RegistryRoot::kCurrentUser, gw::kSettingsKeyPath);
      int bad = 0;
      for (int i = 0; i < kWrites; ++i) {
        std::u16string name = u"TUChild" + std::u16string(1, static_cast<char16_t>(u'0' + c));
        if (gw::Failed(mine.SetDword(name, static_cast<uint32_t>(i)))) ++bad;
        if (mine.GetDword(name) != static_cast<uint32_t>(i)) ++bad;
      }
      _exit(bad == 0 ? 0 : 1);
    }
    children.push_back(pid);
  }
  for (pid_t pid : children) {
    int status = 0;
    waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  EXPECT_EQ(store.GetDword(u"TUChild0"), kWrites - 1u);
}

}  // namespace
