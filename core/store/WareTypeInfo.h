// One ware type, as a row of tbWareType.
#pragma once

#include <cstdint>
#include <string>

struct WareTypeInfo {
  std::int32_t id = 0;
  std::u16string name;
  bool usable = false;
};
