#include "functions/TestData.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

#include "store/CLocalDB.h"
#include "support/TextCodec.h"

namespace {

constexpr int kTypeCount = 9;
constexpr int kSaleLines = 100;

// The generator the data was designed around yields 0 to 32,767; the draws
// keep that range whatever the C library's own maximum is.
int Random() { return std::rand() % 32768; }
int RandomBelow(int n) { return Random() % n; }
bool RandomOdd() { return Random() % 2 == 1; }

void SeedFromTickCount() {
  const auto ticks = std::chrono::duration_cast<std::chrono::milliseconds>(
      std::chrono::steady_clock::now().time_since_epoch());
  std::srand(static_cast<unsigned>(ticks.count()));
}

template <typename... Args>
std::u16string Format(const char* pattern, Args... values) {
  char text[100];
  std::snprintf(text, sizeof text, pattern, values...);
  return TextCodec::Utf8ToUtf16(text);
}

// Generated types are made usable so the counter shows them; nothing else
// in the store would.
void MakeCatalogue(std::vector<WareTypeInfo>& types, std::vector<WareInfo>& wares) {
  int nextWareId = 0;
  for (int t = 0; t < kTypeCount; ++t) {
    types.push_back({t, Format("类型(%d)", t), true});
    SeedFromTickCount();
    const int count = RandomBelow(30);
    for (int j = 0; j < count; ++j) {
      WareInfo ware;
      ware.id = nextWareId++;
      ware.name = Format("T%d-W%d", t, j);
      ware.price = 7.1f;
      ware.stock = RandomBelow(20);
      ware.usable = RandomOdd();
      ware.properties = RandomOdd() ? 2 : 1;
      ware.typeId = t;
      wares.push_back(ware);
    }
  }
}

const char* const kCashiers[] = {"赵x", "钱x", "孙x"};

WareSaleInfo MakeSaleLine(std::int64_t now) {
  WareSaleInfo sale;
  const int a = RandomBelow(12);
  const int b = RandomBelow(30);
  const int c = RandomBelow(10);
  sale.id = Format("(%d-%d)-%d", a, b, c);
  sale.cashier = TextCodec::Utf8ToUtf16(kCashiers[RandomBelow(3)]);
  sale.count = RandomBelow(10);
  sale.price = static_cast<float>(RandomBelow(100));
  sale.sectionId = 0;
  sale.time = Random() % now;
  sale.usable = RandomOdd();
  sale.wareId = 0;
  const int type = RandomBelow(kTypeCount);
  sale.wareTypeName = Format("T%d", type);
  sale.wareName = Format("T%d-W%d", type, RandomBelow(30));
  do {
    sale.wareProp = RandomBelow(3);
  } while (sale.wareProp == 0);
  return sale;
}

std::vector<MaterialInfo> MakeMaterials() {
  std::vector<MaterialInfo> materials;
  const int count = RandomBelow(100);
  for (int k = 0; k < count; ++k) {
    MaterialInfo material;
    material.id = k;
    material.name = Format("物料(%d)", k);
    material.unit_name = u"包";
    material.stock = RandomBelow(100);
    material.isdel = false;
    materials.push_back(material);
  }
  return materials;
}

}  // namespace

void GenerateTestData(CLocalDB& db) {
  std::vector<WareTypeInfo> types;
  std::vector<WareInfo> wares;
  MakeCatalogue(types, wares);
  db.InserWareType(types);
  db.InsertWare(wares);

  const auto now = static_cast<std::int64_t>(std::time(nullptr));
  std::vector<WareSaleInfo> sales;
  for (int i = 0; i < kSaleLines; ++i) sales.push_back(MakeSaleLine(now));
  db.InserWareSale(sales);

  db.InserMaterial(MakeMaterials());
}
