#include "support/CXmlDoc.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "common/TestText.h"

namespace {

bool HasNote(const CXmlDoc& doc, const char* name) {
  return U8(doc.GetNotes()).find(std::string("<") + name) != std::string::npos;
}

// The shape of the documented call envelope, built with Append, Enter and Leave.
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

std::u16string ValueAt(CXmlDoc& doc, std::u16string_view path) {
  return doc.Find(path) ? doc.GetValue() : u"<not found>";
}

// ---- Parse -------------------------------------------------------------------

TEST(CXmlDoc, ParseOfEmptyTextIsFalseAndAppendWritesEmptyElement) {
  CXmlDoc doc(u"<old/>");
  EXPECT_FALSE(doc.Parse(u""));
  EXPECT_TRUE(doc.GetText().empty());
  EXPECT_TRUE(HasNote(doc, "no_root_element"));
  EXPECT_FALSE(doc.Find(u"old"));
  EXPECT_TRUE(doc.Append(u"name"));
  EXPECT_EQ(doc.GetText(), u"<name/>\r\n");
  EXPECT_EQ(doc.CurrentName(), u"name");
  EXPECT_TRUE(doc.CheckIndex());
}

TEST(CXmlDoc, WellFormedDocumentsParseTrue) {
  const char* cases[] = {
      "<a/>",
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<a>x</a>\r\n",
      "<!DOCTYPE a [<!ELEMENT a (#PCDATA)>]><a/>",
      "<!-- c --><a><![CDATA[<b>]]></a><?pi x?>",
      "<a x='1' y=\"2\" z=3><b/></a>",
      "<中文 名='值'>文本</中文>",
      "<a x=\">\"/>",
  };
  for (const char* text : cases) {
    CXmlDoc doc;
    EXPECT_TRUE(doc.Parse(U16(text))) << text << "\n" << U8(doc.GetNotes());
    EXPECT_TRUE(doc.GetNotes().empty()) << text;
    EXPECT_TRUE(doc.CheckIndex()) << text;
  }
}

TEST(CXmlDoc, SyntaxFaultsAreNotedAndScanningGoesOn) {
  struct Case {
    const char* text;
    const char* note;
    const char* type;
  };
  const Case cases[] = {
      {"<a>1 < 2</a>", "first_tag_syntax", nullptr},
      {"<a></ b></a>", "first_tag_syntax", nullptr},
      {"<a><!x></a>", "exclamation_tag_syntax", nullptr},
      {"<a><!-x></a>", "comment_tag_syntax", nullptr},
      {"<a><![CDAT[x]]></a>", "cdata_section_syntax", nullptr},
      {"<a><!DOCTYP a></a>", "doctype_tag_syntax", nullptr},
      {"<a></a><", "unterminated_tag_syntax", "tag"},
      {"<a></a><b x='1", "unterminated_tag_syntax", "start_tag"},
      {"<a></a", "unterminated_tag_syntax", "end_tag"},
      {"<a/><![CDATA[x", "unterminated_tag_syntax", "cdata_section"},
      {"<a/><?pi", "unterminated_tag_syntax", "processing_instruction"},
      {"<a/><!-- x", "unterminated_tag_syntax", "comment"},
      {"<a/><!DOCTYPE a [", "unterminated_tag_syntax", "document_type"},
  };
  for (const Case& c : cases) {
    CXmlDoc doc;
    EXPECT_FALSE(doc.Parse(U16(c.text))) << c.text;
    EXPECT_TRUE(HasNote(doc, c.note)) << c.text << " -> " << U8(doc.GetNotes());
    if (c.type != nullptr) {
      EXPECT_NE(U8(doc.GetNotes()).find(std::string("type=\"") + c.type + "\""), std::string::npos)
          << c.text << " -> " << U8(doc.GetNotes());
    }
    EXPECT_TRUE(doc.Find(u"/a")) << c.text;
    EXPECT_TRUE(doc.CheckIndex()) << c.text;
  }
}

TEST(CXmlDoc, StrayLessThanStaysInTheValue) {
  CXmlDoc doc(u"<a>1 < 2</a>");
  ASSERT_TRUE(doc.Find(u"a"));
  EXPECT_EQ(doc.GetValue(), u"1 < 2");
}

TEST(CXmlDoc, UnendedStartTagBecomesItsStartTagAlone) {
  CXmlDoc doc;
  EXPECT_FALSE(doc.Parse(u"<a><b></a>"));
  EXPECT_TRUE(HasNote(doc, "unended_start_tag"));
  ASSERT_TRUE(doc.Find(u"/a/b"));
  EXPECT_EQ(doc.GetInner(), u"");
  EXPECT_EQ(doc.GetValue(), u"");
  EXPECT_TRUE(doc.CheckIndex());
}

TEST(CXmlDoc, ChildrenOfUnendedElementFollowItAsSiblings) {
  CXmlDoc doc;
  EXPECT_FALSE(doc.Parse(u"<a><b><c>1</c><d><e/></d></a>"));
  ASSERT_TRUE(doc.Find(u"/a/b"));
  EXPECT_FALSE(doc.Find(u"/a/b/c"));
  EXPECT_EQ(ValueAt(doc, u"/a/c"), u"1");
  EXPECT_TRUE(doc.Find(u"/a/d/e"));
  EXPECT_TRUE(doc.CheckIndex());
}

TEST(CXmlDoc, ElementsLeftOpenAtTheEndAreUnended) {
  CXmlDoc doc;
  EXPECT_FALSE(doc.Parse(u"<a><b><c/>"));
  EXPECT_TRUE(HasNote(doc, "unended_start_tag"));
  EXPECT_TRUE(HasNote(doc, "root_has_sibling"));
  EXPECT_TRUE(doc.Find(u"/a"));
  EXPECT_TRUE(doc.Find(u"/b"));
  EXPECT_TRUE(doc.Find(u"/c"));
  EXPECT_TRUE(doc.CheckIndex());
}

TEST(CXmlDoc, LoneEndTagIsIgnored) {
  CXmlDoc doc;
  EXPECT_FALSE(doc.Parse(u"<a></b></a>"));
  EXPECT_TRUE(HasNote(doc, "lone_end_tag"));
  ASSERT_TRUE(doc.Find(u"/a"));
  EXPECT_EQ(doc.GetInner(), u"</b>");
  EXPECT_TRUE(doc.CheckIndex());
}

TEST(CXmlDoc, EndTagNamesAreCaseSensitive) {
  CXmlDoc doc;
  EXPECT_FALSE(doc.Parse(u"<a></A>"));
  EXPECT_TRUE(HasNote(doc, "lone_end_tag"));
  EXPECT_TRUE(HasNote(doc, "unended_start_tag"));
}

TEST(CXmlDoc, RootWithSiblingIsStillIndexed) {
  CXmlDoc doc;
  EXPECT_FALSE(doc.Parse(u"<a/><b/>"));
  EXPECT_TRUE(HasNote(doc, "root_has_sibling"));
  doc.Rewind();
  EXPECT_TRUE(doc.Find(u"b"));
  EXPECT_EQ(doc.CurrentName(), u"b");
}

TEST(CXmlDoc, TextWithoutElementsHasNoRoot) {
  CXmlDoc doc;
  EXPECT_FALSE(doc.Parse(u"just text <!-- and a comment -->"));
  EXPECT_TRUE(HasNote(doc, "no_root_element"));
}

TEST(CXmlDoc, NotesStopGrowingPastTheLimit) {
  std::u16string text = u"<a>";
  for (int i = 0; i < 500; ++i) text += u"</lone>";
  text += u"</a>";
  CXmlDoc doc;
  EXPECT_FALSE(doc.Parse(text));
  EXPECT_GT(doc.GetNotes().size(), 999u);
  EXPECT_LT(doc.GetNotes().size(), 1100u);
  ASSERT_TRUE(doc.Find(u"/a"));
}

TEST(CXmlDoc, OverlongEndTagIsAFaultNotACorruption) {
  std::u16string text = u"<a>x</a" + std::u16string(1100, u' ') + u">";
  CXmlDoc doc;
  EXPECT_FALSE(doc.Parse(text));
  EXPECT_TRUE(HasNote(doc, "end_tag_too_long"));
  ASSERT_TRUE(doc.Find(u"/a"));
  EXPECT_TRUE(doc.CheckIndex());
  // A shorter run of blanks still fits the record.
  EXPECT_TRUE(doc.Parse(u"<a>x</a" + std::u16string(1000, u' ') + u">"));
  EXPECT_EQ(ValueAt(doc, u"/a"), u"x");
}

TEST(CXmlDoc, OverlongStartTagIsAFaultNotACorruption) {
  std::u16string text = u"<a><b v=\"" + std::u16string(4194304, u'x') + u"\"/></a>";
  CXmlDoc doc;
  EXPECT_FALSE(doc.Parse(text));
  EXPECT_TRUE(HasNote(doc, "start_tag_too_long"));
  ASSERT_TRUE(doc.Find(u"/a"));
  EXPECT_FALSE(doc.Find(u"/a/b"));
  EXPECT_TRUE(doc.CheckIndex());
}

TEST(CXmlDoc, NestingBeyondTheLevelLimitIsAFault) {
  std::u16string text;
  for (int i = 0; i < 70000; ++i) text += u"<a>";
  for (int i = 0; i < 70000; ++i) text += u"</a>";
  CXmlDoc doc;
  EXPECT_FALSE(doc.Parse(text));
  EXPECT_TRUE(HasNote(doc, "nesting_too_deep"));
  EXPECT_TRUE(doc.CheckIndex());
  ASSERT_TRUE(doc.Find(u"/a/a/a"));
  EXPECT_TRUE(doc.Enter());
}

TEST(CXmlDoc, DeepUnendedChainIsFlattenedInLinearTime) {
  std::u16string text;
  for (int i = 0; i < 60000; ++i) text += u"<a><b/>";
  CXmlDoc doc;
  EXPECT_FALSE(doc.Parse(text));
  EXPECT_TRUE(doc.CheckIndex());
  doc.Rewind();
  int count = 0;
  while (doc.Find(u"b")) ++count;
  EXPECT_EQ(count, 60000);
}

// ---- Find, Enter, Leave -----------------------------------------------------

TEST(CXmlDoc, FindWalksSiblingsOfTheSameName) {
  CXmlDoc doc(u"<r><Item>1</Item><Other/><Item>2</Item></r>");
  ASSERT_TRUE(doc.Find(u"r"));
  ASSERT_TRUE(doc.Enter());
  EXPECT_TRUE(doc.Find(u"Item"));
  EXPECT_TRUE(doc.Find(u"Item"));
  EXPECT_FALSE(doc.Find(u"Item"));
  EXPECT_EQ(doc.GetValue(), u"2");
  doc.RewindSiblings();
  EXPECT_TRUE(doc.Find(u"Item"));
  EXPECT_EQ(doc.GetValue(), u"1");
}

TEST(CXmlDoc, FindComparesWholeNames) {
  CXmlDoc doc(u"<r><Heads/><Hea/><Head>h</Head></r>");
  struct Case {
    const char16_t* path;
    const char16_t* found;
  };
  const Case cases[] = {
      {u"/r/Head", u"Head"}, {u"/r/Hea", u"Hea"}, {u"/r/Heads", u"Heads"},
      {u"/r/He", nullptr},   {u"/r/head", nullptr}, {u"/r/", nullptr},
      {u"/", nullptr},       {u"", nullptr},        {u"/r/Head/", nullptr},
  };
  for (const Case& c : cases) {
    bool found = doc.Find(c.path);
    EXPECT_EQ(found, c.found != nullptr) << U8(c.path);
    if (found) {
      EXPECT_EQ(doc.CurrentName(), c.found) << U8(c.path);
    }
  }
}

TEST(CXmlDoc, AbsolutePathDoesNotBacktrack) {
  CXmlDoc doc(u"<F><Head/><Head><MainID>1</MainID></Head></F>");
  EXPECT_FALSE(doc.Find(u"/F/Head/MainID"));
  ASSERT_TRUE(doc.Find(u"/F/Head"));
  ASSERT_TRUE(doc.Find(u"Head"));
  ASSERT_TRUE(doc.Enter());
  EXPECT_TRUE(doc.Find(u"MainID"));
}

TEST(CXmlDoc, AbsolutePathNotFoundLeavesPositionsRewound) {
  CXmlDoc doc(u"<FUNCTION><Head><MainID>1</MainID></Head></FUNCTION>");
  ASSERT_TRUE(doc.Find(u"/FUNCTION/Head/MainID"));
  EXPECT_FALSE(doc.Find(u"/FUNCTION/Param"));
  EXPECT_EQ(doc.ParentPos(), 0);
  EXPECT_EQ(doc.CurrentPos(), 0);
  EXPECT_EQ(doc.ChildPos(), 0);
}

TEST(CXmlDoc, PlainNameNotFoundKeepsCurrentElement) {
  CXmlDoc doc(u"<r><a/><b/></r>");
  ASSERT_TRUE(doc.Find(u"/r/a"));
  int current = doc.CurrentPos();
  EXPECT_FALSE(doc.Find(u"zzz"));
  EXPECT_EQ(doc.CurrentPos(), current);
  EXPECT_TRUE(doc.Find(u"b"));
}

TEST(CXmlDoc, RelativePathSearchesFromTheCurrentPosition) {
  CXmlDoc doc(u"<r><g><v>1</v></g><g><v>2</v></g></r>");
  ASSERT_TRUE(doc.Find(u"r"));
  ASSERT_TRUE(doc.Enter());
  EXPECT_EQ(ValueAt(doc, u"g/v"), u"1");
  EXPECT_EQ(doc.ParentPos() != 0, true);
  ASSERT_TRUE(doc.Leave());
  EXPECT_EQ(ValueAt(doc, u"g/v"), u"2");
}

TEST(CXmlDoc, EnterAndLeaveMoveTheThreePositions) {
  CXmlDoc doc(u"<r><a><x/></a><b/></r>");
  EXPECT_FALSE(doc.Enter());
  EXPECT_FALSE(doc.Leave());
  ASSERT_TRUE(doc.Find(u"/r/a/x"));
  int x = doc.CurrentPos();
  ASSERT_TRUE(doc.Leave());
  EXPECT_EQ(doc.CurrentName(), u"a");
  EXPECT_EQ(doc.ChildPos(), x);
  ASSERT_TRUE(doc.Enter());  // back to the remembered child
  EXPECT_EQ(doc.CurrentPos(), x);
  EXPECT_EQ(doc.ChildPos(), 0);
  ASSERT_TRUE(doc.Leave());
  EXPECT_TRUE(doc.Find(u"b"));  // any other navigation forgets the child
  EXPECT_EQ(doc.ChildPos(), 0);
  ASSERT_TRUE(doc.Leave());
  ASSERT_TRUE(doc.Leave() == false);
  EXPECT_EQ(doc.CurrentName(), u"r");
}

TEST(CXmlDoc, ReadingAListWithFindEnterLeave) {
  CXmlDoc doc(CrLfLines({"<jxcapi>", "<ware><id>1</id><name>茶</name></ware>",
                         "<ware><id>2</id><name>水</name></ware>", "</jxcapi>"}));
  ASSERT_TRUE(doc.Find(u"/jxcapi"));
  ASSERT_TRUE(doc.Enter());
  std::vector<std::string> names;
  while (doc.Find(u"ware")) {
    ASSERT_TRUE(doc.Enter());
    ASSERT_TRUE(doc.Find(u"name"));
    names.push_back(U8(doc.GetValue()));
    ASSERT_TRUE(doc.Leave());
  }
  EXPECT_EQ(names, (std::vector<std::string>{"茶", "水"}));
}

// ---- Values and attributes -------------------------------------------------

TEST(CXmlDoc, GetValueCases) {
  struct Case {
    const char* element;
    const char* value;
  };
  const Case cases[] = {
      {"<a>x&amp;y</a>", "x&y"},
      {"<a> <![CDATA[<raw> &amp;]]> </a>", "<raw> &amp;"},
      {"<a>text<b/></a>", ""},
      {"<a>t<b>u</b>v</a>", ""},
      {"<a>&foo;</a>", "&foo;"},
      {"<a>  spaced\r\n</a>", "  spaced\r\n"},
      {"<a>x<!-- c -->y<?p?>z</a>", "xyz"},
      {"<a>1 <![CDATA[2]]> 3</a>", "1 2 3"},
      {"<a/>", ""},
      {"<a></a>", ""},
      {"<a>&lt;&gt;&quot;&apos;</a>", "<>\"'"},
  };
  for (const Case& c : cases) {
    CXmlDoc doc(U16(c.element));
    ASSERT_TRUE(doc.Find(u"/a")) << c.element;
    EXPECT_EQ(U8(doc.GetValue()), c.value) << c.element;
  }
}

TEST(CXmlDoc, UnescapeCases) {
  struct Case {
    const char* text;
    const char* expected;
  };
  const Case cases[] = {
      {"&#65;&#x42;&#X43;", "ABC"},
      {"&#x1F600;", "\xF0\x9F\x98\x80"},
      {"&#128512;", "\xF0\x9F\x98\x80"},
      {"&#0;&#x0;", "&#0;&#x0;"},
      {"&#xD800;", "&#xD800;"},
      {"&#x110000;", "&#x110000;"},
      {"&#;&#x;&#12a;", "&#;&#x;&#12a;"},
      {"&;", "&;"},
      {"a & b", "a & b"},
      {"&amp", "&amp"},
      {"&thetasym;&alefsym;", "\xCF\x91\xE2\x84\xB5"},
      {"&nbsp;&copy;&yuml;&euro;&hearts;", "\xC2\xA0\xC2\xA9\xC3\xBF\xE2\x82\xAC\xE2\x99\xA5"},
      {"&Aacute;&aacute;&AACUTE;", "\xC3\x81\xC3\xA1\xC3\xA1"},
      {"&lArr;&larr;&LARR;", "\xE2\x87\x90\xE2\x86\x90\xE2\x86\x90"},
      {"&AMP;&Lt;", "&<"},
      {"&#00000065;", "A"},
      {"&#000000065;", "&#000000065;"},
      {"&abcdefghi;", "&abcdefghi;"},
      {"&\xC3\xA9;", "&\xC3\xA9;"},
      {"&&amp;", "&&"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(U8(CXmlDoc::Unescape(U16(c.text))), c.expected) << c.text;
  }
}

TEST(CXmlDoc, EscapingRoundTrips) {
  const char* values[] = {"a<b", "x&y>z", "\"quoted\" and 'single'", "中文 &amp; 文本", "&#65;"};
  for (const char* value : values) {
    CXmlDoc doc;
    doc.Parse(u"");
    ASSERT_TRUE(doc.Append(u"r", U16(value)));
    ASSERT_TRUE(doc.SetAttr(u"v", U16(value)));
    CXmlDoc reread(doc.GetText());
    ASSERT_TRUE(reread.Find(u"/r")) << value;
    EXPECT_EQ(U8(reread.GetValue()), value);
    EXPECT_EQ(U8(reread.GetAttr(u"v")), value);
  }
}

TEST(CXmlDoc, EscapingWritesOnlyTheNeededReferences) {
  EXPECT_EQ(CXmlDoc::EscapeValue(u"a<b>&\"'中"), u"a&lt;b&gt;&amp;\"'中");
  EXPECT_EQ(CXmlDoc::EscapeAttr(u"a<b>&\"'中"), u"a&lt;b&gt;&amp;&quot;&apos;中");
  CXmlDoc doc;
  doc.Append(u"a", u"x<y");
  EXPECT_EQ(doc.GetText(), u"<a>x&lt;y</a>\r\n");
  doc.SetAttr(u"q", u"say \"hi\"");
  EXPECT_EQ(doc.GetText(), u"<a q=\"say &quot;hi&quot;\">x&lt;y</a>\r\n");
}

TEST(CXmlDoc, GetAttrReadsEveryQuotingStyle) {
  CXmlDoc doc(u"<a d=\"dq\" s='s q' u=bare e=\"\" flag xy=\"long\" x = \"spaced\" r=\"&lt;&#x4E2D;\"/>");
  ASSERT_TRUE(doc.Find(u"a"));
  EXPECT_EQ(doc.GetAttr(u"d"), u"dq");
  EXPECT_EQ(doc.GetAttr(u"s"), u"s q");
  EXPECT_EQ(doc.GetAttr(u"u"), u"bare");
  EXPECT_EQ(doc.GetAttr(u"e"), u"");
  EXPECT_EQ(doc.GetAttr(u"flag"), u"");
  EXPECT_EQ(doc.GetAttr(u"x"), u"spaced");
  EXPECT_EQ(doc.GetAttr(u"r"), u"<中");
  EXPECT_EQ(doc.GetAttr(u"missing"), u"");
  EXPECT_EQ(doc.GetAttr(u"D"), u"");
}

TEST(CXmlDoc, SetAttrReplacesOrAppends) {
  struct Case {
    const char* before;
    const char* name;
    const char* value;
    const char* after;
  };
  const Case cases[] = {
      {"<a/>", "n", "1", "<a n=\"1\"/>"},
      {"<a />", "n", "1", "<a n=\"1\" />"},
      {"<a x='old'>t</a>", "x", "new", "<a x=\"new\">t</a>"},
      {"<a x=old y=\"2\"></a>", "x", "n", "<a x=\"n\" y=\"2\"></a>"},
      {"<a x=\"1\">t</a>", "y", "2", "<a x=\"1\" y=\"2\">t</a>"},
      {"<a flag>t</a>", "flag", "on", "<a flag=\"on\">t</a>"},
      {"<a xy=\"1\"/>", "x", "2", "<a xy=\"1\" x=\"2\"/>"},
      {"<a b=>t</a>", "k", "v", "<a k=\"v\" b=>t</a>"},
  };
  for (const Case& c : cases) {
    CXmlDoc doc(U16(c.before));
    ASSERT_TRUE(doc.Find(u"a"));
    EXPECT_TRUE(doc.SetAttr(U16(c.name), U16(c.value)));
    EXPECT_EQ(U8(doc.GetText()), c.after) << c.before;
    EXPECT_EQ(U8(doc.GetAttr(U16(c.name))), c.value);
    EXPECT_TRUE(doc.CheckIndex()) << c.before;
  }
}

TEST(CXmlDoc, SetValueReplacesContent) {
  struct Case {
    const char* before;
    const char* value;
    const char* after;
  };
  const Case cases[] = {
      {"<r><a/></r>", "v", "<r><a>v</a></r>"},
      {"<r><a /></r>", "v", "<r><a >v</a></r>"},
      {"<r><a>old</a></r>", "a<b", "<r><a>a&lt;b</a></r>"},
      {"<r><a>old</a></r>", "", "<r><a></a></r>"},
      {"<r><a/></r>", "", "<r><a/></r>"},
  };
  for (const Case& c : cases) {
    CXmlDoc doc(U16(c.before));
    ASSERT_TRUE(doc.Find(u"/r/a"));
    EXPECT_TRUE(doc.SetValue(U16(c.value)));
    EXPECT_EQ(U8(doc.GetText()), c.after) << c.before;
    EXPECT_TRUE(doc.CheckIndex()) << c.before;
    EXPECT_EQ(U8(ValueAt(doc, u"/r/a")), c.value);
  }
}

TEST(CXmlDoc, SetValueRefusesElementsWithChildrenAndNoCurrent) {
  CXmlDoc doc(u"<r><a><b/></a></r>");
  EXPECT_FALSE(doc.SetValue(u"x"));
  EXPECT_FALSE(doc.SetAttr(u"x", u"1"));
  ASSERT_TRUE(doc.Find(u"/r/a"));
  EXPECT_FALSE(doc.SetValue(u"x"));
  EXPECT_TRUE(doc.SetValue(7) == false);
  EXPECT_EQ(doc.GetText(), u"<r><a><b/></a></r>");
}

TEST(CXmlDoc, SetValueOnUnendedElementGivesItAnEndTag) {
  CXmlDoc doc(u"<r><a></r>");
  ASSERT_TRUE(doc.Find(u"/r/a"));
  EXPECT_TRUE(doc.SetValue(u"v"));
  EXPECT_EQ(doc.GetText(), u"<r><a>v</a></r>");
  EXPECT_EQ(doc.GetValue(), u"v");
  EXPECT_TRUE(doc.CheckIndex());
}

TEST(CXmlDoc, EditsShiftLaterElementsAndEnclosingLengths) {
  CXmlDoc doc(u"<r><g><a>1</a><b x=\"1\">2</b></g><h><c>3</c></h></r>");
  ASSERT_TRUE(doc.Find(u"/r/g/a"));
  ASSERT_TRUE(doc.SetValue(u"one hundred"));
  ASSERT_TRUE(doc.Find(u"/r/g/b"));
  ASSERT_TRUE(doc.SetAttr(u"x", u"a much longer value"));
  ASSERT_TRUE(doc.SetAttr(u"y", u"new"));
  ASSERT_TRUE(doc.Find(u"/r/g/a"));
  ASSERT_TRUE(doc.SetValue(u""));
  ASSERT_TRUE(doc.CheckIndex());
  EXPECT_EQ(ValueAt(doc, u"/r/g/b"), u"2");
  EXPECT_EQ(doc.GetAttr(u"y"), u"new");
  EXPECT_EQ(ValueAt(doc, u"/r/h/c"), u"3");
  ASSERT_TRUE(doc.Find(u"/r/g"));
  EXPECT_EQ(doc.GetInner(), u"<a></a><b x=\"a much longer value\" y=\"new\">2</b>");
  ASSERT_TRUE(doc.Find(u"/r"));
  EXPECT_EQ(doc.GetInner().size() + 7, doc.GetText().size());
}

// ---- Append, fragments, Remove ---------------------------------------------

TEST(CXmlDoc, AppendIntoEmptyParentRewritesIt) {
  CXmlDoc doc;
  doc.Parse(u"");
  doc.Append(u"FUNCTION");
  doc.Enter();
  doc.Append(u"Head");
  EXPECT_EQ(doc.GetText(), CrLfLines({"<FUNCTION>", "<Head/>", "</FUNCTION>"}));
  EXPECT_TRUE(doc.CheckIndex());
}

TEST(CXmlDoc, AppendBuildsOneElementPerLine) {
  CXmlDoc doc = BuildCallEnvelope();
  EXPECT_EQ(doc.GetText(), CrLfLines({"<FUNCTION>", "<Head>", "<MainID>1</MainID>", "<SubID>2</SubID>",
                                      "</Head>", "<Param/>", "</FUNCTION>"}));
  EXPECT_TRUE(doc.CheckIndex());
  EXPECT_EQ(ValueAt(doc, u"/FUNCTION/Head/SubID"), u"2");
  CXmlDoc reread(doc.GetText());
  EXPECT_EQ(ValueAt(reread, u"/FUNCTION/Head/MainID"), u"1");
}

TEST(CXmlDoc, AppendPlacement) {
  struct Case {
    const char* text;
    const char* path;  // current element, or its parent with "/." appended
    const char* after;
  };
  const Case cases[] = {
      // after the current element and its line break
      {"<r>\r\n<a/>\r\n<c/>\r\n</r>", "/r/a", "<r>\r\n<a/>\r\n<n/>\r\n<c/>\r\n</r>"},
      // text follows: directly after the element
      {"<r><a/>tail</r>", "/r/a", "<r><a/><n/>\r\ntail</r>"},
      // current 0: at the end of the parent's content
      {"<r><a/></r>", "/r/.", "<r><a/><n/>\r\n</r>"},
      {"<r>text</r>", "/r/.", "<r>text<n/>\r\n</r>"},
      // an unended parent gets an end tag
      {"<r><p></r>", "/r/p/.", "<r><p>\r\n<n/>\r\n</p></r>"},
  };
  for (const Case& c : cases) {
    CXmlDoc doc(U16(c.text));
    std::string path = c.path;
    bool enter = path.size() > 2 && path.substr(path.size() - 2) == "/.";
    if (enter) path.resize(path.size() - 2);
    ASSERT_TRUE(doc.Find(U16(path))) << c.text;
    if (enter) {
      ASSERT_TRUE(doc.Enter());
    }
    EXPECT_TRUE(doc.Append(u"n"));
    EXPECT_EQ(U8(doc.GetText()), c.after) << c.text;
    EXPECT_EQ(doc.CurrentName(), u"n");
    EXPECT_TRUE(doc.CheckIndex()) << c.text;
  }
}

TEST(CXmlDoc, AppendOfEmptyNameIsRefused) {
  CXmlDoc doc;
  EXPECT_FALSE(doc.Append(u""));
  EXPECT_TRUE(doc.GetText().empty());
}

TEST(CXmlDoc, InsertFragmentPutsElementOnItsOwnLineBeforeCurrent) {
  CXmlDoc doc(CrLfLines({"<FUNCTION>", "<ErrString>ok</ErrString>", "</FUNCTION>"}));
  ASSERT_TRUE(doc.Find(u"/FUNCTION/ErrString"));
  EXPECT_TRUE(doc.InsertFragment(u"<X>1</X>"));
  EXPECT_EQ(doc.GetText(), CrLfLines({"<FUNCTION>", "<X>1</X>", "<ErrString>ok</ErrString>", "</FUNCTION>"}));
  EXPECT_EQ(doc.CurrentName(), u"X");
  EXPECT_EQ(ValueAt(doc, u"/FUNCTION/ErrString"), u"ok");
  EXPECT_TRUE(doc.CheckIndex());
}

TEST(CXmlDoc, ReplyBodyOfSeveralElementsGoesBeforeErrString) {
  CXmlDoc doc;
  doc.Append(u"FUNCTION");
  doc.Enter();
  doc.Append(u"ErrCode", 0);
  doc.Append(u"ErrString", u"成功");
  EXPECT_FALSE(doc.InsertFragment(u"<List><W>1</W></List>\r\n<Total>1</Total>"));
  EXPECT_EQ(doc.CurrentName(), u"List");
  EXPECT_EQ(U8(doc.GetText()), U8(CrLfLines({"<FUNCTION>", "<ErrCode>0</ErrCode>", "<List><W>1</W></List>",
                                              "<Total>1</Total>", "<ErrString>成功</ErrString>",
                                              "</FUNCTION>"})));
  EXPECT_TRUE(doc.CheckIndex());
  EXPECT_TRUE(doc.Find(u"Total"));
  EXPECT_EQ(ValueAt(doc, u"/FUNCTION/List/W"), u"1");
  EXPECT_EQ(U8(ValueAt(doc, u"/FUNCTION/ErrString")), "成功");
}

TEST(CXmlDoc, FragmentResults) {
  struct Case {
    const char* fragment;
    bool append;
    bool result;
    const char* text;
    const char* current;
  };
  const Case cases[] = {
      {"<X>1</X>", true, true, "<r>\r\n<a/>\r\n<X>1</X>\r\n</r>", "X"},
      {"<?xml version=\"1.0\"?>\r\n<X/>\r\n", true, true, "<r>\r\n<a/>\r\n<X/>\r\n</r>", "X"},
      {"<X/><Y/>", true, false, "<r>\r\n<a/>\r\n<X/><Y/>\r\n</r>", "X"},
      {"<X><Y></X>", true, false, "<r>\r\n<a/>\r\n<X><Y></X></r>", "X"},
      {"text only", true, false, "<r>\r\n<a/>\r\ntext only</r>", "a"},
      {"<X>1</X>", false, true, "<r>\r\n<X>1</X>\r\n<a/>\r\n</r>", "X"},
      {"<X", false, false, "<r>\r\n<X<a/>\r\n</r>", "a"},
  };
  for (const Case& c : cases) {
    CXmlDoc doc(u"<r>\r\n<a/>\r\n</r>");
    ASSERT_TRUE(doc.Find(u"/r/a"));
    bool result = c.append ? doc.AppendFragment(U16(c.fragment)) : doc.InsertFragment(U16(c.fragment));
    EXPECT_EQ(result, c.result) << c.fragment;
    EXPECT_EQ(U8(doc.GetText()), c.text) << c.fragment;
    EXPECT_EQ(U8(doc.CurrentName()), c.current) << c.fragment;
    EXPECT_TRUE(doc.CheckIndex()) << c.fragment;
  }
}

TEST(CXmlDoc, FragmentsAtTheStartAndEndOfTheParent) {
  CXmlDoc doc(u"<r>\r\n<a/>\r\n</r>");
  ASSERT_TRUE(doc.Find(u"/r"));
  ASSERT_TRUE(doc.Enter());
  EXPECT_TRUE(doc.InsertFragment(u"<first/>"));
  doc.RewindSiblings();
  EXPECT_TRUE(doc.AppendFragment(u"<last><x>1</x></last>"));
  EXPECT_EQ(doc.GetText(), u"<r>\r\n<first/>\r\n<a/>\r\n<last><x>1</x></last>\r\n</r>");
  EXPECT_TRUE(doc.CheckIndex());
  EXPECT_EQ(ValueAt(doc, u"/r/last/x"), u"1");
  ASSERT_TRUE(doc.Find(u"/r/first"));
  EXPECT_TRUE(doc.Enter());
  EXPECT_TRUE(doc.AppendFragment(u"<in/>"));
  EXPECT_EQ(doc.GetText(), u"<r>\r\n<first>\r\n<in/>\r\n</first>\r\n<a/>\r\n<last><x>1</x></last>\r\n</r>");
  EXPECT_TRUE(doc.CheckIndex());
}

TEST(CXmlDoc, RemoveTakesTheFollowingWhitespace) {
  CXmlDoc doc(CrLfLines({"<r>", "<a/>", "<b><c/></b>", "<d/>", "</r>"}));
  ASSERT_TRUE(doc.Find(u"/r/b"));
  EXPECT_TRUE(doc.Remove());
  EXPECT_EQ(doc.GetText(), CrLfLines({"<r>", "<a/>", "<d/>", "</r>"}));
  EXPECT_EQ(doc.CurrentName(), u"a");
  EXPECT_TRUE(doc.Remove());
  EXPECT_EQ(doc.CurrentPos(), 0);  // the first sibling had no previous one
  EXPECT_FALSE(doc.Remove());
  EXPECT_EQ(doc.GetText(), CrLfLines({"<r>", "<d/>", "</r>"}));
  EXPECT_TRUE(doc.CheckIndex());
  EXPECT_TRUE(doc.Find(u"d"));
}

TEST(CXmlDoc, RemovedElementNumbersAreReused) {
  CXmlDoc doc(u"<r><a><x/><y/></a><b/></r>");
  ASSERT_TRUE(doc.Find(u"/r/a"));
  int a = doc.CurrentPos();
  ASSERT_TRUE(doc.Find(u"/r/a/x"));
  int x = doc.CurrentPos();
  ASSERT_TRUE(doc.Find(u"/r/a"));
  ASSERT_TRUE(doc.Remove());
  std::vector<int> reused;
  for (int i = 0; i < 3; ++i) {
    ASSERT_TRUE(doc.Append(u"n"));
    reused.push_back(doc.CurrentPos());
  }
  EXPECT_NE(std::find(reused.begin(), reused.end(), a), reused.end());
  EXPECT_NE(std::find(reused.begin(), reused.end(), x), reused.end());
  ASSERT_TRUE(doc.Append(u"fresh"));
  EXPECT_EQ(doc.CurrentPos(), 6);  // the free numbers are used up first
  EXPECT_TRUE(doc.CheckIndex());
  EXPECT_TRUE(doc.Find(u"/r/b"));
}

TEST(CXmlDoc, BigDocumentsGrowTheIndexAcrossSegments) {
  std::u16string text = u"<r>";
  for (int i = 0; i < 150000; ++i) text += u"<i/>";
  text += u"</r>";
  CXmlDoc doc;
  ASSERT_TRUE(doc.Parse(text));
  ASSERT_TRUE(doc.Find(u"/r"));
  ASSERT_TRUE(doc.Enter());
  int count = 0;
  while (doc.Find(u"i")) ++count;
  EXPECT_EQ(count, 150000);
  ASSERT_TRUE(doc.Append(u"last"));
  EXPECT_TRUE(doc.CheckIndex());
}

TEST(CXmlDoc, OperationsWithoutADocumentFailCleanly) {
  CXmlDoc doc;
  EXPECT_FALSE(doc.Find(u"a"));
  EXPECT_FALSE(doc.Enter());
  EXPECT_FALSE(doc.Leave());
  EXPECT_EQ(doc.GetValue(), u"");
  EXPECT_EQ(doc.GetAttr(u"a"), u"");
  EXPECT_EQ(doc.GetInner(), u"");
  EXPECT_EQ(doc.CurrentName(), u"");
  EXPECT_FALSE(doc.SetValue(u"v"));
  EXPECT_FALSE(doc.SetAttr(u"a", u"v"));
  EXPECT_FALSE(doc.Remove());
  EXPECT_FALSE(doc.AppendFragment(u""));
  EXPECT_TRUE(doc.CheckIndex());
}

TEST(CXmlDoc, MovedFromDocumentStaysUsable) {
  CXmlDoc source(u"<a><b>1</b></a>");
  ASSERT_TRUE(source.Find(u"/a/b"));
  CXmlDoc moved(std::move(source));
  EXPECT_EQ(moved.GetValue(), u"1");
  EXPECT_FALSE(source.Find(u"/a"));  // NOLINT(bugprone-use-after-move): defined as empty
  EXPECT_TRUE(source.CheckIndex());
  EXPECT_TRUE(source.Append(u"x"));
  EXPECT_EQ(source.GetText(), u"<x/>\r\n");
  CXmlDoc assigned;
  assigned = std::move(moved);
  EXPECT_EQ(ValueAt(assigned, u"/a/b"), u"1");
  EXPECT_TRUE(moved.GetText().empty());  // NOLINT(bugprone-use-after-move)
}

TEST(CXmlDoc, ParseOfItsOwnText) {
  CXmlDoc doc(u"<a>1</a>");
  EXPECT_TRUE(doc.Parse(doc.GetText()));
  EXPECT_EQ(ValueAt(doc, u"/a"), u"1");
}

}  // namespace
