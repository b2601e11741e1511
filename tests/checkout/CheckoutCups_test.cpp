// Checkout printing through the whole path: the worker hands its jobs to the
// host thread, the device manager fills the shipped templates on the grid,
// and a private CUPS scheduler (tests/grid/cups_fixture.sh) prints them on a
// cups-pdf queue. The PDFs' text holds the filled placeholders and the lines.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

#include "checkout/CheckoutFixture.h"
#include "devices/CDevMgr.h"
#include "grid/CupsServer.h"
#include "service/CServiceManager.h"
#include "store/sqlite3x.h"

namespace {

using namespace std::chrono_literals;

constexpr auto kJobDone = 60s;  // filters may be slow to start on a busy machine

class CheckoutCups : public CheckoutTest {
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
    CheckoutTest::SetUp();
  }

  CDevMgr& Devices() { return *CServiceManager::GetInstance().GetDevMgr(); }

  // The text of the document CUPS accepted for job `jobId`, once cups-pdf has
  // printed it. The printed PDF must exist, but its text is not read back:
  // cups-pdf's re-rendering loses the character map of some digits of the
  // regular face, while the accepted document keeps every character.
  std::string PrintedText(int jobId) {
    std::string pdf;
    const bool done =
        GridTest::waitFor([&] { return !(pdf = s_server->FinishedPdf(jobId)).empty(); }, kJobDone);
    EXPECT_TRUE(done) << "no PDF for job " << jobId << "; waiting: " << s_server->WaitingJobs();
    if (!done) return {};
    EXPECT_NE(GridTest::PdfText(pdf).find("星海网吧"), std::string::npos) << pdf;
    return GridTest::PdfText(s_server->SubmittedDocument(jobId));
  }

  // Jobs the scheduler has taken so far, finished or not.
  static int JobCount() {
    const std::string listing = s_server->Lp("lpstat -W all -o " + std::string(CupsServer::kQueue));
    return static_cast<int>(std::count(listing.begin(), listing.end(), '\n'));
  }

  static std::unique_ptr<CupsServer> s_server;
  static std::string s_startError;
};

std::unique_ptr<CupsServer> CheckoutCups::s_server;
std::string CheckoutCups::s_startError;

// The text with every run of white space made one blank, so a grid row
// reads as its cells in order.
std::string Flattened(const std::string& text) {
  std::string flat;
  bool blank = false;
  for (char c : text) {
    const bool space = c == ' ' || c == '\n' || c == '\r' || c == '\t' || c == '\f';
    if (space && !blank && !flat.empty()) flat += ' ';
    if (!space) flat += c;
    blank = space;
  }
  return flat;
}

void ExpectAll(const std::string& text, std::initializer_list<const char*> parts) {
  const std::string flat = Flattened(text);
  for (const char* part : parts)
    EXPECT_NE(flat.find(part), std::string::npos) << part << "\n" << flat;
  EXPECT_EQ(flat.find('#'), std::string::npos) << "a placeholder was left:\n" << flat;
}

// The document's own example: two units of one ware and one made-to-order
// unit, sold when the counter stands at 6.
TEST_F(CheckoutCups, AReceiptAndALabelArriveAsPdfsWithTheirTexts) {
  {
    sqlite3x::connection raw;
    raw.open(StorePath());
    raw.execute("update tbGlobal set curWareSalesId=6 where ID=0");
  }
  EnableReceipts("58mm热敏纸", CupsServer::kQueue);
  EnableLabels(CupsServer::kQueue);
  const std::u16string payload =
      Checkout(CheckoutParam({{Ware::kCola, 2, "4.00", ""}, {Ware::kMilkTea, 1, "6.00", "少糖"}},
                             "A12", "14.00", "20.00", "6.00"));
  EXPECT_EQ(OpRet(payload), 1);
  EXPECT_EQ(StoredSales(), (Strings{"7(1/3)", "7(2/3)", "7(3/3)"}));
  ASSERT_EQ(printHost.Labels().size(), 1u);
  ASSERT_EQ(printHost.Receipts().size(), 1u);

  // The host prints the label first, then the receipt: consecutive jobs.
  const int receiptJob = Devices().LastPrintJobId();
  ASSERT_GT(receiptJob, 1);
  const std::string label = PrintedText(receiptJob - 1);
  const std::string time = U8(printHost.Labels()[0].label->time);
  ExpectAll(label, {"星海网吧", "单号：7(1/1)", time.c_str(), "奶茶(少糖)", "座位：A12 ¥6.00"});
  const std::string receipt = PrintedText(receiptJob);
  const std::string stamp = "时间：" + U8(printHost.Receipts()[0].receipt->time);
  ExpectAll(receipt, {"星海网吧欢迎您", "座位号：A12", stamp.c_str(), "可乐 2 8.00", "奶茶 1 6.00",
                      "合计 14.00", "实收 20.00", "找零 6.00", "谢谢惠顾"});
}

// Every print succeeds here, so every label and copy is printed: labels
// numbered among the made-to-order units, and `Number` receipts on 80 mm.
TEST_F(CheckoutCups, EveryMadeToOrderUnitGetsItsLabelAndTheReceiptItsCopies) {
  EnableReceipts("80mm热敏纸", CupsServer::kQueue, "2");
  EnableLabels(CupsServer::kQueue);
  const int before = JobCount();
  EXPECT_EQ(OpRet(Checkout(CheckoutParam({{Ware::kMilkTea, 2, "6.00", "少糖"},
                                          {Ware::kCola, 1, "3.50", ""},
                                          {Ware::kFriedRice, 1, "12.00", "加辣"}}))),
            1);
  Strings labels;
  for (const PostedJob& job : printHost.Labels()) {
    labels.push_back(U8(job.label->orderId) + " " + U8(job.label->wareName) + " " +
                     U8(job.label->price));
  }
  EXPECT_EQ(labels, (Strings{"1(1/3) 奶茶(少糖) ¥6.00", "1(2/3) 奶茶(少糖) ¥6.00",
                             "1(3/3) 炒饭(加辣) ¥12.00"}));
  const std::vector<PostedJob> receipts = printHost.Receipts();
  ASSERT_EQ(receipts.size(), 2u);
  for (const PostedJob& job : receipts) EXPECT_EQ(job.kind, PrintKind::kReceipt80);
  EXPECT_EQ(JobCount() - before, 5) << "three labels and two receipts reached CUPS";
}

// A queue the scheduler does not have: CUPS refuses the receipt, the sale
// stays stored and the page hears success.
TEST_F(CheckoutCups, AReceiptForAnUnknownQueueFailsButTheSaleIsStored) {
  EnableReceipts("58mm热敏纸", "NoSuchQueue", "2");
  EXPECT_EQ(OpRet(Checkout(CheckoutParam({{Ware::kCola, 1, "3.50", ""}}))), 1);
  EXPECT_EQ(StoredSales(), (Strings{"1(1/1)"}));
  EXPECT_EQ(printHost.Receipts().size(), 1u) << "no second copy for a printer that failed";
}

}  // namespace
