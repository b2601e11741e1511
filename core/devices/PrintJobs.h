// The print jobs a worker hands to the device manager: one record per form,
// all texts final (the requester formats numbers and times), and the job
// kinds that choose the print routine. Plain values, copied freely.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The kind travels with the request and selects the routine; the numbers are
// the ones hosts and requesters agree on.
enum class PrintKind : std::int32_t {
  kCheckSheetA4 = 1,
  kCheckSheet58 = 2,
  kCheckSheet80 = 3,
  kLabel = 4,
  kMaterialHandoverA4 = 5,
  kMaterialHandover58 = 6,
  kMaterialHandover80 = 7,
  kCashierHandover58 = 8,
  kCashierHandoverA4 = 9,
  kCashierHandover80 = 10,
  kReceipt58 = 11,
  kReceipt80 = 12,
};

// What every job begins with.
struct PrintJobBase {
  std::u16string printer;       // empty: the grid's current printer
  std::u16string templatePath;  // full path (work directory + template name)
  std::uint32_t fontSize = 0;   // points, for every cell the routine writes
};

struct ReceiptLine {
  std::u16string name;
  std::u16string price;  // carried, not printed
  std::u16string count;
  std::u16string amount;
};

// Receipt (kinds 11, 12).
struct ReceiptJob : PrintJobBase {
  std::u16string time;    // #time#
  std::u16string title;   // #tittle#
  std::u16string tail;    // #tail#
  std::u16string siteNo;  // #siteno#
  std::u16string total;   // #total#
  std::u16string pay;     // #pay#
  std::u16string odd;     // #odd#
  std::vector<ReceiptLine> lines;
};

// Order label (kind 4).
struct LabelJob : PrintJobBase {
  std::u16string netbarName;  // #netbarname#
  std::u16string time;        // #time#
  std::u16string orderId;     // #orderid#
  std::u16string wareName;    // #warename#
  std::u16string siteNo;      // #siteno#
  std::u16string price;       // #price#
};

struct CheckItem {
  std::u16string name;
  std::u16string value;
};

// Count-check sheet (kinds 1 to 3).
struct CheckSheetJob : PrintJobBase {
  std::u16string netbarName;   // #netbarname#
  std::u16string barName;      // #barname#
  std::u16string cashier;      // fills no placeholder
  std::u16string time;         // #time#
  std::u16string sectionType;  // #sectiontype#
  std::vector<CheckItem> items;
};

// One list row of a handover sheet: three texts in columns 1 to 3 (4 to 6
// for the second item of an A4 row).
struct HandoverRow {
  std::u16string first;
  std::u16string second;
  std::u16string third;
};

// Material handover sheet (kinds 5 to 7).
struct MaterialHandoverJob : PrintJobBase {
  std::u16string netbarName;  // #netbarname#
  std::u16string beginTime;   // #begintime#
  std::u16string endTime;     // #endtime#
  std::u16string barName;     // #barname#
  std::u16string cashier;     // #cashier#
  std::u16string pre;         // #pre#
  std::u16string sales;       // #sales#
  std::u16string active;      // #active#
  std::u16string scrap;       // #scrap#
  std::u16string odd;         // #odd#
  std::vector<HandoverRow> rows;
};

// Cashier handover sheet (kinds 8 to 10).
struct CashierHandoverJob : PrintJobBase {
  std::u16string netbarName;   // #netbarname#
  std::u16string beginTime;    // #begintime#
  std::u16string endTime;      // #endtime#
  std::u16string barName;      // #barname#
  std::u16string sectionType;  // #sectiontype#
  std::u16string cashier;      // #cashier#
  std::u16string pre;          // #pre#
  std::u16string salesCount;   // #salescount#
  std::u16string sales;        // #sales#
  std::u16string active;       // #active#
  std::u16string odd;          // #odd#
  std::u16string upload;       // #upload#
  std::u16string save;         // #save#
  std::u16string error;        // #error#
  std::vector<HandoverRow> rows;
};
