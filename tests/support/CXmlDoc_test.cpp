#include "support/CXmlDoc.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/TestText.h"

namespace {

bool HasNote(const CXmlDoc& doc, const char* name) {
  return U8(doc.GetNotes()).find(std::string("<") + name) != std::string::npos;
}

// Builds the shape of the documented example with Append, Enter and Leave.
CXmlDoc BuildCallEnvelope() {
  CXmlDoc doc;
  doc.Parse(u"");
  doc.Append(u"FUNCTION");
  doc.Enter();
  doc.Append(u"Head");
  doc.Enter();
  doc.Append(u"MainID", 1);
  doc.Append(u"SubID", 2);
  doc.Leave();
  doc.Append(u"Param");
  return doc;
}

TEST(CXmlDoc, ParseOfEmptyTextIsFalseAndAppendWritesEmptyElement) {
  CXmlDoc doc;
  EXPECT_FALSE(doc.Parse(u""));
  EXPECT_TRUE(doc.GetText().empty());
  EXPECT_TRUE(HasNote(doc, "no_root_element"));
  EXPECT_TRUE(doc.Append(u"name"));
  EXPECT_EQ(doc.GetText(), u"<name/>\r\n");
  EXPECT_EQ(doc.CurrentName(), u"name");
}

TEST(CXmlDoc, AppendIntoEmptyParentRewritesIt) {
  CXmlDoc doc;
  doc.Parse(u"");
  doc.Append(u"FUNCTION");
  doc.Enter();
  doc.Append(u"Head");
  EXPECT_EQ(doc.GetText(), CrLfLines({"<FUNCTION>", "<Head/>", "</FUNCTION>"}));
}

TEST(CXmlDoc, AppendBuildsOneElementPerLine) {
  CXmlDoc doc = BuildCallEnvelope();
  EXPECT_EQ(doc.GetText(), CrLfLines({"<FUNCTION>", "<Head>", "<MainID>1</MainID>", "<SubID>2</SubID>",
                                      "</Head>", "<Param/>", "</FUNCTION>"}));
  CXmlDoc reread(doc.GetText());
  ASSERT_TRUE(reread.Find(u"/FUNCTION/Head/SubID"));
  EXPECT_EQ(reread.GetValue(), u"2");
  ASSERT_TRUE(doc.Find(u"/FUNCTION/Head/SubID"));
  EXPECT_EQ(doc.GetValue(), u"2");
}

TEST(CXmlDoc, FindWalksSiblingsOfTheSameName) {
  CXmlDoc doc(u"<r><Item>1</Item><Other/><Item>2</Item></r>");
  ASSERT_TRUE(doc.Find(u"r"));
  ASSERT_TRUE(doc.Enter());
  EXPECT_TRUE(doc.Find(u"Item"));
  EXPECT_TRUE(doc.Find(u"Item"));
  EXPECT_FALSE(doc.Find(u"Item"));
  EXPECT_EQ(doc.GetValue(), u"2");
}

TEST(CXmlDoc, AbsolutePathNotFoundLeavesPositionsRewound) {
  CXmlDoc doc(u"<FUNCTION><Head><MainID>1</MainID></Head></FUNCTION>");
  ASSERT_TRUE(doc.Find(u"/FUNCTION/Head/MainID"));
  EXPECT_FALSE(doc.Find(u"/FUNCTION/Param"));
  EXPECT_EQ(doc.ParentPos(), 0);
  EXPECT_EQ(doc.CurrentPos(), 0);
  EXPECT_EQ(doc.ChildPos(), 0);
}

TEST(CXmlDoc, UnendedAndLoneEndTags) {
  CXmlDoc doc;
  EXPECT_FALSE(doc.Parse(u"<a><b></a>"));
  EXPECT_TRUE(HasNote(doc, "unended_start_tag"));
  ASSERT_TRUE(doc.Find(u"/a/b"));
  EXPECT_EQ(doc.GetInner(), u"");
  EXPECT_FALSE(doc.Parse(u"<a></b></a>"));
  EXPECT_TRUE(HasNote(doc, "lone_end_tag"));
  ASSERT_TRUE(doc.Find(u"/a"));
  EXPECT_EQ(doc.GetInner(), u"</b>");
}

TEST(CXmlDoc, InsertFragmentBeforeCurrent) {
  CXmlDoc doc(CrLfLines({"<FUNCTION>", "<ErrString>ok</ErrString>", "</FUNCTION>"}));
  ASSERT_TRUE(doc.Find(u"/FUNCTION/ErrString"));
  EXPECT_TRUE(doc.InsertFragment(u"<X>1</X>"));
  EXPECT_EQ(doc.GetText(), CrLfLines({"<FUNCTION>", "<X>1</X>", "<ErrString>ok</ErrString>", "</FUNCTION>"}));
  EXPECT_EQ(doc.CurrentName(), u"X");
  ASSERT_TRUE(doc.Find(u"/FUNCTION/ErrString"));
  EXPECT_EQ(doc.GetValue(), u"ok");
}

}  // namespace
