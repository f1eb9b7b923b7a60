// The headers of every page the bridge shows a browser: the status pages,
// the guide and the guide's pictures.
#pragma once

namespace gw::bridge {

// The pages run no script and load nothing from elsewhere; the policy makes
// the browser hold them to that, whatever a hostile text in them might try.
// nosniff keeps a picture a picture and a page a page.
inline constexpr char kPageHeaders[] =
    "Content-Security-Policy: default-src 'none'; img-src 'self'; style-src 'unsafe-inline'; "
    "frame-ancestors 'none'\r\nX-Content-Type-Options: nosniff\r\n";

}  // namespace gw::bridge
