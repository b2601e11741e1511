#!/usr/bin/env python3
"""Reference vectors for the server wire encoding, written apart from the C++
code so the two can check each other. Standard library only.

Usage:
  wire_vectors.py seal   lines of hex UTF-8 text in, "hex<TAB>base64" out
  wire_vectors.py open   lines of base64 in, "base64<TAB>hex UTF-8" out
                         ("false_false" in place of the hex when undecodable)
An empty input line stands for the empty text in both modes.
"""
import base64
import struct
import sys

KEY = b"Hq7TbN2vLc9XkR4m"
DELTA = 0x9E3779B9
MASK = 0xFFFFFFFF
ALPHABET = set(b"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/")


def key_words():
    return list(struct.unpack("<4I", KEY.ljust(16, b"\0")[:16]))


def mx(s, y, z, p, e, k):
    left = (((z >> 5) ^ (y << 2) & MASK) + ((y >> 3) ^ (z << 4) & MASK)) & MASK
    right = ((s ^ y) + (k[(p & 3) ^ e] ^ z)) & MASK
    return left ^ right


def encrypt(v):
    n = len(v)
    if n < 2:
        return v
    k = key_words()
    rounds = 6 + 52 // n
    s = 0
    z = v[n - 1]
    for _ in range(rounds):
        s = (s + DELTA) & MASK
        e = (s >> 2) & 3
        for p in range(n):
            y = v[(p + 1) % n]
            v[p] = (v[p] + mx(s, y, z, p, e, k)) & MASK
            z = v[p]
    return v


def decrypt(v):
    n = len(v)
    if n < 2:
        return v
    k = key_words()
    rounds = 6 + 52 // n
    s = (rounds * DELTA) & MASK
    y = v[0]
    for _ in range(rounds):
        e = (s >> 2) & 3
        for p in range(n - 1, -1, -1):
            z = v[p - 1] if p > 0 else v[n - 1]
            v[p] = (v[p] - mx(s, y, z, p, e, k)) & MASK
            y = v[p]
        s = (s - DELTA) & MASK
    return v


def words_of(data):
    padded = data + b"\0" * (-len(data) % 4)
    return list(struct.unpack("<%dI" % (len(padded) // 4), padded))


def seal(text):
    words = words_of(text) + [len(text)]
    sealed = struct.pack("<%dI" % len(words), *encrypt(words))
    return base64.b64encode(sealed).decode("ascii")


def lenient_b64(body):
    # Stop at "=" or any byte outside the alphabet; a dangling single
    # character carries fewer than 8 bits and is dropped.
    run = bytearray()
    for b in body.encode("latin-1"):
        if b not in ALPHABET:
            break
        run.append(b)
    usable = len(run) - (len(run) % 4 == 1)
    run = run[:usable]
    return base64.b64decode(bytes(run) + b"=" * (-len(run) % 4))


def open_reply(body):
    data = lenient_b64(body)
    if len(data) <= 4:
        return None
    words = decrypt(words_of(data))
    m = len(words)
    length = words[-1]
    if not (4 * m - 7 <= length <= 4 * m - 4):
        return None
    plain = struct.pack("<%dI" % m, *words)[:length]
    return plain.split(b"\0", 1)[0]


def main():
    mode = sys.argv[1] if len(sys.argv) > 1 else ""
    for line in sys.stdin.read().split("\n")[:-1]:
        if mode == "seal":
            print("%s\t%s" % (line, seal(bytes.fromhex(line))))
        elif mode == "open":
            plain = open_reply(line)
            print("%s\t%s" % (line, "false_false" if plain is None else plain.hex()))
        else:
            sys.exit(__doc__)


if __name__ == "__main__":
    main()
