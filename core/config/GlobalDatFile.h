// GlobalDatFile: the byte format of the user settings file "Global.dat" and
// its crash-safe replacement on disk. The file holds the settings document as
// UTF-16LE text followed by one zero unit, every byte scrambled with one key
// (see Encode). Stateless: callers that read, change and write the file back
// serialise those steps themselves (CGlobalConfig does).
#pragma once

#include <string>
#include <string_view>

namespace GlobalDatFile {

// Part of the file format: files written with another constant do not read
// back. The key is kScrambleConstant % 254 + 1 = 0x6C (108).
inline constexpr unsigned char kScrambleConstant = 0x6B;
inline constexpr unsigned char kScrambleKey = kScrambleConstant % 254 + 1;

// Text to file bytes: UTF-16LE units, one zero unit, then every byte b
// written as ((b XOR key) + key) mod 256.
std::string Encode(std::u16string_view text);
// File bytes to text: every byte c read as ((c - key) mod 256) XOR key, the
// units taken up to the first zero unit (or the end); an odd last byte is
// not a unit and is ignored.
std::u16string Decode(std::string_view bytes);

enum class ReadStatus {
  Ok,       // text holds the content (empty for an empty file)
  Missing,  // there is no such file
  Failed,   // the file exists but could not be read whole
};
ReadStatus Read(const std::string& path, std::u16string& text);

// Replaces the file whole, or not at all: the bytes go to a temporary file in
// the same folder (see TempPath), which is flushed to disk and then renamed
// over `path`. A crash or a full disk leaves the previous file as it was.
// The new file keeps the old one's permission bits, made writable for the
// owner. False on any file error; the temporary file is then removed.
bool Write(const std::string& path, std::u16string_view text);

// The temporary file Write uses for `path`: unique per process, so writers in
// two processes never share one, while writers in one process share it and
// must not run at the same time. A stray one left by a crash is harmless and
// is reused by the next write from a process with the same id.
std::string TempPath(const std::string& path);

}  // namespace GlobalDatFile
