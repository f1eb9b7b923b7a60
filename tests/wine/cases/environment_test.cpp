// The Wine environment the other cases rely on: the Japanese ANSI code page,
// with narrow file names that really are Shift-JIS on disk (the plug-in hands
// narrow paths to the host and to file deletion).
#include <windows.h>

#include "harness/test_case.h"
#include "harness/test_env.h"

namespace gwtest {

void CaseEnvironment(TestEnv& env) {
  Require(GetACP() == 932, "GetACP() is " + std::to_string(GetACP()) + ", not 932");

  // "電力.txt" created through the narrow API in code page 932 ...
  const std::string narrowName = "\x93\x64\x97\xcd.txt";
  WriteWholeFile(env.root + narrowName, "x");
  // ... is the same file to the wide API.
  WIN32_FIND_DATAW found;
  std::wstring pattern = std::wstring(env.root.begin(), env.root.end()) + L"*.txt";
  HANDLE search = FindFirstFileW(pattern.c_str(), &found);
  Require(search != INVALID_HANDLE_VALUE, "the file with a Japanese name was not found");
  FindClose(search);
  Require(std::wstring(found.cFileName) == L"\u96FB\u529B.txt",
          "a CP932 file name reads back as \"" + Utf8(found.cFileName) + "\"");
}

}  // namespace gwtest
