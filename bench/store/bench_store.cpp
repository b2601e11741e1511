// The store's counter-side hot paths on a real file: the two ware searches
// over 20,000 wares, the sales list's default 48-hour window over 1,000,000
// sale rows spread over 90 days, and storing one 20-unit checkout.
//
// The file is built once per run in a temporary folder (about a minute for
// the sale rows) and removed at exit.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "store/CLocalDB.h"
#include "support/TextCodec.h"

namespace {

constexpr int kWares = 20000;
constexpr int kSales = 1000000;
constexpr std::int64_t kSpan = 90 * 24 * 3600;

// Common characters of snack and drink names, so the first letters spread
// over the alphabet the way real names do.
const char16_t kChars[] = u"可乐雪碧绿茶红牛奶咖啡果汁冰糖薯片饼干面包方便香肠鸡蛋辣条矿泉水"
                          u"橙柠檬椰子酸梅汤王老吉加多宝百事康师傅统一农夫山泉哇哈";

std::u16string WareName(std::mt19937& rng) {
  constexpr std::size_t count = sizeof(kChars) / sizeof(char16_t) - 1;
  std::uniform_int_distribution<std::size_t> pick(0, count - 1);
  std::uniform_int_distribution<int> length(2, 6);
  std::u16string name;
  for (int k = length(rng); k > 0; --k) name += kChars[pick(rng)];
  return name;
}

std::u16string Barcode(int id) {
  std::string digits = std::to_string(6900000000000LL + id * 7919LL);
  return TextCodec::Ascii(digits);
}

class Bench {
 public:
  static Bench& Get() {
    static Bench bench;
    return bench;
  }
  CLocalDB& Db() { return *db_; }
  std::int64_t Now() const { return now_; }

 private:
  Bench() {
    std::string pattern = std::filesystem::temp_directory_path() / "tillora-bench-XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr) std::abort();
    dir_ = pattern;
    db_ = std::make_unique<CLocalDB>();
    if (!db_->InitDB(TextCodec::Utf8ToUtf16((dir_ / "1001-7.dat").string()))) std::abort();
    now_ = static_cast<std::int64_t>(std::time(nullptr));
    FillWares();
    FillSales();
  }
  ~Bench() {
    db_.reset();
    std::error_code ignored;
    std::filesystem::remove_all(dir_, ignored);
  }

  void FillWares() {
    std::mt19937 rng(7);
    std::vector<WareInfo> wares;
    for (int id = 1; id <= kWares; ++id) {
      WareInfo w;
      w.id = id;
      w.name = WareName(rng);
      w.unitName = u"瓶";
      w.usable = true;
      w.typeId = id % 12;
      w.barcode = Barcode(id);
      w.price = 3.5f;
      w.properties = 1;
      w.orderId = id;
      wares.push_back(std::move(w));
    }
    if (!db_->InsertWare(wares)) std::abort();
  }

  // Sales are stored as they happen, so the rows lie in time order.
  void FillSales() {
    std::mt19937 rng(11);
    std::uniform_int_distribution<std::int64_t> when(now_ - kSpan, now_);
    std::vector<std::int64_t> times(kSales);
    for (std::int64_t& t : times) t = when(rng);
    std::sort(times.begin(), times.end());
    std::vector<WareSaleInfo> batch;
    for (int k = 0; k < kSales; ++k) {
      WareSaleInfo s;
      s.id = TextCodec::Ascii(std::to_string(k / 3 + 1) + "(" + std::to_string(k % 3 + 1) + "/3)");
      s.time = times[static_cast<std::size_t>(k)];
      s.wareId = k % kWares + 1;
      s.wareTypeName = u"饮料";
      s.wareName = u"可乐";
      s.wareProp = 1;
      s.price = 3.5f;
      s.usable = k % 50 != 0;
      s.sectionId = 1;
      s.cashier = u"amy";
      batch.push_back(std::move(s));
      if (batch.size() == 20000) Flush(batch);
    }
    Flush(batch);
  }

  void Flush(std::vector<WareSaleInfo>& batch) {
    if (!batch.empty() && !db_->InserWareSale(batch)) std::abort();
    batch.clear();
  }

  std::filesystem::path dir_;
  std::unique_ptr<CLocalDB> db_;
  std::int64_t now_ = 0;
};

void BM_FirstLetterSearch(benchmark::State& state, const char16_t* text) {
  CLocalDB& db = Bench::Get().Db();
  const std::u16string letters = text;
  std::size_t found = 0;
  for (auto _ : state) {
    std::vector<WareInfo> wares;
    if (!db.QueryWareByFirstLetter(wares, letters)) state.SkipWithError("query failed");
    found = wares.size();
    benchmark::DoNotOptimize(wares.data());
  }
  state.counters["wares"] = static_cast<double>(found);
}
BENCHMARK_CAPTURE(BM_FirstLetterSearch, common_prefix, u"k")->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_FirstLetterSearch, two_letters, u"kl")->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_FirstLetterSearch, no_match, u"qqqq")->Unit(benchmark::kMicrosecond);

void BM_BarcodeSearch(benchmark::State& state, bool present) {
  CLocalDB& db = Bench::Get().Db();
  const std::u16string barcode = present ? Barcode(12345) : u"0000000000000";
  std::size_t found = 0;
  for (auto _ : state) {
    std::vector<WareInfo> wares;
    if (!db.QueryWareByBarCode(wares, barcode)) state.SkipWithError("query failed");
    found = wares.size();
    benchmark::DoNotOptimize(wares.data());
  }
  state.counters["wares"] = static_cast<double>(found);
}
BENCHMARK_CAPTURE(BM_BarcodeSearch, present, true)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_BarcodeSearch, absent, false)->Unit(benchmark::kMicrosecond);

// The sales list with nothing filled in: the last 48 hours, disabled rows
// included, as the page's sales screen asks for it.
void BM_SalesDefaultWindow(benchmark::State& state) {
  CLocalDB& db = Bench::Get().Db();
  std::size_t found = 0;
  for (auto _ : state) {
    std::vector<WareSaleInfo> sales;
    if (!db.QueryWareSaleById(sales, u"", 0, 0, u"", u"", u"", -1.0f, u"", true)) {
      state.SkipWithError("query failed");
    }
    found = sales.size();
    benchmark::DoNotOptimize(sales.data());
  }
  state.counters["rows"] = static_cast<double>(found);
}
BENCHMARK(BM_SalesDefaultWindow)->Unit(benchmark::kMillisecond);

std::vector<WareSaleInfo> Checkout(CLocalDB& db, bool numbered) {
  std::vector<WareSaleInfo> units(20);
  for (int i = 0; i < 20; ++i) {
    WareSaleInfo& s = units[static_cast<std::size_t>(i)];
    if (numbered) {
      db.MakeWareSalesId(i + 1, 20, s.id, i == 0);
    } else {
      s.id = TextCodec::Ascii("0(" + std::to_string(i + 1) + "/20)");
    }
    s.time = static_cast<std::int64_t>(std::time(nullptr));
    s.wareId = i + 1;
    s.wareTypeName = u"饮料";
    s.wareName = u"可乐";
    s.price = 3.5f;
    s.usable = true;
    s.sectionId = 1;
    s.cashier = u"amy";
  }
  return units;
}

// One transaction of 20 sale rows, committed to disk.
void BM_CheckoutBatch(benchmark::State& state) {
  CLocalDB& db = Bench::Get().Db();
  const std::vector<WareSaleInfo> units = Checkout(db, false);
  for (auto _ : state) {
    if (!db.InserWareSale(units)) state.SkipWithError("batch failed");
  }
}
BENCHMARK(BM_CheckoutBatch)->Unit(benchmark::kMillisecond);

// The same with the checkout number drawn first (one more commit).
void BM_CheckoutNumberedBatch(benchmark::State& state) {
  CLocalDB& db = Bench::Get().Db();
  for (auto _ : state) {
    if (!db.InserWareSale(Checkout(db, true))) state.SkipWithError("batch failed");
  }
}
BENCHMARK(BM_CheckoutNumberedBatch)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
