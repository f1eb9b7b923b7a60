// The mailbox's folders as the stand-in host keeps them: Maildirs.
#pragma once

#include <string>

namespace gwhost {

// Stores `message` (text in the system code page, as the plug-in hands it
// over) in the folder named by `folder`, a mailbox identifier followed by a
// folder name such as "MailBox1/!!!!Outbox\". The message is kept as it
// would be sent: 7-bit ISO-2022-JP with Date and Message-ID (see
// PrepareForOutbox), one Maildir file with LF line ends. Returns 0, or a
// negative code when the folder is unknown or the message cannot be written.
int AppendToFolder(const std::string& folder, const std::string& message);

// "Deliver": the host would now send the outbox; it records the request.
void DeliverOutbox();

}  // namespace gwhost
