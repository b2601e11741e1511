#include "server/WireCodec.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "server/Base64.h"
#include "server/Xxtea.h"
#include "support/TextCodec.h"

namespace {

using TextCodec::Utf16ToUtf8;
using TextCodec::Utf8ToUtf16;

std::string Hex(std::string_view bytes) {
  static const char digits[] = "0123456789abcdef";
  std::string out;
  for (unsigned char c : bytes) {
    out += digits[c >> 4];
    out += digits[c & 15];
  }
  return out;
}

// Runs the independent reference script over `lines` and returns its answer
// for each line, keyed by the line.
std::map<std::string, std::string> RunReference(const char* mode,
                                                const std::vector<std::string>& lines) {
  char inputPath[] = "/tmp/wire_vectors_XXXXXX";
  const int fd = ::mkstemp(inputPath);
  EXPECT_GE(fd, 0);
  ::close(fd);
  {
    std::ofstream input(inputPath, std::ios::binary);
    for (const std::string& line : lines) input << line << '\n';
  }
  const std::string command = std::string("python3 ") + TILLORA_TEST_SOURCE_DIR +
                              "/tests/server/wire_vectors.py " + mode + " < " + inputPath;
  std::map<std::string, std::string> answers;
  if (FILE* pipe = ::popen(command.c_str(), "r")) {
    std::string output;
    char buffer[4096];
    while (size_t got = std::fread(buffer, 1, sizeof(buffer), pipe)) output.append(buffer, got);
    EXPECT_EQ(::pclose(pipe), 0) << command;
    size_t begin = 0;
    for (size_t end; (end = output.find('\n', begin)) != std::string::npos; begin = end + 1) {
      const std::string line = output.substr(begin, end - begin);
      const size_t tab = line.find('\t');
      answers[line.substr(0, tab)] = line.substr(tab + 1);
    }
  }
  std::remove(inputPath);
  return answers;
}

// The script starts slowly; each line is asked for once per test program.
std::map<std::string, std::string> Reference(const char* mode,
                                             const std::vector<std::string>& lines) {
  static std::map<std::string, std::map<std::string, std::string>> cache;
  std::map<std::string, std::string>& known = cache[mode];
  std::vector<std::string> missing;
  for (const std::string& line : lines)
    if (!known.contains(line)) missing.push_back(line);
  if (!missing.empty()) known.merge(RunReference(mode, missing));
  std::map<std::string, std::string> answers;
  for (const std::string& line : lines)
    if (known.contains(line)) answers[line] = known[line];
  return answers;
}

struct TextCase {
  const char* name;
  std::u16string text;
};

std::vector<TextCase> TextCases() {
  std::vector<TextCase> cases = {
      {"ASCII", u"abc"},
      {"Chinese", u"销售商品: 可口可乐 330ml ×2"},
      {"empty", u""},
      {"an XML request",
       u"<?xml version=\"1.0\" encoding=\"utf-8\"?><jxcapi><UserName>张三"
       u"</UserName><Password>pa55</Password></jxcapi>"},
      {"outside code page 936", u"emoji \U0001F600 and é"},
      {"long", std::u16string(5000, u'表')},
  };
  // Every remainder of the byte count by four, and every word count up to four.
  for (int length = 1; length <= 9; ++length)
    cases.push_back({"length", std::u16string(static_cast<size_t>(length), u'a' + length)});
  return cases;
}

// Plaintexts the script seals for the opening tests: a zero byte inside, and
// a byte that is not UTF-8.
constexpr const char* kZeroInside = "6f6b00747261696c";
constexpr const char* kNotUtf8 = "61ff62";

std::map<std::string, std::string> SealedByReference() {
  std::vector<std::string> lines = {kZeroInside, kNotUtf8};
  for (const TextCase& c : TextCases()) lines.push_back(Hex(Utf16ToUtf8(c.text)));
  return Reference("seal", lines);
}

TEST(WireCodec, SealedBodiesMatchTheReferenceScript) {
  const auto sealed = SealedByReference();
  for (const TextCase& c : TextCases()) {
    SCOPED_TRACE(c.name + std::string(" ") + Utf16ToUtf8(c.text).substr(0, 40));
    const auto found = sealed.find(Hex(Utf16ToUtf8(c.text)));
    ASSERT_NE(found, sealed.end());
    EXPECT_EQ(SealRequest(c.text), found->second);
  }
}

TEST(WireCodec, ReferenceBodiesOpenToTheirTexts) {
  const auto sealed = SealedByReference();
  for (const TextCase& c : TextCases()) {
    if (c.text.empty()) continue;  // a single word cannot be told from garbage
    SCOPED_TRACE(c.name);
    EXPECT_EQ(OpenReply(sealed.at(Hex(Utf16ToUtf8(c.text)))), c.text);
  }
}

TEST(WireCodec, OurBodiesOpenInTheReferenceScript) {
  std::vector<std::string> lines;
  for (const TextCase& c : TextCases()) lines.push_back(SealRequest(c.text));
  const auto opened = Reference("open", lines);
  for (const TextCase& c : TextCases()) {
    SCOPED_TRACE(c.name);
    const std::string expected = c.text.empty() ? "false_false" : Hex(Utf16ToUtf8(c.text));
    EXPECT_EQ(opened.at(SealRequest(c.text)), expected);
  }
}

TEST(WireCodec, TheWorkedExamplesOfTheWireNotes) {
  EXPECT_EQ(SealRequest(u"abc"), "mVs/4C0uoJA=");
  EXPECT_EQ(SealRequest(u"你好"), "TQNdhJo9+qh/mLnL");
  EXPECT_EQ(SealRequest(u"<jxcapi status=\"1\"/>"), "lITBOoT+CXSG50mjMjP3C18IK02gnzAV");
  EXPECT_EQ(SealRequest(u""), "AAAAAA==");
}

TEST(WireCodec, UndecodableRepliesReadAsFalseFalse) {
  const std::string valid = SealRequest(u"<jxcapi status=\"1\"/>");
  std::string tampered = valid;
  tampered[5] = tampered[5] == 'A' ? 'B' : 'A';
  const struct {
    const char* name;
    std::string body;
  } cases[] = {
      {"empty", ""},
      {"four capital A: three zero bytes", "AAAA"},
      {"one word only", "AAAAAA=="},
      {"not Base64 at all", "<html>502 Bad Gateway</html>"},
      {"plain text", "false"},
      {"a line break cuts the text short", valid.substr(0, 8) + "\r\n" + valid.substr(8)},
      {"one character changed", tampered},
      {"truncated", valid.substr(0, valid.size() - 8)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(OpenReply(c.body), kUndecodableReply);
  }
  const auto reference = Reference("open", {tampered, valid.substr(0, valid.size() - 8)});
  EXPECT_EQ(reference.at(tampered), "false_false");
  EXPECT_EQ(reference.at(valid.substr(0, valid.size() - 8)), "false_false");
}

TEST(WireCodec, PlaintextEndsAtItsFirstZeroByte) {
  const std::string sealed = SealedByReference().at(kZeroInside);
  EXPECT_EQ(OpenReply(sealed), u"ok");
}

TEST(WireCodec, InvalidUtf8InAReplyBecomesReplacementCharacters) {
  const std::string sealed = SealedByReference().at(kNotUtf8);
  EXPECT_EQ(OpenReply(sealed), u"a\uFFFDb");
}

TEST(Base64, StandardVectorsEncode) {
  const std::pair<std::string, std::string> cases[] = {
      {"", ""},
      {"f", "Zg=="},
      {"fo", "Zm8="},
      {"foo", "Zm9v"},
      {"foob", "Zm9vYg=="},
      {"fooba", "Zm9vYmE="},
      {"foobar", "Zm9vYmFy"},
      {std::string("\xFF\xFE\x00", 3), "//4A"},
  };
  for (const auto& [bytes, text] : cases) {
    EXPECT_EQ(Base64::Encode(bytes), text) << bytes;
    EXPECT_EQ(Base64::Decode(text), bytes) << text;
  }
  std::string all;
  for (int i = 0; i < 256; ++i) all += static_cast<char>(i);
  EXPECT_EQ(Base64::Encode(all).find_first_of("\r\n"), std::string::npos);
  EXPECT_EQ(Base64::Decode(Base64::Encode(all)), all);
}

TEST(Base64, DecodingStopsWhereTheTextStopsBeingBase64) {
  const std::pair<std::string, std::string> cases[] = {
      {"Zm9v\nYmFy", "foo"}, {"Zm9v YmFy", "foo"}, {"Zm8=YmFy", "fo"},
      {"Zm8", "fo"},         {"Zg", "f"},          {"Z", ""},
      {"Zm9vY", "foo"},      {"=Zm9v", ""},        {std::string("Zm9v\0YmFy", 9), "foo"},
  };
  for (const auto& [text, bytes] : cases) EXPECT_EQ(Base64::Decode(text), bytes) << text;
}

TEST(Xxtea, PublishedVectorAndRoundTrip) {
  std::uint32_t zeros[2] = {0, 0};
  Xxtea::Encrypt(zeros, Xxtea::KeyFromBytes(std::string(16, '\0')));
  EXPECT_EQ(zeros[0], 0x053704abu);
  EXPECT_EQ(zeros[1], 0x575d8c80u);

  const Xxtea::Key key = Xxtea::KeyFromBytes("short key");  // zero padded
  EXPECT_EQ(key[3], 0u);
  std::vector<std::uint32_t> block = {1, 2, 3, 4, 5, 6, 7};
  const std::vector<std::uint32_t> original = block;
  Xxtea::Encrypt(block, key);
  EXPECT_NE(block, original);
  Xxtea::Decrypt(block, key);
  EXPECT_EQ(block, original);

  std::uint32_t single[1] = {42};
  Xxtea::Encrypt(single, key);
  EXPECT_EQ(single[0], 42u);
}

}  // namespace
