// The grid template format: what a good file gives, what each kind of broken
// file reports, and that writing and reading again gives the same document.
#include "GridTemplateParser.h"

#include <gtest/gtest.h>

#include <random>

#include "GridTemplateWriter.h"
#include "GridTestSupport.h"

namespace {

using Doc = GridDocument;

const char* kGood = R"(# a comment, then blank lines

tillora-grid 1
paper 80mm
margin 4 2.5
font-size 10
columns 40 12mm 20

row height=8 top=solid bottom=dashed
  cell span=3 align=center bold size=12pt "#tittle#"
row boxed
  cell mono "say \"hi\"\\n"
  cell align=right "2"
row
   cell "line one\nline two\ttab \x01"
)";

TEST(GridTemplateParser, ReadsEveryPartOfAGoodTemplate) {
  GridTemplateParser::Result result = GridTemplateParser::Parse(kGood);
  ASSERT_TRUE(result.ok) << result.message;
  const Doc& doc = result.document;
  EXPECT_EQ(doc.paper, Doc::Paper::Thermal80);
  EXPECT_DOUBLE_EQ(doc.marginXmm, 4);
  EXPECT_DOUBLE_EQ(doc.marginYmm, 2.5);
  EXPECT_FLOAT_EQ(doc.fontSize, 10);
  EXPECT_EQ(doc.columnsMm, (std::vector<double>{40, 12, 20}));
  ASSERT_EQ(doc.rows.size(), 3u);
  const Doc::Row& title = doc.rows[0];
  EXPECT_DOUBLE_EQ(title.heightMm, 8);
  EXPECT_EQ(title.top, Doc::Rule::Solid);
  EXPECT_EQ(title.bottom, Doc::Rule::Dashed);
  ASSERT_EQ(title.cells.size(), 3u);
  EXPECT_EQ(title.cells[0].text, "#tittle#");
  EXPECT_EQ(title.cells[0].span, 3);
  EXPECT_EQ(title.cells[0].align, Doc::Align::Center);
  EXPECT_TRUE(title.cells[0].bold);
  EXPECT_FLOAT_EQ(title.cells[0].fontSize, 12);
  EXPECT_TRUE(doc.IsCovered(0, 1));
  EXPECT_TRUE(doc.IsCovered(0, 2));
  const Doc::Row& second = doc.rows[1];
  EXPECT_TRUE(second.boxed);
  EXPECT_TRUE(second.cells[0].mono);
  EXPECT_EQ(second.cells[0].text, "say \"hi\"\\n");
  EXPECT_EQ(second.cells[1].align, Doc::Align::Right);
  EXPECT_EQ(second.cells[2].text, "");  // not written: empty
  EXPECT_EQ(doc.rows[2].cells[0].text, "line one\nline two\ttab \x01");
}

TEST(GridTemplateParser, AcceptsByteOrderMarkAndWindowsLineEnds) {
  GridTemplateParser::Result result = GridTemplateParser::Parse(
      "\xEF\xBB\xBFtillora-grid 1\r\ncolumns 10\r\nrow\r\n  cell \"商品名称\"\r\n");
  ASSERT_TRUE(result.ok) << result.message;
  EXPECT_EQ(result.document.paper, Doc::Paper::Thermal58);
  EXPECT_EQ(result.document.rows[0].cells[0].text, "商品名称");
}

struct BadCase {
  const char* name;
  std::string text;
  int line;
  const char* message;  // a part of the message
};

std::string Head(const std::string& rest) { return "tillora-grid 1\ncolumns 20 20\n" + rest; }

std::string ManyColumns(int count) {
  std::string text = "tillora-grid 1\ncolumns";
  for (int i = 0; i < count; ++i) text += " 1";
  return text + "\n";
}

const BadCase kBadCases[] = {
    {"Empty", "", 0, "empty template"},
    {"OnlyComments", "# nothing\n\n", 0, "empty template"},
    {"NoMagic", "grid 1\n", 1, "first line must be 'tillora-grid 1'"},
    {"NewerVersion", "tillora-grid 2\n", 1, "unsupported format version"},
    {"NoRows", "tillora-grid 1\ncolumns 10\n", 0, "no rows"},
    {"UnknownKeyword", Head("colour red\n"), 3, "unknown keyword 'colour'"},
    {"UnknownPaper", "tillora-grid 1\npaper 57mm\n", 2, "unknown paper '57mm'"},
    {"PaperTwice", "tillora-grid 1\npaper a4\npaper a4\n", 3, "'paper' given twice"},
    {"PaperAfterRows", Head("row\npaper a4\n"), 4, "must come before the first row"},
    {"RowBeforeColumns", "tillora-grid 1\nrow\n", 2, "'columns' must come before"},
    {"CellBeforeRow", Head("cell \"x\"\n"), 3, "a cell before the first row"},
    {"TooManyCells", Head("row\ncell\ncell\ncell\n"), 6, "more cells than its 2 columns"},
    {"SpanTooWide", Head("row\ncell\ncell span=2\n"), 5, "more cells than its 2 columns"},
    {"SpanZero", Head("row\ncell span=0\n"), 4, "span must be a whole number"},
    {"SpanNotNumber", Head("row\ncell span=two\n"), 4, "span must be a whole number"},
    {"Unterminated", Head("row\ncell \"open\n"), 4, "without its closing quote"},
    {"BadEscape", Head("row\ncell \"a\\qb\"\n"), 4, "unknown escape \\q"},
    {"BadHexEscape", Head("row\ncell \"\\x4\"\n"), 4, "two hex digits"},
    {"QuoteInWord", Head("row\ncell ab\"c\"\n"), 4, "a quote inside"},
    {"TextGluedToWord", Head("row\ncell \"a\"bold\n"), 4, "no space after a quoted text"},
    {"TwoTexts", Head("row\ncell \"a\" \"b\"\n"), 4, "one quoted text"},
    {"TextOnRow", Head("row \"a\"\n"), 3, "a row takes no text"},
    {"LineStartsWithText", Head("\"a\"\n"), 3, "must start with a keyword"},
    {"UnknownRowOption", Head("row colour=red\n"), 3, "unknown row option 'colour=red'"},
    {"UnknownRule", Head("row top=dotted\n"), 3, "unknown row option 'top=dotted'"},
    {"UnknownCellOption", Head("row\ncell italic\n"), 4, "unknown cell option 'italic'"},
    {"UnknownAlign", Head("row\ncell align=middle\n"), 4, "unknown cell option 'align=middle'"},
    {"FontSizeZero", "tillora-grid 1\nfont-size 0\n", 2, "not a font size"},
    {"FontSizeHuge", Head("row\ncell size=200\n"), 4, "not a font size"},
    {"FontSizeNan", Head("row\ncell size=nan\n"), 4, "not a font size"},
    {"FontSizeOverflow", Head("row\ncell size=1e400\n"), 4, "not a font size"},
    {"HeightNegative", Head("row height=-1\n"), 3, "not a length"},
    {"HeightHuge", Head("row height=1000\n"), 3, "not a length"},
    {"HeightWithJunk", Head("row height=5cm\n"), 3, "not a length"},
    {"ColumnZero", "tillora-grid 1\ncolumns 10 0\n", 2, "more than 0"},
    {"ColumnsTooMany", ManyColumns(33), 2, "more than 32 columns"},
    {"ColumnsWiderThanPaper", "tillora-grid 1\ncolumns 30 30\nrow\n", 3,
     "wider than the 58 mm paper"},
    {"MarginsWiderThanPaper", "tillora-grid 1\nmargin 5\ncolumns 50\nrow\n", 4,
     "wider than the 58 mm"},
    {"MarginTooMany", "tillora-grid 1\nmargin 1 2 3\n", 2, "one or two lengths"},
    {"NotUtf8", Head("row\ncell \"\xC3\x28\"\n"), 4, "not UTF-8"},
    {"NotUtf8ByEscape", Head("row\ncell \"\\xff\"\n"), 4, "text is not UTF-8"},
    {"TextTooLong", Head("row\ncell \"" + std::string(4097, 'a') + "\"\n"), 4, "longer than 4096"},
    {"LineTooLong", Head("# " + std::string(20000, 'a') + "\n"), 3, "longer than 16384"},
    {"FileTooLarge", std::string((1 << 20) + 1, '\n'), 0, "larger than 1 MiB"},
};

void PrintTo(const BadCase& test, std::ostream* out) { *out << test.name; }

class GridTemplateParserBad : public ::testing::TestWithParam<BadCase> {};

TEST_P(GridTemplateParserBad, FailsWithLineAndMessage) {
  const BadCase& bad = GetParam();
  GridTemplateParser::Result result = GridTemplateParser::Parse(bad.text);
  EXPECT_FALSE(result.ok);
  EXPECT_EQ(result.line, bad.line) << result.message;
  EXPECT_NE(result.message.find(bad.message), std::string::npos) << result.message;
  if (bad.line > 0) {
    EXPECT_EQ(result.message.rfind("line " + std::to_string(bad.line) + ": ", 0), 0u)
        << result.message;
  }
  EXPECT_TRUE(result.document.rows.empty());
}

INSTANTIATE_TEST_SUITE_P(Cases, GridTemplateParserBad, ::testing::ValuesIn(kBadCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(GridTemplateParser, TooManyRowsFails) {
  std::string text = Head("");
  for (int i = 0; i <= 5000; ++i) text += "row\n";
  GridTemplateParser::Result result = GridTemplateParser::Parse(text);
  EXPECT_FALSE(result.ok);
  EXPECT_EQ(result.line, 5003);
  EXPECT_NE(result.message.find("more than 5000 rows"), std::string::npos);
}

TEST(GridTemplateParser, MissingFileNamesThePath) {
  GridTemplateParser::Result result = GridTemplateParser::ParseFile("/nonexistent/x.grid");
  EXPECT_FALSE(result.ok);
  EXPECT_NE(result.message.find("/nonexistent/x.grid"), std::string::npos);
}

TEST(GridTemplateParser, WrittenDocumentReadsBackTheSame) {
  GridTemplateParser::Result first = GridTemplateParser::Parse(kGood);
  ASSERT_TRUE(first.ok);
  std::string written = GridTemplateWriter::Write(first.document);
  GridTemplateParser::Result second = GridTemplateParser::Parse(written);
  ASSERT_TRUE(second.ok) << second.message << "\n" << written;
  EXPECT_EQ(GridTemplateWriter::Write(second.document), written);
  EXPECT_EQ(second.document.rows[2].cells[0].text, "line one\nline two\ttab \x01");
  EXPECT_EQ(second.document.rows[1].cells[0].text, "say \"hi\"\\n");
}

// Mutated templates (bytes flipped, inserted, removed, lines doubled) must
// give a result, never a crash; what still parses must also write and read
// back unchanged.
TEST(GridTemplateParser, SurvivesMutatedInput) {
  std::mt19937 random(20240315);
  std::string seed = GridTest::ReadFile(GridTest::TemplateDir() / "Xiaopiao58.grid");
  ASSERT_FALSE(seed.empty());
  static const char kAlphabet[] = "\"\\ =#\n\0\xff\xe5xrowcellspan=9height=1e9size=0";
  const std::string alphabet(kAlphabet, sizeof kAlphabet - 1);
  int parsed = 0;
  for (int round = 0; round < 3000; ++round) {
    std::string text = seed;
    int edits = 1 + static_cast<int>(random() % 6);
    for (int e = 0; e < edits && !text.empty(); ++e) {
      std::size_t at = random() % text.size();
      char c = alphabet[random() % alphabet.size()];
      switch (random() % 4) {
        case 0: text[at] = c; break;
        case 1: text.insert(at, 1, c); break;
        case 2: text.erase(at, 1 + random() % 8); break;
        default: text.insert(at, text.substr(at, random() % 64)); break;
      }
    }
    GridTemplateParser::Result result = GridTemplateParser::Parse(text);
    if (!result.ok) {
      EXPECT_FALSE(result.message.empty());
      continue;
    }
    ++parsed;
    std::string written = GridTemplateWriter::Write(result.document);
    GridTemplateParser::Result again = GridTemplateParser::Parse(written);
    ASSERT_TRUE(again.ok) << again.message << "\n--- from ---\n" << text;
    EXPECT_EQ(GridTemplateWriter::Write(again.document), written);
  }
  EXPECT_GT(parsed, 0);
}

}  // namespace
