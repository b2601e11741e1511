#!/usr/bin/env python3
"""The sealed body of the Tillora inventory-server protocol.

A body is the standard Base64 text of XXTEA-encrypted 32-bit words that hold
the UTF-8 document, packed little-endian, followed by one word with the byte
count. The C++ tests use this module as a second, independent opinion on the
core's encoder, so it shares nothing with the core and needs nothing beyond
the Python standard library. Base64 is written out here rather than taken
from the base64 module because the decoder has to stop exactly where the
client's stops, not where the library would complain.

    python3 xxtea_wire.py seal TEXT      print the body that carries TEXT
    python3 xxtea_wire.py open BASE64    print the text a client reads from BASE64
"""

import struct
import sys

KEY = b"Hq7TbN2vLc9XkR4m"
DELTA = 0x9E3779B9
MASK = 0xFFFFFFFF

# What a client makes of a body it cannot open. A server fault shows up as
# this text on the client side, so tests compare against it.
FALSE_FALSE = "false_false"

ALPHABET = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/"
_VALUE = {c: i for i, c in enumerate(ALPHABET)}
# Two characters carry 12 bits; tables of all 4,096 pairs keep the
# multi-megabyte goods list of the benchmarks from taking seconds.
_PAIR = [ALPHABET[i >> 6] + ALPHABET[i & 63] for i in range(4096)]
_PAIR_VALUE = {pair: i for i, pair in enumerate(_PAIR)}


def key_words(key=KEY):
    """Four little-endian words; a key shorter than 16 bytes is padded with zeros."""
    return list(struct.unpack("<4I", bytes(key)[:16].ljust(16, b"\0")))


# The mixing function is written out in both loops: the sums are left
# unmasked because the low 32 bits of + and ^ depend only on the low 32 bits
# of their operands, so one mask when the word is stored is enough.

def encrypt_words(v, key=KEY):
    """Corrected Block TEA. A single word cannot be encrypted and is returned as is."""
    v = list(v)
    n = len(v)
    if n < 2:
        return v
    k = key_words(key)
    rounds = 6 + 52 // n
    total = 0
    z = v[n - 1]
    last = n - 1
    while rounds:
        total = (total + DELTA) & MASK
        e = (total >> 2) & 3
        kp = [k[i ^ e] for i in range(4)]
        for p in range(last):
            y = v[p + 1]
            z = v[p] = (v[p] + ((((z >> 5) ^ (y << 2)) + ((y >> 3) ^ (z << 4)))
                                ^ ((total ^ y) + (kp[p & 3] ^ z)))) & MASK
        y = v[0]
        z = v[last] = (v[last] + ((((z >> 5) ^ (y << 2)) + ((y >> 3) ^ (z << 4)))
                                  ^ ((total ^ y) + (kp[last & 3] ^ z)))) & MASK
        rounds -= 1
    return v


def decrypt_words(v, key=KEY):
    v = list(v)
    n = len(v)
    if n < 2:
        return v
    k = key_words(key)
    rounds = 6 + 52 // n
    total = (rounds * DELTA) & MASK
    y = v[0]
    last = n - 1
    while rounds:
        e = (total >> 2) & 3
        kp = [k[i ^ e] for i in range(4)]
        for p in range(last, 0, -1):
            z = v[p - 1]
            y = v[p] = (v[p] - ((((z >> 5) ^ (y << 2)) + ((y >> 3) ^ (z << 4)))
                                ^ ((total ^ y) + (kp[p & 3] ^ z)))) & MASK
        z = v[last]
        y = v[0] = (v[0] - ((((z >> 5) ^ (y << 2)) + ((y >> 3) ^ (z << 4)))
                            ^ ((total ^ y) + (kp[0] ^ z)))) & MASK
        total = (total - DELTA) & MASK
        rounds -= 1
    return v


def bytes_to_words(data):
    """Little-endian words; the last one padded with zero bytes."""
    data = bytes(data)
    data += b"\0" * (-len(data) % 4)
    return list(struct.unpack("<%dI" % (len(data) // 4), data))


def words_to_bytes(words):
    return struct.pack("<%dI" % len(words), *words)


def b64encode(data):
    """Standard alphabet, "=" padding, no line breaks."""
    data = bytes(data)
    whole = len(data) - len(data) % 3
    pair = _PAIR
    out = []
    for i in range(0, whole, 3):
        bits = data[i] << 16 | data[i + 1] << 8 | data[i + 2]
        out.append(pair[bits >> 12])
        out.append(pair[bits & 0xFFF])
    rest = data[whole:]
    if rest:
        bits = int.from_bytes(rest.ljust(3, b"\0"), "big")
        chars = pair[bits >> 12] + pair[bits & 0xFFF]
        out.append(chars[:len(rest) + 1] + "=" * (2 - len(rest) + 1))
    return "".join(out)


def b64decode(text):
    """Decode as the client does: stop at the first "=" or at the first
    character outside the alphabet (a line break too); a trailing group of 2
    or 3 characters gives 1 or 2 bytes, a lone trailing character nothing."""
    if isinstance(text, (bytes, bytearray)):
        text = bytes(text).decode("latin-1")
    end = 0
    value = _VALUE
    for c in text:
        if c not in value:
            break
        end += 1
    text = text[:end]
    whole = end - end % 4
    pair_value = _PAIR_VALUE
    out = bytearray()
    for i in range(0, whole, 4):
        bits = pair_value[text[i:i + 2]] << 12 | pair_value[text[i + 2:i + 4]]
        out += bits.to_bytes(3, "big")
    rest = text[whole:]
    if len(rest) >= 2:
        bits = 0
        for c in rest:
            bits = bits << 6 | value[c]
        bits <<= 6 * (4 - len(rest))
        out += bits.to_bytes(3, "big")[:len(rest) - 1]
    return bytes(out)


def seal_bytes(data, key=KEY):
    """Bytes of a document -> Base64 body."""
    words = bytes_to_words(data) + [len(data)]
    return b64encode(words_to_bytes(encrypt_words(words, key)))


def seal(text, key=KEY):
    """Document text -> Base64 body."""
    return seal_bytes(text.encode("utf-8"), key)


def open_bytes(body, key=KEY):
    """Base64 body -> plaintext bytes, or None where a client reads "false_false".

    Leading bytes of 0x80 and above are dropped and the body ends at its first
    zero byte, as the client's transport does before decoding."""
    if isinstance(body, str):
        body = body.encode("latin-1", "replace")
    body = bytes(body)
    start = 0
    while start < len(body) and body[start] >= 0x80:
        start += 1
    body = body[start:]
    zero = body.find(b"\0")
    if zero >= 0:
        body = body[:zero]
    raw = b64decode(body)
    if len(raw) <= 4:
        return None
    words = decrypt_words(bytes_to_words(raw), key)
    m = len(words)
    length = words[-1]
    if not 4 * m - 7 <= length <= 4 * m - 4:
        return None
    plain = words_to_bytes(words)[:length]
    zero = plain.find(b"\0")
    return plain if zero < 0 else plain[:zero]


def open_text(body, key=KEY):
    """Base64 body -> the text a client reads ("false_false" when it cannot).
    Bytes that are not UTF-8 are replaced rather than refused: the client
    converts them too and fails later, on the XML."""
    plain = open_bytes(body, key)
    if plain is None:
        return FALSE_FALSE
    return plain.decode("utf-8", "replace")


def _main(argv):
    if len(argv) != 3 or argv[1] not in ("seal", "open"):
        sys.stderr.write("usage: xxtea_wire.py seal TEXT | open BASE64\n")
        return 2
    if argv[1] == "seal":
        sys.stdout.write(seal(argv[2]) + "\n")
    else:
        sys.stdout.write(open_text(argv[2]) + "\n")
    return 0


if __name__ == "__main__":
    sys.exit(_main(sys.argv))
