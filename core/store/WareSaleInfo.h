// One unit sold, as a row of tbSalesWare. orderNo and istimeout are never
// stored: the checkout sets the first, QueryWareSaleById computes the second.
#pragma once

#include <cstdint>
#include <string>

struct WareSaleInfo {
  std::u16string id;  // "N(i/n)": checkout number, unit index, unit count
  std::int32_t orderNo = 0;
  std::int64_t time = 0;  // seconds since 1970
  std::int32_t wareId = 0;
  std::u16string wareTypeName;
  std::u16string wareName;
  std::int32_t wareProp = 0;  // the ware's properties at the time of sale
  std::int32_t count = 0;
  float price = 0.0f;
  bool usable = false;
  std::int32_t sectionId = 0;
  std::u16string cashier;
  std::u16string remark;  // the taste chosen for this unit
  bool istimeout = false;  // sold at or before the current section began
};
