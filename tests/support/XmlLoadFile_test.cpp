// CXmlDoc::LoadFile over real files in a temporary folder: byte-order
// marks, declared encodings, the UTF-8 test and read failures.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <stdlib.h>
#include <string>

#include "common/TestText.h"
#include "support/CXmlDoc.h"
#include "support/TextCodec.h"

namespace {

namespace fs = std::filesystem;

class XmlLoadFile : public ::testing::Test {
protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "xmlload-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    m_dir = pattern;
  }
  void TearDown() override { fs::remove_all(m_dir); }

  std::string Write(const std::string& name, const std::string& bytes) {
    std::string path = (m_dir / name).string();
    std::ofstream(path, std::ios::binary) << bytes;
    return path;
  }

  bool HasNote(const CXmlDoc& doc, const std::string& note) {
    return U8(doc.GetNotes()).find("<" + note) != std::string::npos;
  }

  fs::path m_dir;
};

std::string Utf16Bytes(std::u16string_view text, bool bigEndian) {
  std::string bytes;
  for (char16_t unit : text) {
    char lo = static_cast<char>(unit & 0xFF);
    char hi = static_cast<char>(unit >> 8);
    bytes += bigEndian ? hi : lo;
    bytes += bigEndian ? lo : hi;
  }
  return bytes;
}

std::u16string ValueOf(CXmlDoc& doc, std::u16string_view path) {
  return doc.Find(path) ? doc.GetValue() : u"<not found>";
}

TEST_F(XmlLoadFile, Utf8WithoutMarkOrDeclaration) {
  CXmlDoc doc;
  EXPECT_TRUE(doc.LoadFile(Write("plain.xml", "<Config><Name>收银台</Name></Config>\r\n")));
  EXPECT_EQ(U8(ValueOf(doc, u"/Config/Name")), "收银台");
  EXPECT_FALSE(HasNote(doc, "bom"));
  EXPECT_FALSE(HasNote(doc, "utf8_detection"));  // the leading '<' settles it
  EXPECT_TRUE(HasNote(doc, "converted_to"));
}

TEST_F(XmlLoadFile, Utf8WithMark) {
  CXmlDoc doc;
  EXPECT_TRUE(doc.LoadFile(Write("bom.xml", "\xEF\xBB\xBF<a>中</a>")));
  EXPECT_EQ(doc.GetText(), u"<a>中</a>");
  EXPECT_TRUE(HasNote(doc, "bom"));
}

TEST_F(XmlLoadFile, Utf16WithMarkInBothByteOrders) {
  const std::u16string text = u"<a x=\"值\">文本 😀</a>";
  for (bool bigEndian : {false, true}) {
    std::string mark = bigEndian ? "\xFE\xFF" : "\xFF\xFE";
    CXmlDoc doc;
    EXPECT_TRUE(doc.LoadFile(Write("wide.xml", mark + Utf16Bytes(text, bigEndian))));
    EXPECT_EQ(doc.GetText(), text);
    EXPECT_TRUE(HasNote(doc, "bom"));
    EXPECT_EQ(HasNote(doc, "endian_swap"), bigEndian);
  }
}

TEST_F(XmlLoadFile, ZeroUnitsAreRemoved) {
  CXmlDoc doc;
  std::string bytes = "\xFF\xFE" + Utf16Bytes(std::u16string(u"<a>1") + u'\0' + u"2</a>", false);
  EXPECT_TRUE(doc.LoadFile(Write("nul16.xml", bytes)));
  EXPECT_EQ(ValueOf(doc, u"/a"), u"12");
  EXPECT_TRUE(HasNote(doc, "nulls_removed"));
  // UTF-16 without a mark reads as 8-bit text with every other byte zero.
  EXPECT_TRUE(doc.LoadFile(Write("nomark16.xml", Utf16Bytes(u"<a>xy</a>", false))));
  EXPECT_EQ(ValueOf(doc, u"/a"), u"xy");
  EXPECT_NE(U8(doc.GetNotes()).find("count=\"9\""), std::string::npos) << U8(doc.GetNotes());
}

TEST_F(XmlLoadFile, DeclaredGb2312IsReadThroughCodePage936) {
  std::string body = "<?xml version=\"1.0\" encoding=\"gb2312\"?>\r\n<a>" +
                     TextCodec::Utf16ToAnsi(u"中文商品") + "</a>\r\n";
  CXmlDoc doc;
  EXPECT_TRUE(doc.LoadFile(Write("gb.xml", body)));
  EXPECT_EQ(U8(ValueOf(doc, u"/a")), "中文商品");
  EXPECT_NE(U8(doc.GetNotes()).find("GBK"), std::string::npos) << U8(doc.GetNotes());
}

TEST_F(XmlLoadFile, DeclaredEncodingNamesAreFoldedAndMapped) {
  struct Case {
    const char* declared;
    std::string bytes;  // of "é" in that encoding
  };
  const Case cases[] = {
      {"ISO-8859-1", "\xE9"},
      {"Latin1", "\xE9"},
      {"windows-1252", "\xE9"},
      {"UTF-8", "\xC3\xA9"},
  };
  for (const Case& c : cases) {
    std::string body = std::string("<?xml version='1.0' encoding='") + c.declared + "'?><a>" + c.bytes + "</a>";
    CXmlDoc doc;
    EXPECT_TRUE(doc.LoadFile(Write("enc.xml", body))) << c.declared;
    EXPECT_EQ(U8(ValueOf(doc, u"/a")), "é") << c.declared;
  }
}

TEST_F(XmlLoadFile, HtmlMetaCharset) {
  std::string body =
      "<HTML><head><title>t</title>"
      "<META HTTP-EQUIV=\"Content-Type\" CONTENT=\"text/html; Charset = GBK\">"
      "</head><body>" +
      TextCodec::Utf16ToAnsi(u"价格") + "</body></HTML>";
  CXmlDoc doc;
  doc.LoadFile(Write("page.html", body));  // not well formed: the meta tag is unended
  EXPECT_NE(U8(doc.GetText()).find("价格"), std::string::npos) << U8(doc.GetText());
}

TEST_F(XmlLoadFile, UndeclaredTextIsTestedAsUtf8) {
  CXmlDoc doc;
  // Not starting with '<' and not valid UTF-8: the ANSI code page (GBK).
  EXPECT_TRUE(doc.LoadFile(Write("ansi.xml", " <a>" + TextCodec::Utf16ToAnsi(u"茶叶") + "</a>")));
  EXPECT_EQ(U8(ValueOf(doc, u"/a")), "茶叶");
  EXPECT_NE(U8(doc.GetNotes()).find("<utf8_detection encoding=\"ANSI\""), std::string::npos);
  EXPECT_TRUE(doc.LoadFile(Write("utf8.xml", " <a>茶叶</a>")));
  EXPECT_EQ(U8(ValueOf(doc, u"/a")), "茶叶");
  EXPECT_NE(U8(doc.GetNotes()).find("<utf8_detection encoding=\"UTF-8\""), std::string::npos);
}

TEST_F(XmlLoadFile, Utf16DeclarationInAnEightBitFileIsNotBelieved) {
  CXmlDoc doc;
  EXPECT_TRUE(doc.LoadFile(Write("liar.xml", "<?xml version=\"1.0\" encoding=\"utf-16\"?><a>é</a>")));
  EXPECT_EQ(U8(ValueOf(doc, u"/a")), "é");
}

TEST_F(XmlLoadFile, MissingFileIsAFileError) {
  CXmlDoc doc(u"<old/>");
  EXPECT_FALSE(doc.LoadFile((m_dir / "missing.xml").string()));
  EXPECT_TRUE(HasNote(doc, "file_error"));
  EXPECT_NE(U8(doc.GetNotes()).find("n=\"2\""), std::string::npos) << U8(doc.GetNotes());
  EXPECT_NE(U8(doc.GetNotes()).find("No such file"), std::string::npos);
  EXPECT_TRUE(doc.GetText().empty());
  EXPECT_FALSE(doc.Find(u"old"));
}

TEST_F(XmlLoadFile, DirectoryIsAFileError) {
  CXmlDoc doc;
  EXPECT_FALSE(doc.LoadFile(m_dir.string()));
  EXPECT_TRUE(HasNote(doc, "file_error"));
}

TEST_F(XmlLoadFile, EmptyAndIllFormedFilesAreReadButFalse) {
  CXmlDoc doc;
  EXPECT_FALSE(doc.LoadFile(Write("empty.xml", "")));
  EXPECT_FALSE(HasNote(doc, "file_error"));
  EXPECT_FALSE(doc.LoadFile(Write("bad.xml", "<a><b></a>")));
  EXPECT_TRUE(doc.Find(u"/a/b"));
}

}  // namespace
