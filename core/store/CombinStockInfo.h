// The stock shared by all combined-mode wares of one type and one price, as a
// row of tbCombinModeWareStock.
#pragma once

#include <cstdint>
#include <string>

struct CombinStockInfo {
  std::int32_t typeId = 0;  // the typeid column; "typeid" is a C++ keyword
  float price = 0.0f;
  std::int32_t stock = 0;
  std::u16string name;
  std::u16string type_name;
};
