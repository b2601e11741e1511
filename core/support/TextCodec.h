// Conversions between the core's UTF-16 text and the byte encodings it meets:
// UTF-8 (server bodies, the driver's JSON, file names) and the system's 8-bit
// code page 936 (the event log, serial input, the updater's command line).
// Stateless and safe to call from any thread.
#pragma once

#include <string>
#include <string_view>

namespace TextCodec {

// Invalid UTF-8 becomes U+FFFD, one per damaged sequence (its longest valid
// beginning, as the Unicode standard recommends); nothing is dropped silently.
std::u16string Utf8ToUtf16(std::string_view text);
// Lone surrogates become U+FFFD.
std::string Utf16ToUtf8(std::u16string_view text);

// Code page 936 (GBK) to UTF-16; bytes that do not decode become '?'.
std::u16string AnsiToUtf16(std::string_view text);
// UTF-16 to code page 936; characters the code page cannot hold become '?'.
std::string Utf16ToAnsi(std::u16string_view text);

// Any encoding iconv knows to UTF-16; false when iconv does not know it.
bool DecodeWith(const char* iconvName, std::string_view bytes, std::u16string& out);

// std::u16string from a narrow literal or ASCII text.
std::u16string Ascii(std::string_view text);

}  // namespace TextCodec
