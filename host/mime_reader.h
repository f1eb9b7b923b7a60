// Reads stored mail back for display: header fields, MIME parts and their
// decoded bodies. Lenient, as a mail reader must be: what it cannot make
// sense of stays as text.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace gwhost {

struct MimeEntity {
  std::vector<std::string> fields;  // each unfolded, "Name: value"
  std::string body;                 // lines ended by LF
  std::vector<MimeEntity> parts;    // of a multipart entity

  // The raw (undecoded) value of the first field of that name; empty if none.
  std::string Field(std::string_view name) const;
  // Lower case type/subtype of Content-Type; "text/plain" when missing.
  std::string MediaType() const;
  // A parameter of Content-Type (charset, boundary), unquoted; empty if none.
  std::string Parameter(std::string_view name) const;
};

// Parses a whole message (LF or CR LF line ends). Multipart bodies are split
// into parts, nested up to a few levels.
MimeEntity ParseMessage(std::string_view text);

// The body with its transfer encoding (base64, quoted-printable) undone.
std::string DecodedBody(const MimeEntity& entity);

}  // namespace gwhost
