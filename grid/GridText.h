// GridText: the UTF-8 / UTF-16 conversions of the grid. The grid keeps UTF-8
// (what its files and pango use) and offers UTF-16 (what the core's texts
// are). Pure functions, safe from any thread.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace GridText {

// Ill-formed input (a lone surrogate, a broken UTF-8 sequence) becomes U+FFFD,
// so a conversion never fails and never drops the rest of a text.
std::string ToUtf8(std::u16string_view text);
std::u16string ToUtf16(std::string_view text);

bool IsValidUtf8(std::string_view text);
// The longest prefix of at most maxBytes bytes that ends on a character boundary.
std::string_view TruncateUtf8(std::string_view text, std::size_t maxBytes);

}  // namespace GridText
