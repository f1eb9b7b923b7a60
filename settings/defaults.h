// Start-up defaults, and the account address they are learnt from.
#pragma once

#include "base/codepage.h"
#include "settings/settings_store.h"

namespace gw {

// The address of the current mailbox's account: the default recipient and
// the sender of the notification mail. Kept whole, however long: cutting it
// would give a wrong sender and a wrong default recipient.
WideString AccountAddress();
void SetAccountAddress(WideView address);

// Reads AccountAddress from the current mailbox's "MailBox.ini".
void LearnAccountAddress();

// Learns AccountAddress from the current mailbox's "MailBox.ini" and writes
// the default of every setting that is missing. Each failure is ignored.
void InitDefaults(const SettingsStore& store);

}  // namespace gw
