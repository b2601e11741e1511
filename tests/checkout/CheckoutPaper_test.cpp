// What a checkout hands the printer host: receipts by paper type and the
// settings' switches, order labels only for made-to-order units, the
// receipt's texts, and prints that fail without touching the stored sale.
// No scheduler runs here (the whole path is CheckoutCups_test.cpp): a job
// the host runs fails at CUPS, which is one of the failures the sale must
// survive, and the host shows every job it was handed.
#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <regex>

#include "checkout/CheckoutFixture.h"
#include "devices/CDevMgr.h"
#include "service/CServiceManager.h"

namespace {

using namespace std::chrono_literals;

using CheckoutPaper = CheckoutTest;

const std::vector<BasketRow> kColaAndNoodles = {{Ware::kCola, 2, "4.00", ""},
                                                {Ware::kNoodles, 1, "5.00", ""}};

std::string TemplateName(const std::u16string& path) {
  return std::filesystem::path(U8(path)).filename().string();
}

std::vector<std::string> LineTexts(const ReceiptJob& job) {
  std::vector<std::string> lines;
  for (const ReceiptLine& line : job.lines) {
    lines.push_back(U8(line.name) + "|" + U8(line.price) + "|" + U8(line.count) + "|" +
                    U8(line.amount));
  }
  return lines;
}

TEST_F(CheckoutPaper, ReceiptsFollowThePaperTypeAndOtherPapersPrintNone) {
  struct Case {
    const char* paper;
    std::optional<PrintKind> kind;
    const char* templateName;
  };
  const Case cases[] = {
      {"58mm热敏纸", PrintKind::kReceipt58, "Xiaopiao58.grid"},
      {"80mm热敏纸", PrintKind::kReceipt80, "Xiaopiao80.grid"},
      {"A4纸", std::nullopt, ""},
      {"", std::nullopt, ""},
      {"76mm热敏纸", std::nullopt, ""},
  };
  int stored = 0;
  for (const Case& c : cases) {
    EnableReceipts(c.paper);
    const size_t before = printHost.Receipts().size();
    EXPECT_EQ(OpRet(Checkout(CheckoutParam(kColaAndNoodles))), 1) << c.paper;
    stored += 3;
    EXPECT_EQ(StoredCount(), stored) << c.paper;
    const std::vector<PostedJob> receipts = printHost.Receipts();
    if (!c.kind) {
      EXPECT_EQ(receipts.size(), before) << c.paper;
      continue;
    }
    ASSERT_EQ(receipts.size(), before + 1) << c.paper;
    EXPECT_EQ(receipts.back().kind, *c.kind) << c.paper;
    EXPECT_EQ(TemplateName(receipts.back().receipt->templatePath), c.templateName) << c.paper;
  }
}

TEST_F(CheckoutPaper, ReceiptsNeedBothPrintingAndAutomaticPrinting) {
  struct Case {
    const char* enable;
    const char* autoPrint;
    size_t receipts;
  };
  const Case cases[] = {{"0", "1", 0}, {"1", "0", 0}, {"0", "0", 0}, {"1", "1", 1}};
  for (const Case& c : cases) {
    EnableReceipts("58mm热敏纸");
    SetSettings("XiaoPiaoPrint", {{"Enable", c.enable}, {"AutoPrint", c.autoPrint}});
    const size_t before = printHost.Receipts().size();
    EXPECT_EQ(OpRet(Checkout(CheckoutParam(kColaAndNoodles))), 1);
    EXPECT_EQ(printHost.Receipts().size() - before, c.receipts)
        << "Enable " << c.enable << ", AutoPrint " << c.autoPrint;
  }
}

// The receipt shows what the page showed: its prices and amounts, while the
// stored lines carry the catalogue's.
TEST_F(CheckoutPaper, TheReceiptShowsThePagesPricesAndTheSettingsTexts) {
  EnableReceipts("58mm热敏纸", "KassenDrucker");
  Checkout(CheckoutParam({{Ware::kCola, 2, "4.00", ""},
                          {Ware::kDeleted, 1, "4.00", ""},
                          {Ware::kMilkTea, 1, "6", "少糖"}},
                         "A12", "14", "20.5", "6.499"));
  EXPECT_EQ(StoredSales("wareName, price"), (Strings{"可乐|3.5", "可乐|3.5", "奶茶|6.0"}));
  const std::vector<PostedJob> receipts = printHost.Receipts();
  ASSERT_EQ(receipts.size(), 1u);
  const ReceiptJob& job = *receipts[0].receipt;
  EXPECT_EQ(LineTexts(job), (std::vector<std::string>{"可乐|4.00|2|8.00", "奶茶|6.00|1|6.00"}));
  EXPECT_EQ(U8(job.title), "星海网吧欢迎您");
  EXPECT_EQ(U8(job.tail), "谢谢惠顾");
  EXPECT_EQ(U8(job.siteNo), "A12");
  EXPECT_EQ(U8(job.total), "14.00");
  EXPECT_EQ(U8(job.pay), "20.50");
  EXPECT_EQ(U8(job.odd), "6.50");
  EXPECT_EQ(U8(job.printer), "KassenDrucker");
  EXPECT_EQ(job.fontSize, 9u);
  EXPECT_TRUE(std::regex_match(U8(job.time), std::regex(R"(\d{8} \d\d:\d\d:\d\d)")))
      << U8(job.time);
}

TEST_F(CheckoutPaper, LabelsOnlyForMadeToOrderUnitsWhenEnabled) {
  struct Case {
    const char* name;
    bool enabled;
    std::vector<BasketRow> rows;
    size_t labels;
  };
  const Case cases[] = {
      {"no made-to-order ware", true, kColaAndNoodles, 0},
      {"labels switched off", false, {{Ware::kMilkTea, 1, "6.00", ""}}, 0},
      {"one made-to-order unit",
       true,
       {{Ware::kCola, 1, "3.50", ""}, {Ware::kMilkTea, 1, "6.00", ""}},
       1},
  };
  for (const Case& c : cases) {
    SetSettings("BuGanJiaoPrint", {{"Enable", c.enabled ? "1" : "0"}});
    const size_t before = printHost.Labels().size();
    EXPECT_EQ(OpRet(Checkout(CheckoutParam(c.rows))), 1) << c.name;
    EXPECT_EQ(printHost.Labels().size() - before, c.labels) << c.name;
  }
  EXPECT_TRUE(printHost.Receipts().empty());
}

TEST_F(CheckoutPaper, ALabelNamesTheCafeTheUnitItsTasteAndItsNumberAmongTheLabels) {
  EnableLabels("LabelPrinter");
  Checkout(
      CheckoutParam({{Ware::kCola, 2, "3.50", ""}, {Ware::kMilkTea, 1, "5.00", "少糖"}}, "B07"));
  const std::vector<PostedJob> labels = printHost.Labels();
  ASSERT_EQ(labels.size(), 1u);
  const LabelJob& job = *labels[0].label;
  EXPECT_EQ(labels[0].kind, PrintKind::kLabel);
  EXPECT_EQ(U8(job.netbarName), "星海网吧");
  EXPECT_EQ(U8(job.orderId), "1(1/1)");
  EXPECT_EQ(U8(job.wareName), "奶茶(少糖)");
  EXPECT_EQ(U8(job.siteNo), "B07");
  EXPECT_EQ(U8(job.price), "¥6.00") << "the label shows the stored price";
  EXPECT_EQ(U8(job.printer), "LabelPrinter");
  EXPECT_EQ(job.fontSize, 10u);
  EXPECT_EQ(TemplateName(job.templatePath), "BuGanJiao.grid");
  EXPECT_TRUE(std::regex_match(U8(job.time), std::regex(R"(\d\d:\d\d:\d\d)"))) << U8(job.time);
}

// However the paper fails, the sale is stored and the page hears success,
// as it would without any printer; a printer that failed once in an order is
// not asked again for the rest of it, so the worker is not held copy after copy.
TEST_F(CheckoutPaper, APrintThatFailsStillStoresTheSaleAndReportsSuccess) {
  struct Case {
    const char* name;
    PrintHost::Mode mode;
  };
  const Case cases[] = {
      {"scheduler unreachable", PrintHost::Mode::kRun},
      {"host refuses the job", PrintHost::Mode::kRefuse},
      {"host never runs the job", PrintHost::Mode::kNeverRun},
  };
  EnableReceipts("58mm热敏纸", {}, "3");
  EnableLabels();
  CServiceManager::GetInstance().GetDevMgr()->SetHandOverTimeout(200ms);
  int stored = 0;
  for (const Case& c : cases) {
    printHost.SetMode(c.mode);
    const size_t labelsBefore = printHost.Labels().size();
    const size_t receiptsBefore = printHost.Receipts().size();
    EXPECT_EQ(OpRet(Checkout(
                  CheckoutParam({{Ware::kMilkTea, 2, "6.00", ""}, {Ware::kCola, 1, "3.50", ""}}))),
              1)
        << c.name;
    stored += 3;
    EXPECT_EQ(StoredCount(), stored) << c.name;
    EXPECT_EQ(printHost.Labels().size() - labelsBefore, 1u) << c.name;
    EXPECT_EQ(printHost.Receipts().size() - receiptsBefore, 1u) << c.name;
  }
}

TEST_F(CheckoutPaper, AMissingReceiptTemplateStillStoresTheSale) {
  namespace fs = std::filesystem;
  const fs::path templ = fs::path(CheckoutWorkDir()) / "templates" / "Xiaopiao80.grid";
  const fs::path aside = templ.string() + ".aside";
  fs::rename(templ, aside);
  EnableReceipts("80mm热敏纸");
  const std::u16string payload = Checkout(CheckoutParam(kColaAndNoodles));
  fs::rename(aside, templ);
  EXPECT_EQ(OpRet(payload), 1);
  EXPECT_EQ(StoredCount(), 3);
  EXPECT_EQ(printHost.Receipts().size(), 1u);
}

}  // namespace
