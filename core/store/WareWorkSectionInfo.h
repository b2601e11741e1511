// One cashier work section (shift) with its handover figures, as a row of
// tbWareWorkSection.
#pragma once

#include <cstdint>
#include <string>

struct WareWorkSectionInfo {
  std::int32_t id = 0;
  bool bSaveToServer = false;
  bool bFinish = false;
  std::int64_t beginTime = 0;
  std::int64_t endTime = 0;
  std::u16string cashier;
  std::u16string sectionType;
  std::u16string barid;
  std::u16string barName;
  std::u16string netbarid;
  std::u16string WareDetails;
  float pre = 0.0f;
  float sales = 0.0f;
  float active = 0.0f;
  float odd = 0.0f;
  float upload = 0.0f;
  float save = 0.0f;
  float manualsales = 0.0f;
  float normalsales = 0.0f;
  std::u16string error;
  std::u16string remarks;
  std::u16string nextSectionType;
  std::u16string uuid;
};
