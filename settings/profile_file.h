// Reading one key of one section of an initialisation file, with a default,
// as GetPrivateProfileStringW does. Used for the mailbox's MailBox.ini.
#pragma once

#include "base/codepage.h"

namespace gw {

// The whole value, however long; `defaultValue` when the file, the section
// or the key is missing.
WideString ReadProfileString(WideView section, WideView key, WideView defaultValue, WideView file);

}  // namespace gw
