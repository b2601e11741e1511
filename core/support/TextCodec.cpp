#include "support/TextCodec.h"

#include <iconv.h>

#include <cerrno>
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

// Converts as far as possible; at a sequence the source encoding rejects it
// writes `replacement` (in the target encoding) and skips `skipUnit` bytes.
std::string ConvertBytes(IconvHandle& cd, std::string_view in, std::string_view replacement,
                         size_t skipUnit) {
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
    // EILSEQ or EINVAL (truncated sequence at the end): replace one unit.
    out.append(replacement);
    size_t skip = std::min(skipUnit, srcLeft);
    src += skip;
    srcLeft -= skip;
    iconv(cd.get(), nullptr, nullptr, nullptr, nullptr);
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

// Length of the sequence a lead byte starts, 0 for a byte that cannot lead.
int Utf8SequenceLength(unsigned char lead) {
  if (lead < 0x80) return 1;
  if (lead >= 0xC2 && lead < 0xE0) return 2;
  if (lead >= 0xE0 && lead < 0xF0) return 3;
  if (lead >= 0xF0 && lead <= 0xF4) return 4;
  return 0;
}

// Decodes one sequence at text[i]; 0 when it is invalid or truncated.
char32_t DecodeUtf8At(std::string_view text, size_t i, int length) {
  if (length == 0 || i + static_cast<size_t>(length) > text.size()) return 0;
  auto byte = [&](size_t k) { return static_cast<unsigned char>(text[k]); };
  char32_t cp = byte(i) & (0x7F >> length);
  for (int k = 1; k < length; ++k) {
    unsigned char c = byte(i + static_cast<size_t>(k));
    if ((c & 0xC0) != 0x80) return 0;
    cp = (cp << 6) | (c & 0x3F);
  }
  static constexpr char32_t kMinimum[] = {0, 0, 0x80, 0x800, 0x10000};
  if (cp < kMinimum[length] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
  return cp;
}

}  // namespace

std::u16string Utf8ToUtf16(std::string_view text) {
  std::u16string out;
  out.reserve(text.size());
  size_t i = 0;
  while (i < text.size()) {
    unsigned char lead = static_cast<unsigned char>(text[i]);
    if (lead < 0x80) {
      out.push_back(lead);
      ++i;
      continue;
    }
    int length = Utf8SequenceLength(lead);
    char32_t cp = DecodeUtf8At(text, i, length);
    if (cp == 0) {
      out.push_back(kReplacement);
      ++i;
      continue;
    }
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(cp));
    }
    i += static_cast<size_t>(length);
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
  return FromUtf16Bytes(ConvertBytes(cd, text, std::string("?\0", 2), 1));
}

std::string Utf16ToAnsi(std::u16string_view text) {
  IconvHandle cd("GBK", "UTF-16LE");
  if (!cd.valid()) return Utf16ToUtf8(text);
  return ConvertBytes(cd, ToUtf16Bytes(text), "?", 2);
}

bool DecodeWith(const char* iconvName, std::string_view bytes, std::u16string& out) {
  IconvHandle cd("UTF-16LE", iconvName);
  if (!cd.valid()) return false;
  out = FromUtf16Bytes(ConvertBytes(cd, bytes, std::string("?\0", 2), 1));
  return true;
}

std::u16string Ascii(std::string_view text) {
  std::u16string out(text.size(), u'\0');
  for (size_t i = 0; i < text.size(); ++i) out[i] = static_cast<unsigned char>(text[i]);
  return out;
}

}  // namespace TextCodec
