// The encoding of every body exchanged with the inventory server, both ways:
// UTF-8, packed into little-endian words with a length word, XXTEA with the
// wire key, Base64 without line breaks (docs/server-wire.md). Stateless; safe
// from any thread.
#pragma once

#include <string>
#include <string_view>

// The reply text of a body that cannot be decoded or decrypted. It is not
// empty, so a caller tells "the server answered garbage" from "no answer".
inline constexpr std::u16string_view kUndecodableReply = u"false_false";

// The Base64 body for a request text. The empty text seals to the one
// unencrypted length word ("AAAAAA=="); the pool never sends it.
std::string SealRequest(std::u16string_view text);

// The text of a reply body (already stripped of leading bytes of 0x80 and
// above by the transport), or kUndecodableReply. Text after a zero byte in the
// plaintext is dropped; invalid UTF-8 becomes U+FFFD.
std::u16string OpenReply(std::string_view body);
