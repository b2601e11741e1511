// Base64 of the server wire: the standard alphabet with "=" padding and no
// line breaks out, and a forgiving decoder that stops where the text stops
// looking like Base64. Stateless; safe from any thread.
#pragma once

#include <string>
#include <string_view>

namespace Base64 {

std::string Encode(std::string_view bytes);

// Decodes up to the first "=" or the first character outside "A–Z a–z 0–9 +
// /" (a line break ends the text too). A final group of 2 or 3 characters
// yields 1 or 2 bytes; a lone final character carries less than a byte and
// yields nothing. Never fails: garbage decodes to whatever prefix was valid.
std::string Decode(std::string_view text);

}  // namespace Base64
