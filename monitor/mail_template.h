// The notification mail template that the plug-in carries with it: a whole
// Internet message in code page 932 with CR LF line ends, holding the
// __VAR__ placeholders that ComposeNotification fills.
#pragma once

#include <string>

namespace gw {

// Exactly the template's bytes, without a terminating zero; empty when the
// plug-in's module does not carry it.
std::string LoadMailTemplate();

}  // namespace gw
