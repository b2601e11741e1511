#include "support/TextCodec.h"

#include <iconv.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <string>
#include <vector>

namespace TextCodec {
namespace {

constexpr char16_t kReplacement = u'\uFFFD';

// Owns one iconv descriptor; iconv_t is not shared between threads.
class IconvHandle {
public:
  IconvHandle(const char* to, const char* from) : m_cd(iconv_open(to, from)) {}
  ~IconvHandle() {
    if (valid()) iconv_close(m_cd);
  }
  IconvHandle(const IconvHandle&) = delete;
  IconvHandle& operator=(const IconvHandle&) = delete;
  bool valid() const { return m_cd != reinterpret_cast<iconv_t>(-1); }
  iconv_t get() const { return m_cd; }

private:
  iconv_t m_cd;
};

// Bytes of the source's character at the front of `rest` that iconv refused;
// skipping whole characters keeps multi-byte sources aligned after an error.
using CharLength = size_t (*)(std::string_view rest);

size_t OneByte(std::string_view) { return 1; }
size_t TwoBytes(std::string_view) { return 2; }
size_t FourBytes(std::string_view) { return 4; }

// UTF-16LE source: a surrogate pair is one character, so it becomes one '?'.
size_t Utf16LeCharacter(std::string_view rest) {
  if (rest.size() >= 4) {
    auto unit = [&](size_t k) {
      return static_cast<unsigned>(static_cast<unsigned char>(rest[k]) |
                                   (static_cast<unsigned char>(rest[k + 1]) << 8));
    };
    if (unit(0) >= 0xD800 && unit(0) <= 0xDBFF && unit(2) >= 0xDC00 && unit(2) <= 0xDFFF) return 4;
  }
  return 2;
}

// Code unit width of an encoding iconv knows by name: UTF-16 and UCS-2 read
// two bytes at a time, UTF-32 and UCS-4 four, everything else one.
CharLength UnitOf(std::string_view name) {
  std::string folded;
  for (char c : name) {
    if (c != '-' && c != '_')
      folded.push_back(static_cast<char>(std::toupper(static_cast<unsigned char>(c))));
  }
  if (folded.rfind("UTF16", 0) == 0 || folded.rfind("UCS2", 0) == 0) return TwoBytes;
  if (folded.rfind("UTF32", 0) == 0 || folded.rfind("UCS4", 0) == 0) return FourBytes;
  return OneByte;
}

// Converts as far as possible; at a sequence the source encoding rejects it
// writes `replacement` (in the target encoding) and skips that character.
std::string ConvertBytes(IconvHandle& cd, std::string_view in, std::string_view replacement,
                         CharLength charLength) {
  std::string out;
  out.reserve(in.size() * 2 + 8);
  std::vector<char> buffer(4096);
  char* src = const_cast<char*>(in.data());
  size_t srcLeft = in.size();
  while (srcLeft > 0) {
    char* dst = buffer.data();
    size_t dstLeft = buffer.size();
    size_t rc = iconv(cd.get(), &src, &srcLeft, &dst, &dstLeft);
    out.append(buffer.data(), buffer.size() - dstLeft);
    if (rc != static_cast<size_t>(-1)) break;
    if (errno == E2BIG) continue;
    // EILSEQ, or EINVAL for a sequence cut off at the end.
    out.append(replacement);
    size_t skip = std::min(charLength(std::string_view(src, srcLeft)), srcLeft);
    src += skip;
    srcLeft -= skip;
  }
  return out;
}

std::u16string FromUtf16Bytes(const std::string& bytes) {
  std::u16string out(bytes.size() / 2, u'\0');
  for (size_t i = 0; i < out.size(); ++i) {
    out[i] = static_cast<char16_t>(static_cast<unsigned char>(bytes[2 * i]) |
                                   (static_cast<unsigned char>(bytes[2 * i + 1]) << 8));
  }
  return out;
}

std::string ToUtf16Bytes(std::u16string_view text) {
  std::string bytes(text.size() * 2, '\0');
  for (size_t i = 0; i < text.size(); ++i) {
    bytes[2 * i] = static_cast<char>(text[i] & 0xFF);
    bytes[2 * i + 1] = static_cast<char>(text[i] >> 8);
  }
  return bytes;
}

// One step of UTF-8 decoding: the character and the bytes it spans. A damaged
// sequence spans its longest valid beginning (at least its first byte) and
// gives U+FFFD, the Unicode standard's "maximal subpart" practice: one cut-off
// character yields one replacement and the next byte is read afresh.
struct Utf8Step {
  char32_t cp;
  size_t length;
};

Utf8Step DecodeUtf8At(std::string_view text, size_t i) {
  auto byte = [&](size_t k) { return static_cast<unsigned char>(text[k]); };
  unsigned char lead = byte(i);
  if (lead < 0x80) return {lead, 1};
  size_t length = 0;
  char32_t cp = 0;
  // The second byte's range also rules out overlong forms, surrogates and
  // code points beyond U+10FFFF.
  unsigned char low = 0x80;
  unsigned char high = 0xBF;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
    cp = lead & 0x1F;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    cp = lead & 0x0F;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    cp = lead & 0x07;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
  } else {
    return {kReplacement, 1};
  }
  for (size_t k = 1; k < length; ++k) {
    if (i + k >= text.size()) return {kReplacement, k};
    unsigned char c = byte(i + k);
    if (c < low || c > high) return {kReplacement, k};
    cp = (cp << 6) | (c & 0x3F);
    low = 0x80;
    high = 0xBF;
  }
  return {cp, length};
}

}  // namespace

std::u16string Utf8ToUtf16(std::string_view text) {
  std::u16string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size();) {
    Utf8Step step = DecodeUtf8At(text, i);
    if (step.cp >= 0x10000) {
      char32_t offset = step.cp - 0x10000;
      out.push_back(static_cast<char16_t>(0xD800 + (offset >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + (offset & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(step.cp));
    }
    i += step.length;
  }
  return out;
}

std::string Utf16ToUtf8(std::u16string_view text) {
  std::string out;
  out.reserve(text.size() * 3);
  for (size_t i = 0; i < text.size(); ++i) {
    char32_t cp = text[i];
    if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
        text[i + 1] <= 0xDFFF) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (text[i + 1] - 0xDC00);
      ++i;
    } else if (cp >= 0xD800 && cp <= 0xDFFF) {
      cp = kReplacement;
    }
    if (cp < 0x80) {
      out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
      out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
      out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
      out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
  }
  return out;
}

std::u16string AnsiToUtf16(std::string_view text) {
  IconvHandle cd("UTF-16LE", "GBK");
  if (!cd.valid()) return Ascii(text);
  return FromUtf16Bytes(ConvertBytes(cd, text, std::string("?\0", 2), OneByte));
}

std::string Utf16ToAnsi(std::u16string_view text) {
  IconvHandle cd("GBK", "UTF-16LE");
  if (!cd.valid()) return Utf16ToUtf8(text);
  return ConvertBytes(cd, ToUtf16Bytes(text), "?", Utf16LeCharacter);
}

bool DecodeWith(const char* iconvName, std::string_view bytes, std::u16string& out) {
  IconvHandle cd("UTF-16LE", iconvName);
  if (!cd.valid()) return false;
  out = FromUtf16Bytes(ConvertBytes(cd, bytes, std::string("?\0", 2), UnitOf(iconvName)));
  return true;
}

std::u16string Ascii(std::string_view text) {
  std::u16string out(text.size(), u'\0');
  for (size_t i = 0; i < text.size(); ++i) out[i] = static_cast<unsigned char>(text[i]);
  return out;
}

}  // namespace TextCodec
