// One ware of the catalogue, as a row of tbWare. The first-letter column is
// written from the name by InsertWare and never read back into the record.
#pragma once

#include <cstdint>
#include <string>

struct WareInfo {
  std::int32_t id = 0;
  std::u16string name;
  std::u16string unitName;
  bool usable = false;
  std::int32_t typeId = 0;  // the typeid column; "typeid" is a C++ keyword
  std::u16string barcode;
  float price = 0.0f;
  std::int32_t properties = 0;  // 2: made to order
  std::int32_t stock = 0;
  std::int32_t total = 0;
  std::int32_t orderId = 0;
  bool isdel = false;
  std::int32_t number = 0;
};
