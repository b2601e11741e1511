#include "server/Base64.h"

#include <array>
#include <cstdint>

namespace {

constexpr std::string_view kAlphabet =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

constexpr int kNotBase64 = -1;

constexpr std::array<int, 256> MakeValues() {
  std::array<int, 256> values{};
  for (int& v : values) v = kNotBase64;
  for (std::size_t i = 0; i < kAlphabet.size(); ++i)
    values[static_cast<unsigned char>(kAlphabet[i])] = static_cast<int>(i);
  return values;
}

constexpr std::array<int, 256> kValues = MakeValues();

}  // namespace

namespace Base64 {

std::string Encode(std::string_view bytes) {
  std::string out;
  out.reserve((bytes.size() + 2) / 3 * 4);
  std::size_t i = 0;
  for (; i + 3 <= bytes.size(); i += 3) {
    std::uint32_t group = static_cast<std::uint8_t>(bytes[i]) << 16 |
                          static_cast<std::uint8_t>(bytes[i + 1]) << 8 |
                          static_cast<std::uint8_t>(bytes[i + 2]);
    for (int shift = 18; shift >= 0; shift -= 6) out += kAlphabet[(group >> shift) & 63];
  }
  std::size_t rest = bytes.size() - i;
  if (rest == 0) return out;
  std::uint32_t group = static_cast<std::uint8_t>(bytes[i]) << 16;
  if (rest == 2) group |= static_cast<std::uint8_t>(bytes[i + 1]) << 8;
  out += kAlphabet[(group >> 18) & 63];
  out += kAlphabet[(group >> 12) & 63];
  out += rest == 2 ? kAlphabet[(group >> 6) & 63] : '=';
  out += '=';
  return out;
}

std::string Decode(std::string_view text) {
  std::string out;
  out.reserve(text.size() / 4 * 3 + 2);
  std::uint32_t bits = 0;
  int bitCount = 0;
  for (char c : text) {
    int value = kValues[static_cast<unsigned char>(c)];
    if (value == kNotBase64) break;
    bits = (bits << 6) | static_cast<std::uint32_t>(value);
    bitCount += 6;
    if (bitCount >= 8) {
      bitCount -= 8;
      out += static_cast<char>((bits >> bitCount) & 0xFF);
    }
  }
  // Leftover bits (under 8) are the padding of the last group, never data.
  return out;
}

}  // namespace Base64
