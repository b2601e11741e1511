#include "support/TextCodec.h"

#include <gtest/gtest.h>

#include <string>

#include "common/TestText.h"

namespace {

std::string Hex(std::string_view bytes) {
  static const char digits[] = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : bytes) {
    out += digits[c >> 4];
    out += digits[c & 15];
    out += ' ';
  }
  return out;
}

struct AnsiCase {
  const char* name;
  std::u16string text;
  std::string bytes;
};

TEST(TextCodec, Utf16ToAnsiWritesCodePage936) {
  const AnsiCase cases[] = {
      {"ascii", u"abc 123", "abc 123"},
      {"chinese", u"销售商品: 可乐", "\xCF\xFA\xCA\xDB\xC9\xCC\xC6\xB7: \xBF\xC9\xC0\xD6"},
      {"euro is 0x80", u"\u20AC", "\x80"},
      {"hangul is not in GBK", u"a\uD55Cb", "a?b"},
      {"a pair outside GBK is one character", u"a\U0001F600b", "a?b"},
      {"lone high surrogate", u"a\xD800z", "a?z"},
      {"lone high surrogate at the end", u"ab\xD800", "ab?"},
      {"lone low surrogate", u"\xDC00z", "?z"},
      {"empty", u"", ""},
  };
  for (const AnsiCase& c : cases) {
    EXPECT_EQ(Hex(TextCodec::Utf16ToAnsi(c.text)), Hex(c.bytes)) << c.name;
  }
}

TEST(TextCodec, AnsiToUtf16ReadsCodePage936) {
  const AnsiCase cases[] = {
      {"chinese", u"中文", "\xD6\xD0\xCE\xC4"},
      {"byte that leads nothing", u"a?z", "a\xFFz"},
      {"lead byte cut off at the end", u"a?", "a\xD6"},
      {"ascii", u"Head", "Head"},
  };
  for (const AnsiCase& c : cases) {
    EXPECT_EQ(U8(TextCodec::AnsiToUtf16(c.bytes)), U8(c.text)) << c.name;
  }
}

TEST(TextCodec, ChineseRoundTripsThroughCodePage936) {
  const std::u16string text = u"收银交班结果: 成功，合计 ￥12.50（含税）";
  EXPECT_EQ(U8(TextCodec::AnsiToUtf16(TextCodec::Utf16ToAnsi(text))), U8(text));
}

struct Utf8Case {
  const char* name;
  std::string utf8;
  std::u16string text;
};

TEST(TextCodec, Utf8ToUtf16ReplacesInvalidSequences) {
  const Utf8Case cases[] = {
      {"chinese", "中文", u"中文"},
      {"four bytes become a pair", "\xF0\x9F\x98\x80", u"\U0001F600"},
      {"stray continuation", "a\x80z", u"a\uFFFDz"},
      {"byte that never occurs", "a\xFFz", u"a\uFFFDz"},
      {"overlong NUL", "\xC0\x80", u"\uFFFD\uFFFD"},
      {"encoded surrogate", "\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD"},
      {"beyond U+10FFFF", "\xF4\x90\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD"},
      {"cut off at the end", "ab\xE4\xB8", u"ab\uFFFD"},
      {"cut off before ascii", "\xE4\xB8z", u"\uFFFDz"},
      {"cut off before a lead", "\xF0\x9F\x98\xE4\xB8\xAD", u"\uFFFD中"},
  };
  for (const Utf8Case& c : cases) {
    EXPECT_EQ(TextCodec::Utf8ToUtf16(c.utf8), c.text) << c.name;
  }
}

TEST(TextCodec, Utf16ToUtf8KeepsPairsAndReplacesLoneSurrogates) {
  const Utf8Case cases[] = {
      {"pair", "\xF0\x9F\x98\x80", u"\U0001F600"},
      {"pair amid text", "a\xF0\xA0\x80\x80z", u"a\U00020000z"},
      {"lone high", "a\xEF\xBF\xBDz", u"a\xD800z"},
      {"lone low", "\xEF\xBF\xBD", u"\xDC00"},
      {"high at the end", "a\xEF\xBF\xBD", u"a\xD800"},
      {"reversed pair", "\xEF\xBF\xBD\xEF\xBF\xBD", u"\xDC00\xD800"},
  };
  for (const Utf8Case& c : cases) {
    EXPECT_EQ(Hex(TextCodec::Utf16ToUtf8(c.text)), Hex(c.utf8)) << c.name;
  }
}

TEST(TextCodec, SurrogatePairsRoundTripThroughUtf8) {
  const std::u16string text = u"价格 \U0001F600 \U00020000 \U0010FFFF end";
  EXPECT_EQ(TextCodec::Utf8ToUtf16(TextCodec::Utf16ToUtf8(text)), text);
}

TEST(TextCodec, DecodeWithKnownAndUnknownEncodings) {
  std::u16string out;
  ASSERT_TRUE(TextCodec::DecodeWith("GB2312", "\xD6\xD0\xCE\xC4", out));
  EXPECT_EQ(U8(out), "中文");

  out = u"untouched";
  EXPECT_FALSE(TextCodec::DecodeWith("NO-SUCH-ENCODING", "abc", out));
  EXPECT_EQ(out, u"untouched");
}

// A bad unit in a two-byte encoding must not shift the rest of the text by
// one byte.
TEST(TextCodec, DecodeWithStaysAlignedAfterABadUtf16Unit) {
  // "a", a low surrogate with no high one before it, "y", "z".
  const std::string bytes("a\0\0\xDCy\0z\0", 8);
  std::u16string out;
  ASSERT_TRUE(TextCodec::DecodeWith("UTF-16LE", bytes, out));
  EXPECT_EQ(out, u"a?yz");
}

TEST(TextCodec, AsciiWidensEachByte) { EXPECT_EQ(TextCodec::Ascii("<Ret>0"), u"<Ret>0"); }

}  // namespace
