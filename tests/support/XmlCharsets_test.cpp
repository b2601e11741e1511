#include "support/XmlCharsets.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

#include "support/TextCodec.h"

namespace {

TEST(XmlCharsets, NamesTheDocumentsUse) {
  struct Case {
    const char* name;
    int codePage;
  };
  const Case cases[] = {
      {"utf-8", 65001},      {"UTF8", 65001},      {"gb2312", 936},     {"GBK", 936},
      {"cp936", 936},        {"Chinese", 936},     {"gb18030", 54936},  {"big5", 950},
      {"iso-8859-1", 28591}, {"LATIN1", 28591},    {"us-ascii", 20127}, {"utf-16", 1200},
      {"utf-16be", 1201},    {" utf-8 ", 65001},   {"shift_jis", 932},  {"euc-kr", 51949},
      {"windows-1252", 1252}, {"koi8-r", 20866},   {"iso-8859-15", 28605},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(XmlCharsets::CodePageOf(c.name), c.codePage) << c.name;
  }
}

TEST(XmlCharsets, UnknownNamesFallBackToTheAnsiCodePage) {
  for (const char* name : {"", "klingon", "utf-9", "gb2312x"}) {
    EXPECT_EQ(XmlCharsets::Find(name), 0) << name;
    EXPECT_EQ(XmlCharsets::CodePageOf(name), 936) << name;
  }
}

TEST(XmlCharsets, EveryTableEntryIsFoundUnderItsOwnName) {
  auto table = XmlCharsets::Table();
  EXPECT_GT(table.size(), 360u);
  for (const XmlCharsets::Charset& entry : table) {
    EXPECT_EQ(XmlCharsets::Find(entry.name), entry.codePage) << entry.name;
  }
}

TEST(XmlCharsets, CommonCodePagesConvertThroughIconv) {
  std::set<int> pages;
  for (const XmlCharsets::Charset& entry : XmlCharsets::Table()) pages.insert(entry.codePage);
  const int common[] = {65001, 936, 54936, 950, 932, 949, 51949, 51932, 1200, 1201, 1250, 1251,
                        1252, 28591, 28592, 28605, 20127, 20866, 21866, 437, 850, 866, 874};
  for (int page : common) {
    EXPECT_EQ(pages.count(page), 1u) << page;
    std::u16string out;
    EXPECT_TRUE(TextCodec::DecodeWith(XmlCharsets::IconvName(page).c_str(), "ab", out)) << page;
  }
}

}  // namespace
