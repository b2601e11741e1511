// Printing through a real CUPS scheduler (private to this test program) onto
// a cups-pdf queue: filled forms arrive as PDF files carrying their texts,
// the default destination is used when no printer is named, and every way a
// job can fail to reach the printer reports false.
#include <gtest/gtest.h>

#include <memory>

#include "CGridTable.h"
#include "CupsServer.h"
#include "GridFill.h"
#include "GridTestSupport.h"

namespace {

using namespace std::chrono_literals;
using Values = std::vector<std::pair<std::u16string, std::u16string>>;

constexpr auto kJobDone = 60s;  // generous: CI machines may be slow to start filters

class CupsPrint : public ::testing::Test {
protected:
  static void SetUpTestSuite() {
    if (::geteuid() != 0) return;
    s_server = std::make_unique<CupsServer>();
    if (!s_server->Start(s_startError)) s_server.reset();
  }
  static void TearDownTestSuite() { s_server.reset(); }

  void SetUp() override {
    if (::geteuid() != 0) GTEST_SKIP() << "the private cupsd needs root (cups-pdf reads /etc/cups)";
    ASSERT_TRUE(s_server) << s_startError;
  }

  static bool Fill(CGridTable& grid, const char* file, const Values& values) {
    if (!grid.OpenFile((GridTest::TemplateDir() / file).string())) return false;
    for (const auto& [keyword, value] : values) {
      if (!GridFill::FillPlaceholder(grid, keyword, value, 9)) return false;
    }
    return true;
  }

  static std::string AwaitPdfText(int jobId) {
    std::string pdf;
    bool done =
        GridTest::waitFor([&] { return !(pdf = s_server->FinishedPdf(jobId)).empty(); }, kJobDone);
    EXPECT_TRUE(done) << "no PDF for job " << jobId << "; waiting: " << s_server->WaitingJobs();
    return done ? GridTest::PdfText(pdf) : std::string();
  }

  static std::unique_ptr<CupsServer> s_server;
  static std::string s_startError;
};

std::unique_ptr<CupsServer> CupsPrint::s_server;
std::string CupsPrint::s_startError;

// Runs a command against the scheduler now and its opposite when the test ends.
class QueueChange {
public:
  QueueChange(const CupsServer& server, const std::string& apply, const std::string& undo)
      : m_server(server), m_undo(undo) {
    m_server.Lp(apply + " " + CupsServer::kQueue);
  }
  ~QueueChange() { m_server.Lp(m_undo + " " + CupsServer::kQueue); }
  QueueChange(const QueueChange&) = delete;
  QueueChange& operator=(const QueueChange&) = delete;

private:
  const CupsServer& m_server;
  std::string m_undo;
};

struct FormCase {
  const char* name;
  const char* file;
  Values values;
  const char16_t* header;  // nullptr: no list
  std::vector<GridFill::Line> lines;
  int secondCol;
  std::vector<std::string> expected;  // texts the document sent to CUPS must hold
  // Texts the printer's PDF must hold. The queue's filters (pdftocairo, then
  // Ghostscript in cups-pdf) lose the text mapping of some digits, so the
  // printed page is checked for words and the full check reads the document
  // CUPS accepted.
  std::vector<std::string> printed;
};

const FormCase kForms[] = {
    {"Receipt58",
     "Xiaopiao58.grid",
     {{u"#time#", u"20240315 14:32:08"},
      {u"#tittle#", u"星际网咖"},
      {u"#tail#", u"谢谢惠顾"},
      {u"#siteno#", u"A-023"},
      {u"#total#", u"62.00"},
      {u"#pay#", u"100.00"},
      {u"#odd#", u"38.00"}},
     u"商品名称",
     {{u"拿铁咖啡", u"2", u"44.00"}, {u"Americano", u"1", u"18.00"}},
     0,
     {"星际网咖", "20240315 14:32:08", "A-023", "商品名称", "拿铁咖啡", "Americano", "44.00",
      "62.00", "100.00", "38.00", "谢谢惠顾"},
     {"星际网咖", "商品名称", "拿铁咖啡", "Americano", "合计", "谢谢惠顾"}},
    {"Label",
     "BuGanJiao.grid",
     {{u"#netbarname#", u"Star Cafe"},
      {u"#time#", u"14:32:08"},
      {u"#orderid#", u"1024(2/3)"},
      {u"#warename#", u"拿铁(少冰)"},
      {u"#siteno#", u"A-023"},
      {u"#price#", u"22.00"}},
     nullptr,
     {},
     0,
     {"Star Cafe", "14:32:08", "1024(2/3)", "拿铁(少冰)", "A-023", "22.00"},
     {"Star Cafe", "拿铁", "少冰", "座位"}},
    {"WareCheckA4",
     "WareCheckA4.grid",
     {{u"#netbarname#", u"Star Cafe"},
      {u"#barname#", u"Bar One"},
      {u"#time#", u"2024-03-15 22:05:41"},
      {u"#sectiontype#", u"Night"}},
     u"商品名称",
     {{u"可口可乐", u"12"}, {u"Sprite", u"7"}, {u"Red Bull", u"30"}},
     4,
     {"商品盘点表", "Star Cafe", "Bar One", "2024-03-15 22:05:41", "Night", "可口可乐", "Sprite",
      "Red Bull", "30"},
     {"商品盘点表", "Star Cafe", "Bar One", "Night", "可口可乐", "Sprite", "Red Bull"}},
};

void PrintTo(const FormCase& test, std::ostream* out) { *out << test.name; }

class CupsPrintForm : public CupsPrint, public ::testing::WithParamInterface<FormCase> {};

TEST_P(CupsPrintForm, ArrivesAsPdfWithItsTexts) {
  const FormCase& form = GetParam();
  CGridTable grid;
  ASSERT_TRUE(Fill(grid, form.file, form.values)) << grid.GetLastError();
  if (form.header && form.secondCol) {
    ASSERT_TRUE(GridFill::FillPairs(grid, form.header, form.lines, form.secondCol, 44, 49, 9));
  } else if (form.header) {
    ASSERT_TRUE(GridFill::FillRows(grid, form.header, form.lines, 0, 9));
  }
  grid.SetPrinterName(u"TilloraTest");
  ASSERT_TRUE(grid.Print()) << grid.GetLastError();
  ASSERT_GT(grid.GetLastJobId(), 0);
  std::string printed = AwaitPdfText(grid.GetLastJobId());
  for (const std::string& expected : form.printed) {
    EXPECT_NE(printed.find(expected), std::string::npos) << expected << "\n--- printed ---\n"
                                                         << printed;
  }
  std::string sent = GridTest::PdfText(s_server->SubmittedDocument(grid.GetLastJobId()));
  for (const std::string& expected : form.expected) {
    EXPECT_NE(sent.find(expected), std::string::npos) << expected << "\n--- sent ---\n" << sent;
  }
}

INSTANTIATE_TEST_SUITE_P(Forms, CupsPrintForm, ::testing::ValuesIn(kForms),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(CupsPrint, EmptyPrinterNameUsesTheDefaultDestination) {
  CGridTable grid;
  ASSERT_TRUE(Fill(grid, "BuGanJiao.grid", {{u"#warename#", u"Default Queue Tea"}}));
  ASSERT_EQ(grid.GetPrinterName(), u"");
  ASSERT_TRUE(grid.Print()) << grid.GetLastError();
  EXPECT_NE(AwaitPdfText(grid.GetLastJobId()).find("Default Queue Tea"), std::string::npos);
}

TEST_F(CupsPrint, UnknownPrinterFails) {
  CGridTable grid;
  ASSERT_TRUE(Fill(grid, "BuGanJiao.grid", {}));
  grid.SetPrinterName(u"NoSuchPrinter");
  EXPECT_FALSE(grid.Print());
  EXPECT_EQ(grid.GetLastJobId(), 0);
  EXPECT_NE(grid.GetLastError().find("NoSuchPrinter"), std::string::npos) << grid.GetLastError();
}

TEST_F(CupsPrint, QueueRejectingJobsFails) {
  QueueChange rejecting(*s_server, "cupsreject", "cupsaccept");
  CGridTable grid;
  ASSERT_TRUE(Fill(grid, "BuGanJiao.grid", {}));
  grid.SetPrinterName(u"TilloraTest");
  EXPECT_FALSE(grid.Print());
  EXPECT_EQ(grid.GetLastJobId(), 0);
  EXPECT_NE(grid.GetLastError().find("refused"), std::string::npos) << grid.GetLastError();
}

// A stopped queue accepts jobs but never starts them: the print must give up
// after its timeout, and cancel the job so that it cannot come out later.
TEST_F(CupsPrint, JobNotTakenInTimeFailsAndIsCancelled) {
  QueueChange stopped(*s_server, "cupsdisable", "cupsenable");
  CGridTable grid;
  ASSERT_TRUE(Fill(grid, "BuGanJiao.grid", {}));
  grid.SetPrinterName(u"TilloraTest");
  grid.SetPrintTimeout(1500ms);
  EXPECT_FALSE(grid.Print());
  EXPECT_GT(grid.GetLastJobId(), 0);
  EXPECT_NE(grid.GetLastError().find("in time"), std::string::npos) << grid.GetLastError();
  EXPECT_EQ(s_server->WaitingJobs(), "");
  std::string id =
      std::string(CupsServer::kQueue) + "-" + std::to_string(grid.GetLastJobId()) + " ";
  EXPECT_NE(s_server->Lp("lpstat -W completed -o").find(id), std::string::npos)
      << "the cancelled job should be listed among the finished ones";
}

}  // namespace
