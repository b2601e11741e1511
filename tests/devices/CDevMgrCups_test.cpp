// Printing through the whole path: a worker posts the job, the host thread
// runs the print routine, the grid renders it and a private CUPS scheduler
// (tests/grid/cups_fixture.sh) prints it on a cups-pdf queue. The PDF's text
// holds the filled placeholders and the list rows. The printer listing reads
// the same scheduler.
#include <gtest/gtest.h>

#include <future>
#include <memory>

#include "DevicesFixture.h"
#include "SocatPair.h"
#include "grid/CupsServer.h"
#include "support/CXmlDoc.h"

namespace {

using namespace std::chrono_literals;

constexpr auto kJobDone = 60s;  // filters may be slow to start on a busy machine

class CDevMgrCups : public DevicesTest {
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
    DevicesTest::SetUp();
  }

  // Posts from a worker thread, as the operations do; the job's result.
  template <typename Post>
  bool FromWorker(Post post) {
    std::future<bool> result = std::async(std::launch::async, post);
    if (result.wait_for(kJobDone) != std::future_status::ready) return false;
    return result.get();
  }

  struct Printed {
    std::string sent;     // the document CUPS accepted
    std::string printed;  // what came out of the cups-pdf queue
  };

  // The queue's filters lose the text mapping of some digits, so the page
  // that came out is checked for words and the accepted document for all.
  Printed PrintedText() {
    const int jobId = Devices().LastPrintJobId();
    std::string pdf;
    const bool done =
        GridTest::waitFor([&] { return !(pdf = s_server->FinishedPdf(jobId)).empty(); }, kJobDone);
    EXPECT_TRUE(done) << "no PDF for job " << jobId << "; waiting: " << s_server->WaitingJobs();
    if (!done) return {};
    return {GridTest::PdfText(s_server->SubmittedDocument(jobId)), GridTest::PdfText(pdf)};
  }

  static std::unique_ptr<CupsServer> s_server;
  static std::string s_startError;
};

std::unique_ptr<CupsServer> CDevMgrCups::s_server;
std::string CDevMgrCups::s_startError;

void ExpectAll(const std::string& text, std::initializer_list<const char*> parts) {
  for (const char* part : parts) EXPECT_NE(text.find(part), std::string::npos) << part << "\n" << text;
  EXPECT_EQ(text.find('#'), std::string::npos) << "a placeholder was left:\n" << text;
}

TEST_F(CDevMgrCups, ReceiptArrivesWithItsPlaceholdersAndLines) {
  ReceiptJob job;
  job.printer = U16(CupsServer::kQueue);
  job.templatePath = TemplatePath("Xiaopiao58.grid");
  job.fontSize = 9;
  job.time = u"2024-05-06 07:08:09";
  job.title = u"星海网吧";
  job.tail = u"欢迎再次光临";
  job.siteNo = u"A12";
  job.total = u"12.00";
  job.pay = u"20.00";
  job.odd = u"8.00";
  job.lines = {{u"可乐", u"3.50", u"2", u"7.00"}, {u"泡面", u"5.00", u"1", u"5.00"}};
  ASSERT_TRUE(FromWorker([&] { return Devices().PostReceipt(job, PrintKind::kReceipt58); }));
  const Printed out = PrintedText();
  ExpectAll(out.sent, {"星海网吧", "欢迎再次光临", "A12", "12.00", "20.00", "8.00",
                       "2024-05-06 07:08:09", "可乐", "7.00", "泡面", "5.00"});
  ExpectAll(out.printed, {"星海网吧", "欢迎再次光临", "可乐", "泡面", "合计"});
  EXPECT_EQ(U8(Devices().GridPrinterName()), "") << "the receipt's printer stayed selected";
}

TEST_F(CDevMgrCups, LabelPrintsOnTheDefaultPrinterWhenNoneIsNamed) {
  LabelJob job;
  job.templatePath = TemplatePath("BuGanJiao.grid");
  job.fontSize = 10;
  job.netbarName = u"星海网吧";
  job.time = u"07:08:09";
  job.orderId = u"17(2/3)";
  job.wareName = u"奶茶(少糖)";
  job.siteNo = u"B07";
  job.price = u"¥6.00";
  ASSERT_TRUE(FromWorker([&] { return Devices().PostLabel(job); }));
  const Printed out = PrintedText();
  ExpectAll(out.sent, {"星海网吧", "07:08:09", "17(2/3)", "奶茶(少糖)", "B07", "¥6.00"});
  ExpectAll(out.printed, {"星海网吧", "奶茶", "少糖", "座位"});
}

TEST_F(CDevMgrCups, A4CountCheckSheetArrivesWithEveryItem) {
  CheckSheetJob job;
  job.printer = U16(CupsServer::kQueue);
  job.templatePath = TemplatePath("WareCheckA4.grid");
  job.fontSize = 9;
  job.netbarName = u"星海网吧";
  job.barName = u"一楼吧台";
  job.time = u"2024-05-06 07:08:09";
  job.sectionType = u"早班";
  for (int i = 1; i <= 90; ++i) {
    job.items.push_back({U16("商品" + std::to_string(i)), U16(std::to_string(1000 + i))});
  }
  ASSERT_TRUE(FromWorker([&] { return Devices().PostCheckSheet(job, PrintKind::kCheckSheetA4); }));
  const Printed out = PrintedText();
  const std::string& text = out.sent;
  ExpectAll(text, {"星海网吧", "一楼吧台", "早班", "2024-05-06 07:08:09"});
  ExpectAll(out.printed, {"商品盘点表", "星海网吧", "一楼吧台", "早班", "商品"});
  for (int i = 1; i <= 90; ++i) {
    EXPECT_NE(text.find("商品" + std::to_string(i)), std::string::npos) << i;
    EXPECT_NE(text.find(std::to_string(1000 + i)), std::string::npos) << i;
  }
}

TEST_F(CDevMgrCups, PrinterListingNamesTheSchedulersQueues) {
  std::vector<std::u16string> printers;
  ASSERT_TRUE(Devices().ListPrinters(printers));
  ASSERT_EQ(printers.size(), 1u);
  EXPECT_EQ(U8(printers[0]), CupsServer::kQueue);
}

// A queue that never takes the job (stopped): the grid gives up after its
// time-out and the worker hears false, well within the hand-over bound.
TEST_F(CDevMgrCups, JobThePrinterNeverTakesFailsTheWorker) {
  s_server->Lp(std::string("cupsdisable ") + CupsServer::kQueue);
  Devices().SetPrintTimeout(1500ms);
  LabelJob job;
  job.printer = U16(CupsServer::kQueue);
  job.templatePath = TemplatePath("BuGanJiao.grid");
  std::future<bool> result = std::async(std::launch::async, [&] { return Devices().PostLabel(job); });
  const bool ended = result.wait_for(Devices().HandOverTimeout() * 3) == std::future_status::ready;
  s_server->Lp(std::string("cupsenable ") + CupsServer::kQueue);
  ASSERT_TRUE(ended) << "the worker still waits for a job the printer never took";
  EXPECT_FALSE(result.get());
  EXPECT_EQ(s_server->WaitingJobs(), "") << "the job stayed queued and may print late";
}

// Printers first, then ports; a port the barcode monitor holds is listed too.
TEST_F(CDevMgrCups, DeviceListNamesPrintersThenPorts) {
  SocatPair pair(DevicesWorkDir(), "devicelist");
  ASSERT_TRUE(pair.Ready());
  ::setenv("TILLORA_EXTRA_PORTS", pair.Port().c_str(), 1);
  ASSERT_TRUE(SaveSetting("Pos", "com", pair.Port()));
  ASSERT_EQ(OpRet(Call(2, 8)), 1);
  ASSERT_TRUE(GridTest::waitFor([&] { return ProcessHolds(pair.Port()); }, kJobDone));
  const std::u16string reply = Call(2, 2);
  ::unsetenv("TILLORA_EXTRA_PORTS");
  EXPECT_EQ(OpRet(reply), 1);
  CXmlDoc doc(reply);
  ASSERT_TRUE(doc.Find(u"/FUNCTION/ReturnValue/Devicelist"));
  ASSERT_TRUE(doc.Enter());
  std::vector<std::string> printers;
  while (doc.Find(u"Printer")) printers.push_back(U8(doc.GetAttr(u"name")));
  doc.RewindSiblings();
  std::vector<std::string> ports;
  while (doc.Find(u"Com")) ports.push_back(U8(doc.GetAttr(u"name")));
  EXPECT_EQ(printers, std::vector<std::string>{CupsServer::kQueue});
  ASSERT_FALSE(ports.empty());
  EXPECT_EQ(ports.back(), pair.Port());
  EXPECT_LT(reply.rfind(u"<Printer"), reply.find(u"<Com")) << "printers come first";
}

// The command-line driver lists the same devices, one JSON line each.
TEST_F(CDevMgrCups, DriverListsPrintersAndPortsAsJsonLines) {
  SocatPair pair(DevicesWorkDir(), "driver");
  ASSERT_TRUE(pair.Ready());
  const std::string driver = std::string(TILLORA_TEST_BINARY_DIR) + "/bin/pexlunectl";
  const GridTest::CommandResult listed =
      GridTest::Run("TILLORA_EXTRA_PORTS=" + GridTest::Quote(pair.Port()) + " " +
                    GridTest::Quote(driver) + " --workdir " + GridTest::Quote(DevicesWorkDir()) +
                    " --list-devices");
  ASSERT_EQ(listed.exitCode, 0) << listed.output;
  EXPECT_TRUE(listed.output.starts_with(std::string("{\"type\":\"printer\",\"name\":\"") +
                                        CupsServer::kQueue + "\"}\n"))
      << listed.output;
  EXPECT_TRUE(listed.output.ends_with("{\"type\":\"port\",\"name\":\"" + pair.Port() + "\"}\n"))
      << listed.output;
}

}  // namespace
