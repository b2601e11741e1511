// Small helpers shared by the test programs: UTF-16 literals from UTF-8 and
// printable forms for failure messages.
#pragma once

#include <string>
#include <string_view>

#include "support/TextCodec.h"

inline std::u16string U16(std::string_view utf8) { return TextCodec::Utf8ToUtf16(utf8); }
inline std::string U8(std::u16string_view text) { return TextCodec::Utf16ToUtf8(text); }

// Joins lines with CR LF after each, the layout of every document the core writes.
inline std::u16string CrLfLines(std::initializer_list<std::string_view> lines) {
  std::string text;
  for (std::string_view line : lines) {
    text += line;
    text += "\r\n";
  }
  return U16(text);
}
