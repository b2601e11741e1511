#include "config/GlobalDatFile.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>

#include "common/TestText.h"
#include "config/ConfigTestDir.h"

namespace {

namespace fs = std::filesystem;

// The documented format, written out independently of the implementation:
// key 0x6C, byte c on disk is plain byte ((c - key) mod 256) XOR key.
std::string PlainBytesOf(const std::string& disk) {
  std::string plain;
  for (char c : disk) {
    auto b = static_cast<unsigned char>(static_cast<unsigned char>(c) - 0x6C);
    plain.push_back(static_cast<char>(b ^ 0x6C));
  }
  return plain;
}

std::string Utf16LeWithTerminator(std::u16string_view text) {
  std::string bytes;
  for (char16_t unit : text) {
    bytes.push_back(static_cast<char>(unit & 0xFF));
    bytes.push_back(static_cast<char>(unit >> 8));
  }
  bytes.append(2, '\0');
  return bytes;
}

class GlobalDatFileTest : public ConfigTestDir {
protected:
  std::string FilePath() const { return PathOf("Global.dat").string(); }
};

TEST_F(GlobalDatFileTest, WrittenFileIsScrambledUtf16AndReadsBack) {
  const std::u16string text =
      U16("<Config>\r\n<User id=\"收银员\" pw=\"p&amp;1\"/>\r\n</Config>\r\n") + u"\U0001F600";
  ASSERT_TRUE(GlobalDatFile::Write(FilePath(), text));

  const std::string disk = ReadBytes("Global.dat");
  const std::string plain = Utf16LeWithTerminator(text);
  ASSERT_EQ(disk.size(), plain.size());
  EXPECT_EQ(PlainBytesOf(disk), plain);
  EXPECT_EQ(disk.find(plain.substr(0, 16)), std::string::npos);
  EXPECT_EQ(disk.substr(disk.size() - 2), std::string(2, static_cast<char>(0xD8)));

  std::u16string read;
  ASSERT_EQ(GlobalDatFile::Read(FilePath(), read), GlobalDatFile::ReadStatus::Ok);
  EXPECT_EQ(read, text);
}

TEST_F(GlobalDatFileTest, DecodeTakesTextUpToTheFirstZeroUnit) {
  struct Case {
    const char* name;
    std::string disk;
    std::u16string text;
  };
  const std::string ab = GlobalDatFile::Encode(u"ab");  // "ab" and its zero unit
  const Case cases[] = {
      {"terminated", ab, u"ab"},
      {"bytes after the zero unit", ab + GlobalDatFile::Encode(u"cd"), u"ab"},
      {"no zero unit", ab.substr(0, 4), u"ab"},
      {"odd last byte", ab.substr(0, 5), u"ab"},
      {"empty", "", u""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(GlobalDatFile::Decode(c.disk), c.text);
  }
}

TEST_F(GlobalDatFileTest, ReadTellsMissingFromEmpty) {
  std::u16string text = u"untouched";
  EXPECT_EQ(GlobalDatFile::Read(FilePath(), text), GlobalDatFile::ReadStatus::Missing);
  EXPECT_EQ(text, u"untouched");
  WriteBytes("Global.dat", "");
  EXPECT_EQ(GlobalDatFile::Read(FilePath(), text), GlobalDatFile::ReadStatus::Ok);
  EXPECT_EQ(text, u"");
  fs::remove(PathOf("Global.dat"));
  fs::create_directory(PathOf("Global.dat"));
  EXPECT_EQ(GlobalDatFile::Read(FilePath(), text), GlobalDatFile::ReadStatus::Failed);
}

// A crash after the temporary file was (partly) written but before the
// rename leaves the temporary file behind; the settings file is the old one.
TEST_F(GlobalDatFileTest, CrashBeforeRenameLeavesOldFileReadable) {
  ASSERT_TRUE(GlobalDatFile::Write(FilePath(), u"<Config old=\"1\"/>"));
  const std::string tmp = GlobalDatFile::TempPath(FilePath());
  ASSERT_EQ(fs::path(tmp).parent_path(), PathOf("Global.dat").parent_path());
  const std::string newer = GlobalDatFile::Encode(u"<Config new=\"1\"/>");
  for (const std::string& stray : {newer, newer.substr(0, 7)}) {
    WriteBytes(fs::path(tmp).filename().string(), stray);
    std::u16string read;
    ASSERT_EQ(GlobalDatFile::Read(FilePath(), read), GlobalDatFile::ReadStatus::Ok);
    EXPECT_EQ(read, u"<Config old=\"1\"/>");
  }
  ASSERT_TRUE(GlobalDatFile::Write(FilePath(), u"<Config next=\"1\"/>"));
  EXPECT_FALSE(fs::exists(tmp));
  std::u16string read;
  ASSERT_EQ(GlobalDatFile::Read(FilePath(), read), GlobalDatFile::ReadStatus::Ok);
  EXPECT_EQ(read, u"<Config next=\"1\"/>");
}

// A write that cannot complete (here the temporary file cannot be created,
// as on a full disk) reports failure and leaves the old file whole.
TEST_F(GlobalDatFileTest, FailedWriteKeepsOldFile) {
  ASSERT_TRUE(GlobalDatFile::Write(FilePath(), u"<Config old=\"1\"/>"));
  const std::string before = ReadBytes("Global.dat");
  fs::create_directory(GlobalDatFile::TempPath(FilePath()));
  EXPECT_FALSE(GlobalDatFile::Write(FilePath(), u"<Config new=\"1\"/>"));
  EXPECT_EQ(ReadBytes("Global.dat"), before);
}

TEST_F(GlobalDatFileTest, FailedWriteIntoMissingFolderReportsFailure) {
  EXPECT_FALSE(GlobalDatFile::Write((PathOf("absent") / "Global.dat").string(), u"<Config/>"));
}

// A read-only settings file is replaced all the same, and keeps its other
// permission bits.
TEST_F(GlobalDatFileTest, ReplacementKeepsPermissionsAndClearsReadOnly) {
  ASSERT_TRUE(GlobalDatFile::Write(FilePath(), u"<Config/>"));
  fs::permissions(PathOf("Global.dat"), fs::perms::owner_read | fs::perms::group_read);
  ASSERT_TRUE(GlobalDatFile::Write(FilePath(), u"<Config a=\"1\"/>"));
  EXPECT_EQ(fs::status(PathOf("Global.dat")).permissions(),
            fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
}

}  // namespace
