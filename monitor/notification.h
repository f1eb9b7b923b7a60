// The notification mail: the template filled with a reading and the
// addresses, handed to the host's outbox, and the host asked to deliver.
#pragma once

#include "base/codepage.h"
#include "monitor/usage_reading.h"

namespace gw {

// The complete message: the template with every placeholder filled, in this
// order: sender, recipients, percentage, usage, capacity, year, month, day,
// hour, then the Base64 texts of the meter image and the forecast graph.
// The sender and recipients stand in header lines, so line breaks in them
// become spaces. A mail that lacks any of its text is never composed: a
// template that cannot be loaded or converted, or a replacement that fails,
// raises HResultError with the failure's code (E_OUTOFMEMORY when memory
// runs out; lack of memory elsewhere raises std::bad_alloc).
WideString ComposeNotification(const UsageReading& reading, WideView sender, WideView recipients,
                               WideView yahooBase64, WideView tepcoBase64);

// Appends `message` to the outbox of the host's current mailbox and requests
// delivery. The host's results are not looked at: a refused message goes
// unnoticed, and "Deliver" is sent in any case. Converting the folder and the
// message for the host happens first; a failed conversion raises
// HResultError with its code, and the host is then not called at all.
void QueueNotification(WideView message);

}  // namespace gw
