// One material work section with its cup and material counts, as a row of
// tbMaterialWorkSection.
#pragma once

#include <cstdint>
#include <string>

struct MaterialWorkSectionInfo {
  std::int32_t id = 0;
  bool bSaveToServer = false;
  bool bFinish = false;
  std::int64_t beginTime = 0;
  std::int64_t endTime = 0;
  std::u16string barid;
  std::u16string barName;
  std::u16string remark;
  std::u16string netbarid;
  std::u16string sectionType;
  std::u16string materialDetails;
  std::u16string uuid;
  std::int32_t totalStock = 0;
  std::int32_t totalSales = 0;
  std::int32_t totalActive = 0;
  std::int32_t totalScrap = 0;
  std::int32_t cupID = 0;
  std::int32_t cupStock = 0;
  std::int32_t cupSales = 0;
  std::int32_t cupScrap = 0;
  std::int32_t cupGive = 0;
};
