// One consumable material (cups and the like), as a row of tbMaterial.
#pragma once

#include <cstdint>
#include <string>

struct MaterialInfo {
  std::int32_t id = 0;
  std::u16string name;
  std::u16string unit_name;
  std::int32_t stock = 0;
  std::int32_t total = 0;
  bool isdel = false;
  std::int32_t sales = 0;
  std::int32_t scrap = 0;
  std::int32_t give = 0;
};
