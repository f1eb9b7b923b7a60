// The plug-in runs its usage checks on detached threads of its own. A test
// that reads settings after a callback waits for them first, or a check that
// is still running could write under it.
#pragma once

#include <windows.h>

namespace gwtest {

// Waits until no thread of this process that started inside `plugin` is
// running, counting threads that have been created but not yet begun to
// run; fails the test after `timeoutMs`.
void WaitForPluginThreads(HMODULE plugin, DWORD timeoutMs = 60000);

}  // namespace gwtest
