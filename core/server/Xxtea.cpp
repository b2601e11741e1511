#include "server/Xxtea.h"

namespace {

constexpr std::uint32_t kDelta = 0x9E3779B9u;

std::uint32_t Mix(std::uint32_t sum, std::uint32_t y, std::uint32_t z, std::size_t p,
                  std::uint32_t e, const Xxtea::Key& key) {
  return (((z >> 5) ^ (y << 2)) + ((y >> 3) ^ (z << 4))) ^ ((sum ^ y) + (key[(p & 3) ^ e] ^ z));
}

std::uint32_t Rounds(std::size_t n) { return static_cast<std::uint32_t>(6 + 52 / n); }

}  // namespace

namespace Xxtea {

Key KeyFromBytes(std::string_view key) {
  Key words{};
  for (std::size_t i = 0; i < 16 && i < key.size(); ++i)
    words[i / 4] |= static_cast<std::uint32_t>(static_cast<unsigned char>(key[i])) << (8 * (i % 4));
  return words;
}

void Encrypt(std::span<std::uint32_t> v, const Key& key) {
  const std::size_t n = v.size();
  if (n < 2) return;
  std::uint32_t sum = 0;
  std::uint32_t z = v[n - 1];
  for (std::uint32_t round = Rounds(n); round > 0; --round) {
    sum += kDelta;
    const std::uint32_t e = (sum >> 2) & 3;
    for (std::size_t p = 0; p < n; ++p) {
      const std::uint32_t y = v[p + 1 == n ? 0 : p + 1];
      v[p] += Mix(sum, y, z, p, e, key);
      z = v[p];
    }
  }
}

void Decrypt(std::span<std::uint32_t> v, const Key& key) {
  const std::size_t n = v.size();
  if (n < 2) return;
  const std::uint32_t rounds = Rounds(n);
  std::uint32_t sum = rounds * kDelta;
  std::uint32_t y = v[0];
  for (std::uint32_t round = rounds; round > 0; --round) {
    const std::uint32_t e = (sum >> 2) & 3;
    for (std::size_t p = n; p-- > 0;) {
      const std::uint32_t z = v[p == 0 ? n - 1 : p - 1];
      v[p] -= Mix(sum, y, z, p, e, key);
      y = v[p];
    }
    sum -= kDelta;
  }
}

}  // namespace Xxtea
