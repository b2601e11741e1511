#include "config/CGlobalConfig.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <tuple>
#include <utility>
#include <vector>

#include "common/TestText.h"
#include "config/ConfigTestDir.h"
#include "config/GlobalDatFile.h"
#include "support/CXmlDoc.h"
#include "support/Helpers.h"

namespace {

namespace fs = std::filesystem;

using Items = std::vector<std::pair<std::string, std::string>>;

class CGlobalConfigTest : public ConfigTestDir {
protected:
  CGlobalConfig Settings() const { return CGlobalConfig(Dir()); }

  // Writes a document as another build (or the page) left it, unmerged.
  void WriteRaw(const std::u16string& text) const {
    ASSERT_TRUE(GlobalDatFile::Write(Settings().FilePath(), text));
  }
  std::u16string Text() const {
    std::u16string text;
    EXPECT_TRUE(Settings().LoadGlobalConfig(text));
    return text;
  }
  // An attribute of the first element at `path`; "<absent>" when the
  // element is missing.
  std::string Attr(const char16_t* path, const char16_t* name) const {
    CXmlDoc doc(Text());
    if (!doc.Find(path)) return "<absent>";
    return U8(doc.GetAttr(name));
  }
  Items ChildrenIdPw(const char16_t* parentPath, const char16_t* child) const {
    CXmlDoc doc(Text());
    Items items;
    if (!doc.Find(parentPath) || !doc.Enter()) return items;
    while (doc.Find(child)) items.emplace_back(U8(doc.GetAttr(u"id")), U8(doc.GetAttr(u"pw")));
    return items;
  }
};

// The document every start builds when there is no settings file yet.
TEST_F(CGlobalConfigTest, FirstStartWritesTheDefaultDocument) {
  for (bool emptyFile : {false, true}) {
    SCOPED_TRACE(emptyFile ? "empty file" : "no file");
    fs::remove(PathOf("Global.dat"));
    if (emptyFile) WriteBytes("Global.dat", "");
    ASSERT_TRUE(Settings().InitGlobalConfig(u"http://h/pw?a=1&b=2"));

    const std::u16string text = Text();
    size_t last = 0;
    for (const char16_t* tag : {u"<Config>", u"<Sytem ", u"<User ", u"<LoginHistory",
                                u"<LocalLogin", u"<ActiveNetbar ", u"<Pos ", u"<XiaoPiaoPrint ",
                                u"<BuGanJiaoPrint ", u"<JiaoJieBanPrint ", u"<PanDianPrint "}) {
      size_t at = text.find(tag);
      ASSERT_NE(at, std::u16string::npos) << U8(tag);
      EXPECT_GT(at + 1, last) << U8(tag) << " out of order";
      last = at + 1;
    }
    EXPECT_EQ(Attr(u"/Config/Sytem", u"modifyPwURL"), "http://h/pw?a=1&b=2");
    EXPECT_EQ(Attr(u"/Config/Sytem", u"version"), U8(Helpers::CoreVersionText()));
    EXPECT_NE(text.find(u"worksectionlist=\"\""), std::u16string::npos);
    EXPECT_EQ(Attr(u"/Config/User", u"savepw"), "0");
    EXPECT_TRUE(ChildrenIdPw(u"/Config/User/LoginHistory", u"Item").empty());
    EXPECT_EQ(text.find(u"<Item"), std::u16string::npos);

    XiaoPiaoPrintInfo receipt;
    receipt.Number = 7;
    ASSERT_TRUE(Settings().GetXiaoPiaoPrint(receipt));
    EXPECT_EQ(receipt.Number, 0);
    EXPECT_EQ(receipt.FontSize, 9);
    EXPECT_FALSE(receipt.Enable);
    JiaoJieBanPrintInfo sheet;
    ASSERT_TRUE(Settings().GetJiaoJieBanPrint(sheet));
    EXPECT_EQ(sheet.FontSize, 9);
    PanDianPrintInfo count;
    count.PrinterPaperType = u"x";
    ASSERT_TRUE(Settings().GetPanDianPrint(count));
    EXPECT_EQ(count.PrinterPaperType, u"");
    SystemModeInfo modes{5, 5};
    ASSERT_TRUE(Settings().GetSystemMode(modes));
    EXPECT_EQ(modes.barmode, 0);
    EXPECT_EQ(modes.finishworksectionmode, 0);
  }
}

TEST_F(CGlobalConfigTest, StartUpgradesOlderFilesAndKeepsUnknownContent) {
  WriteRaw(CrLfLines({
      "<Config>",
      "<Sytem modifyPwURL=\"old\" version=\"0.9\" barmode=\"3\" finishworksectionmode=\"1\" "
      "custom='keep'/>",
      "<User id=\"u\" pw=\"p\" savepw=\"1\">",
      "<LoginHistory>",
      "<Item id=\"u\" pw=\"p\"/>",
      "</LoginHistory>",
      "</User>",
      "<ActiveNetbar id=\"n\" pw=\"np\" db=\"d\"/>",
      "<Extra a=\"1\"><Inner>v</Inner></Extra>",
      "<XiaoPiaoPrint Enable=\"1\" FontSize=\"12\" Number=\"2\" Printer=\"P1\"/>",
      "</Config>",
  }));
  ASSERT_TRUE(Settings().InitGlobalConfig(u"new-pw"));

  EXPECT_EQ(Attr(u"/Config/Sytem", u"modifyPwURL"), "new-pw");
  EXPECT_EQ(Attr(u"/Config/Sytem", u"version"), U8(Helpers::CoreVersionText()));
  EXPECT_EQ(Attr(u"/Config/Sytem", u"barmode"), "0");
  EXPECT_EQ(Attr(u"/Config/Sytem", u"finishworksectionmode"), "1");
  EXPECT_EQ(Attr(u"/Config/Sytem", u"custom"), "keep");
  EXPECT_NE(Text().find(u"worksectionlist=\"\""), std::u16string::npos);
  EXPECT_EQ(Attr(u"/Config/LocalLogin", u"id"), "");
  EXPECT_EQ(Attr(u"/Config/PanDianPrint", u"Printer"), "");
  EXPECT_EQ(Attr(u"/Config/PanDianPrint", u"PrinterPaperType"), "58mm热敏纸");
  EXPECT_EQ(Attr(u"/Config/Extra", u"a"), "1");
  EXPECT_NE(Text().find(u"<Extra a=\"1\"><Inner>v</Inner></Extra>"), std::u16string::npos);
  EXPECT_EQ(Attr(u"/Config/XiaoPiaoPrint", u"Number"), "2");
  EXPECT_EQ(Attr(u"/Config/ActiveNetbar", u"pw"), "np");
  EXPECT_EQ(ChildrenIdPw(u"/Config/User/LoginHistory", u"Item"), (Items{{"u", "p"}}));

  // A second start changes nothing more: nothing is added twice.
  const std::u16string once = Text();
  ASSERT_TRUE(Settings().InitGlobalConfig(u"new-pw"));
  EXPECT_EQ(Text(), once);
}

TEST_F(CGlobalConfigTest, StartKeepsPresentValuesAndResetsOnlyBarMode) {
  ASSERT_TRUE(Settings().InitGlobalConfig(u"pw"));
  CXmlDoc doc(Text());
  ASSERT_TRUE(doc.Find(u"/Config/PanDianPrint"));
  doc.SetAttr(u"Printer", u"Counter");
  doc.SetAttr(u"PrinterPaperType", u"A4纸");
  std::u16string text = doc.GetText();
  ASSERT_TRUE(Settings().SaveGlobalConfig(text));
  ASSERT_TRUE(Settings().SetWorkSectionList(u"早班,中班,晚班"));
  ASSERT_TRUE(Settings().SetSystemMode(2, 1));

  ASSERT_TRUE(Settings().InitGlobalConfig(u"pw"));
  PanDianPrintInfo count;
  ASSERT_TRUE(Settings().GetPanDianPrint(count));
  EXPECT_EQ(count.Printer, u"Counter");
  EXPECT_EQ(count.PrinterPaperType, CGlobalConfig::kPaperA4);
  EXPECT_EQ(Attr(u"/Config/Sytem", u"worksectionlist"), "早班,中班,晚班");
  SystemModeInfo modes;
  ASSERT_TRUE(Settings().GetSystemMode(modes));
  EXPECT_EQ(modes.barmode, 0);
  EXPECT_EQ(modes.finishworksectionmode, 1);
}

std::u16string UserDocument(const std::string& userAttrs, const char* history) {
  std::string text = "<Config>\r\n<User " + userAttrs + ">\r\n";
  if (history != nullptr)
    text += std::string("<LoginHistory>\r\n") + history + "</LoginHistory>\r\n";
  return U16(text + "</User>\r\n<Pos type=\"0\" com=\"\"/>\r\n</Config>\r\n");
}

TEST_F(CGlobalConfigTest, SaveMergesTheLoginHistory) {
  struct Case {
    const char* name;
    std::string user;
    const char* history;  // nullptr: no LoginHistory element
    Items expected;
  };
  const Case cases[] = {
      {"saved user joins in id order",
       "id=\"b\" pw=\"pb\" savepw=\"1\"",
       "<Item id=\"c\" pw=\"pc\"/>\r\n<Item id=\"a\" pw=\"pa\"/>\r\n",
       {{"a", "pa"}, {"b", "pb"}, {"c", "pc"}}},
      {"user without the flag is dropped",
       "id=\"b\" pw=\"pb\" savepw=\"0\"",
       "<Item id=\"a\" pw=\"pa\"/>\r\n<Item id=\"b\" pw=\"pb\"/>\r\n<Item id=\"c\" pw=\"pc\"/>\r\n",
       {{"a", "pa"}, {"c", "pc"}}},
      {"saved user's password replaces the old one",
       "id=\"a\" pw=\"new\" savepw=\"2\"",
       "<Item id=\"a\" pw=\"old\"/>\r\n",
       {{"a", "new"}}},
      {"later duplicate wins",
       "id=\"y\" pw=\"\" savepw=\"\"",
       "<Item id=\"x\" pw=\"1\"/>\r\n<Item id=\"x\" pw=\"2\"/>\r\n",
       {{"x", "2"}}},
      {"ordinal order of UTF-16 units",
       "id=\"z\" savepw=\"no\"",
       "<Item id=\"中\" pw=\"1\"/>\r\n<Item id=\"a\" pw=\"2\"/>\r\n<Item id=\"B\" pw=\"3\"/>\r\n",
       {{"B", "3"}, {"a", "2"}, {"中", "1"}}},
      {"missing history is created",
       "id=\"u\" pw=\"p&amp;q\" savepw=\"1\"",
       nullptr,
       {{"u", "p&q"}}},
      {"unknown children of the history stay",
       "id=\"b\" pw=\"pb\" savepw=\"1\"",
       "<Note n=\"1\"/>\r\n<Item id=\"a\" pw=\"pa\"/>\r\n",
       {{"a", "pa"}, {"b", "pb"}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::u16string text = UserDocument(c.user, c.history);
    ASSERT_TRUE(Settings().SaveGlobalConfig(text));
    EXPECT_EQ(Text(), text);
    EXPECT_EQ(ChildrenIdPw(u"/Config/User/LoginHistory", u"Item"), c.expected);
    EXPECT_EQ(Attr(u"/Config/Pos", u"type"), "0");
  }
  EXPECT_EQ(Attr(u"/Config/User/LoginHistory/Note", u"n"), "1");
}

TEST_F(CGlobalConfigTest, SaveWritesUnmergeableTextAsItCame) {
  const std::u16string texts[] = {
      u"<Config><User id=\"a\" savepw=\"1\"><LoginHistory></Config>",
      u"<Config><Pos type=\"1\"/></Config>",
      u"<Other><User id=\"a\" savepw=\"1\"/></Other>",
      u"",
  };
  for (const auto& original : texts) {
    SCOPED_TRACE(U8(original));
    std::u16string text = original;
    ASSERT_TRUE(Settings().SaveGlobalConfig(text));
    EXPECT_EQ(text, original);
    EXPECT_EQ(Text(), original);
  }
}

TEST_F(CGlobalConfigTest, NetbarRecordsFollowTheFirstEntryOfAUser) {
  WriteRaw(CrLfLines({
      "<Config>",
      "<ActiveNetbar id=\"\" pw=\"\" db=\"\">",
      "<anb_info userid=\"u1\" id=\"first\" pw=\"1\" db=\"d1\" barid=\"b1\" barname=\"n1\" "
      "fixedworksection=\"早班\" cashier=\"c1\"/>",
      "<anb_info userid=\"u1\" id=\"second\"/>",
      "<anb_info userid=\"U1\" id=\"upper\"/>",
      "</ActiveNetbar>",
      "</Config>",
  }));
  ActiveNetbarInfo found;
  ASSERT_TRUE(Settings().GetNetbarInfoByUser(u"u1", found));
  EXPECT_EQ(found.id, u"first");
  EXPECT_EQ(found.fixedworksection, u"早班");

  const ActiveNetbarInfo update{u"u1", u"new", u"p\"w", u"b9", u"吧台", u"/x/12-3.dat", u"", u"c9"};
  ASSERT_TRUE(Settings().SetActiveNetbar(update));
  EXPECT_EQ(ChildrenIdPw(u"/Config/ActiveNetbar", u"anb_info"),
            (Items{{"new", "p\"w"}, {"second", ""}, {"upper", ""}}));
  ActiveNetbarInfo read;
  ASSERT_TRUE(Settings().GetNetbarInfoByUser(u"u1", read));
  EXPECT_EQ(read.id, u"new");
  EXPECT_EQ(read.barname, u"吧台");
  EXPECT_EQ(read.fixedworksection, u"");
  EXPECT_EQ(read.cashier, u"c9");

  // The record of a user without an entry is appended after the last one.
  const ActiveNetbarInfo other{u"u2", u"12", u"pw", u"3", u"bar", u"db", u"晚班", u"c"};
  ASSERT_TRUE(Settings().SetActiveNetbar(other));
  EXPECT_EQ(ChildrenIdPw(u"/Config/ActiveNetbar", u"anb_info").back(),
            (Items::value_type{"12", "pw"}));
  ActiveNetbarInfo second;
  ASSERT_TRUE(Settings().GetNetbarInfoByUser(u"u2", second));
  EXPECT_EQ(std::tie(second.userid, second.id, second.pw, second.barid, second.barname, second.db,
                     second.fixedworksection, second.cashier),
            std::tie(other.userid, other.id, other.pw, other.barid, other.barname, other.db,
                     other.fixedworksection, other.cashier));

  // `ActiveNetbar` itself holds the last record, without the two fields the
  // page alone puts there.
  ActiveNetbarInfo active;
  active.cashier = u"stale";
  ASSERT_TRUE(Settings().GetActiveNetbar(active));
  EXPECT_EQ(active.userid, u"u2");
  EXPECT_EQ(active.db, u"db");
  EXPECT_EQ(active.fixedworksection, u"");
  EXPECT_EQ(active.cashier, u"");

  ActiveNetbarInfo untouched;
  untouched.id = u"keep";
  ASSERT_TRUE(Settings().GetNetbarInfoByUser(u"nobody", untouched));
  EXPECT_EQ(untouched.id, u"keep");
}

TEST_F(CGlobalConfigTest, OfflineCredentialsRoundTrip) {
  WriteRaw(u"<Config>\r\n<Sytem barmode=\"0\"/>\r\n</Config>\r\n");
  std::u16string pw = u"keep";
  EXPECT_FALSE(Settings().GetLocalUserInfo(u"a", pw));
  ASSERT_TRUE(Settings().SetLocalUserInfo(u"a", u"1"));
  ASSERT_TRUE(Settings().SetLocalUserInfo(u"b", U16("密码&<\"'")));
  ASSERT_TRUE(Settings().SetLocalUserInfo(u"a", u"2"));
  EXPECT_EQ(ChildrenIdPw(u"/Config/LocalLogin", u"LocalUserInfo"),
            (Items{{"a", "2"}, {"b", "密码&<\"'"}}));
  ASSERT_TRUE(Settings().GetLocalUserInfo(u"b", pw));
  EXPECT_EQ(pw, U16("密码&<\"'"));
  pw = u"keep";
  EXPECT_FALSE(Settings().GetLocalUserInfo(u"A", pw));
  EXPECT_EQ(pw, u"keep");
}

TEST_F(CGlobalConfigTest, ModesAndWorkSectionListRoundTrip) {
  ASSERT_TRUE(Settings().InitGlobalConfig(u""));
  for (auto [bar, finish] : {std::pair{2, 1}, std::pair{0, 0}, std::pair{-5, 123456}}) {
    ASSERT_TRUE(Settings().SetSystemMode(bar, finish));
    SystemModeInfo modes;
    ASSERT_TRUE(Settings().GetSystemMode(modes));
    EXPECT_EQ(modes.barmode, bar);
    EXPECT_EQ(modes.finishworksectionmode, finish);
  }
  ASSERT_TRUE(Settings().SetWorkSectionList(u"早班,中班,\"夜\"&班"));
  EXPECT_EQ(Attr(u"/Config/Sytem", u"worksectionlist"), "早班,中班,\"夜\"&班");
}

// Sections the page writes, read back through their readers: texts with
// markup characters, numbers, flags and numbers that are no numbers.
TEST_F(CGlobalConfigTest, PageWrittenSectionsReadBack) {
  ASSERT_TRUE(Settings().InitGlobalConfig(u""));
  CXmlDoc doc(Text());
  auto set = [&doc](const char16_t* path,
                    std::vector<std::pair<const char16_t*, std::string>> attrs) {
    ASSERT_TRUE(doc.Find(path));
    for (const auto& [name, value] : attrs) doc.SetAttr(name, U16(value));
  };
  set(u"/Config/XiaoPiaoPrint", {{u"Enable", "2"},
                                 {u"AutoPrint", "0"},
                                 {u"Number", "3"},
                                 {u"title", "欢迎 <光临> & \"再见\""},
                                 {u"tail", "'尾'"},
                                 {u"FontSize", "11pt"},
                                 {u"Printer", "Receipt 1"},
                                 {u"PrinterPaperType", "80mm热敏纸"}});
  set(u"/Config/BuGanJiaoPrint", {{u"Enable", "1"}, {u"FontSize", "abc"}, {u"Printer", "Label"}});
  set(u"/Config/JiaoJieBanPrint", {{u"Enable", "0"},
                                   {u"PrintWareList", "1"},
                                   {u"FontSize", " 14"},
                                   {u"Printer", "Office"},
                                   {u"PrinterPaperType", "A4纸"}});
  set(u"/Config/Pos", {{u"type", "1"}, {u"com", "/dev/ttyUSB0"}});
  set(u"/Config/User", {{u"id", "收银员"}, {u"pw", "p&w"}});
  std::u16string text = doc.GetText();
  ASSERT_TRUE(Settings().SaveGlobalConfig(text));

  XiaoPiaoPrintInfo receipt;
  ASSERT_TRUE(Settings().GetXiaoPiaoPrint(receipt));
  EXPECT_TRUE(receipt.Enable);
  EXPECT_FALSE(receipt.AutoPrint);
  EXPECT_EQ(receipt.Number, 3);
  EXPECT_EQ(U8(receipt.title), "欢迎 <光临> & \"再见\"");
  EXPECT_EQ(U8(receipt.tail), "'尾'");
  EXPECT_EQ(receipt.FontSize, 11);
  EXPECT_EQ(receipt.Printer, u"Receipt 1");
  EXPECT_EQ(receipt.PrinterPaperType, CGlobalConfig::kPaper80);
  BuGanJiaoPrintInfo label;
  ASSERT_TRUE(Settings().GetBuGanJiaoPrint(label));
  EXPECT_TRUE(label.Enable);
  EXPECT_EQ(label.FontSize, 0);
  EXPECT_EQ(label.Printer, u"Label");
  JiaoJieBanPrintInfo sheet;
  ASSERT_TRUE(Settings().GetJiaoJieBanPrint(sheet));
  EXPECT_FALSE(sheet.Enable);
  EXPECT_TRUE(sheet.PrintWareList);
  EXPECT_EQ(sheet.FontSize, 14);
  EXPECT_EQ(sheet.PrinterPaperType, CGlobalConfig::kPaperA4);
  PosConfigInfo pos;
  ASSERT_TRUE(Settings().GetPosConfig(pos));
  EXPECT_EQ(pos.type, 1);
  EXPECT_EQ(pos.com, u"/dev/ttyUSB0");
  UserInfo user;
  ASSERT_TRUE(Settings().GetUserInfo(user));
  EXPECT_EQ(U8(user.id), "收银员");
  EXPECT_EQ(user.pw, u"p&w");
}

TEST_F(CGlobalConfigTest, ReadersAndWritersFailWithoutFileOrSection) {
  struct Case {
    const char* name;
    std::function<bool(CGlobalConfig&)> call;
  };
  const Case cases[] = {
      {"GetXiaoPiaoPrint",
       [](CGlobalConfig& s) {
         XiaoPiaoPrintInfo r;
         r.Printer = u"keep";
         return s.GetXiaoPiaoPrint(r) || r.Printer != u"keep";
       }},
      {"GetBuGanJiaoPrint",
       [](CGlobalConfig& s) {
         BuGanJiaoPrintInfo r{true, 4, u"keep"};
         return s.GetBuGanJiaoPrint(r) || r.Printer != u"keep" || r.FontSize != 4;
       }},
      {"GetJiaoJieBanPrint",
       [](CGlobalConfig& s) {
         JiaoJieBanPrintInfo r;
         r.FontSize = 4;
         return s.GetJiaoJieBanPrint(r) || r.FontSize != 4;
       }},
      {"GetPanDianPrint",
       [](CGlobalConfig& s) {
         PanDianPrintInfo r{u"keep", u"keep"};
         return s.GetPanDianPrint(r) || r.Printer != u"keep";
       }},
      {"GetPosConfig",
       [](CGlobalConfig& s) {
         PosConfigInfo r{3, u"keep"};
         return s.GetPosConfig(r) || r.type != 3;
       }},
      {"GetUserInfo",
       [](CGlobalConfig& s) {
         UserInfo r{u"keep", u"keep"};
         return s.GetUserInfo(r) || r.id != u"keep";
       }},
      {"GetSystemMode",
       [](CGlobalConfig& s) {
         SystemModeInfo r{4, 4};
         return s.GetSystemMode(r) || r.barmode != 4;
       }},
      {"GetActiveNetbar",
       [](CGlobalConfig& s) {
         ActiveNetbarInfo r;
         r.id = u"keep";
         return s.GetActiveNetbar(r) || r.id != u"keep";
       }},
      {"GetNetbarInfoByUser",
       [](CGlobalConfig& s) {
         ActiveNetbarInfo r;
         return s.GetNetbarInfoByUser(u"", r);
       }},
      {"GetLocalUserInfo",
       [](CGlobalConfig& s) {
         std::u16string pw;
         return s.GetLocalUserInfo(u"", pw);
       }},
      {"SetActiveNetbar", [](CGlobalConfig& s) { return s.SetActiveNetbar({}); }},
      {"SetSystemMode", [](CGlobalConfig& s) { return s.SetSystemMode(1, 1); }},
      {"SetWorkSectionList", [](CGlobalConfig& s) { return s.SetWorkSectionList(u"a"); }},
  };
  const std::u16string withoutSections = u"<Config>\r\n<Extra/>\r\n</Config>\r\n";
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove(PathOf("Global.dat"));
    CGlobalConfig settings = Settings();
    EXPECT_FALSE(c.call(settings)) << "no file";
    EXPECT_FALSE(fs::exists(PathOf("Global.dat")));
    WriteRaw(withoutSections);
    EXPECT_FALSE(c.call(settings)) << "no section";
    EXPECT_EQ(Text(), withoutSections);
  }
  std::u16string text = u"keep";
  fs::remove(PathOf("Global.dat"));
  EXPECT_FALSE(Settings().LoadGlobalConfig(text));
  EXPECT_EQ(text, u"keep");
  EXPECT_FALSE(Settings().SetLocalUserInfo(u"a", u"b"));
  WriteRaw(u"<Other/>");
  EXPECT_FALSE(Settings().SetLocalUserInfo(u"a", u"b"));
}

TEST_F(CGlobalConfigTest, LocalLoginIsAddedWhenMissing) {
  WriteRaw(u"<Config>\r\n<Extra/>\r\n</Config>\r\n");
  ASSERT_TRUE(Settings().SetLocalUserInfo(u"a", u"1"));
  EXPECT_EQ(ChildrenIdPw(u"/Config/LocalLogin", u"LocalUserInfo"), (Items{{"a", "1"}}));
  EXPECT_EQ(Attr(u"/Config/Extra", u"x"), "");
}

// A crash of an earlier write left its temporary file behind; the settings
// stay readable and the next change goes through.
TEST_F(CGlobalConfigTest, StrayTemporaryFileDoesNotDisturb) {
  ASSERT_TRUE(Settings().InitGlobalConfig(u""));
  ASSERT_TRUE(Settings().SetSystemMode(1, 1));
  const std::string tmp = GlobalDatFile::TempPath(Settings().FilePath());
  WriteBytes(fs::path(tmp).filename().string(),
             GlobalDatFile::Encode(u"<Config><Sytem barm").substr(0, 9));
  SystemModeInfo modes;
  ASSERT_TRUE(Settings().GetSystemMode(modes));
  EXPECT_EQ(modes.barmode, 1);
  ASSERT_TRUE(Settings().SetSystemMode(2, 2));
  ASSERT_TRUE(Settings().GetSystemMode(modes));
  EXPECT_EQ(modes.barmode, 2);
  EXPECT_FALSE(fs::exists(tmp));
}

// Without one lock over each read-modify-write, a change made between
// another writer's read and its write back would be lost.
TEST_F(CGlobalConfigTest, ConcurrentWritersLoseNoUpdate) {
  ASSERT_TRUE(Settings().InitGlobalConfig(u""));
  constexpr int kPerThread = 40;
  auto writer = [this](const std::string& prefix) {
    CGlobalConfig settings = Settings();
    for (int i = 0; i < kPerThread; ++i) {
      EXPECT_TRUE(settings.SetLocalUserInfo(U16(prefix + std::to_string(i)), u"pw"));
    }
  };
  std::thread first(writer, "a");
  std::thread second(writer, "b");
  first.join();
  second.join();
  Items entries = ChildrenIdPw(u"/Config/LocalLogin", u"LocalUserInfo");
  EXPECT_EQ(entries.size(), 2u * kPerThread);
  for (const char* prefix : {"a", "b"}) {
    for (int i = 0; i < kPerThread; ++i) {
      std::string id = prefix + std::to_string(i);
      EXPECT_NE(std::find(entries.begin(), entries.end(), Items::value_type{id, "pw"}),
                entries.end())
          << id;
    }
  }
}

TEST_F(CGlobalConfigTest, DatabasePathIsWorkDirectoryIdHyphenBarDat) {
  EXPECT_EQ(Settings().GetDBFilePath(u"12", u"3"), U16(Dir() + "12-3.dat"));
  std::string dir = Dir();
  dir.pop_back();
  EXPECT_EQ(CGlobalConfig(dir).GetDBFilePath(u"12", u"3"), U16(Dir() + "12-3.dat"));
}

}  // namespace
