#include "server/WireCodec.h"

#include <algorithm>
#include <cstdint>
#include <vector>

#include "server/Base64.h"
#include "server/Xxtea.h"
#include "support/TextCodec.h"

namespace {

// Shared with the inventory server; both directions use it.
constexpr std::string_view kWireKey = "Hq7TbN2vLc9XkR4m";

const Xxtea::Key& WireKey() {
  static const Xxtea::Key key = Xxtea::KeyFromBytes(kWireKey);
  return key;
}

std::vector<std::uint32_t> PackWords(std::string_view bytes) {
  std::vector<std::uint32_t> words((bytes.size() + 3) / 4, 0);
  for (std::size_t i = 0; i < bytes.size(); ++i)
    words[i / 4] |= static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[i]))
                    << (8 * (i % 4));
  return words;
}

std::string UnpackWords(const std::vector<std::uint32_t>& words) {
  std::string bytes(words.size() * 4, '\0');
  for (std::size_t i = 0; i < bytes.size(); ++i)
    bytes[i] = static_cast<char>((words[i / 4] >> (8 * (i % 4))) & 0xFF);
  return bytes;
}

}  // namespace

std::string SealRequest(std::u16string_view text) {
  const std::string utf8 = TextCodec::Utf16ToUtf8(text);
  std::vector<std::uint32_t> words = PackWords(utf8);
  words.push_back(static_cast<std::uint32_t>(utf8.size()));
  Xxtea::Encrypt(words, WireKey());
  return Base64::Encode(UnpackWords(words));
}

std::u16string OpenReply(std::string_view body) {
  const std::string data = Base64::Decode(body);
  // Under two words there is no room for both text and its length.
  if (data.size() <= 4) return std::u16string(kUndecodableReply);
  std::vector<std::uint32_t> words = PackWords(data);
  Xxtea::Decrypt(words, WireKey());
  const std::size_t m = words.size();
  const std::uint64_t length = words.back();
  if (length + 7 < 4 * m || length > 4 * m - 4) return std::u16string(kUndecodableReply);
  std::string plain = UnpackWords(words).substr(0, static_cast<std::size_t>(length));
  plain.resize(std::min(plain.size(), plain.find('\0')));
  return TextCodec::Utf8ToUtf16(plain);
}
