// XXTEA (the corrected Block TEA) over a block of 32-bit words, as the server
// wire uses it. Stateless; safe from any thread.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string_view>

namespace Xxtea {

using Key = std::array<std::uint32_t, 4>;

// The first 16 bytes of `key`, zero-padded when shorter, read as four
// little-endian words.
Key KeyFromBytes(std::string_view key);

// In place. A block of fewer than two words is left as it is: the cipher is
// not defined for it.
void Encrypt(std::span<std::uint32_t> block, const Key& key);
void Decrypt(std::span<std::uint32_t> block, const Key& key);

}  // namespace Xxtea
