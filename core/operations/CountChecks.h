// Count checks: the two stock-take sheets (wares for function 5/2 with
// "cb-1-10", materials for 3/3 with "cb-1-11"), printed on their own worker
// threads, and the two remainder checks the handover screens run on the
// page's thread as the cashier types (5/3 and 3/4). Also the paper types that
// choose every printed sheet's template.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "service/TaskArgs.h"

class CLocalDB;

// ---- Paper types of the print settings ------------------------------------

enum class Paper { k58, k80, kA4 };
// None for any text but the three the page offers.
std::optional<Paper> PaperOf(std::u16string_view paperType);
// The handover sheets write their times compactly on thermal paper and with
// dashes on A4.
std::u16string SheetTimeText(Paper paper, std::int64_t t);

// ---- Stock-take sheets ----------------------------------------------------

void print_ware_check_thread(TaskArgs& args);
void print_material_check_thread(TaskArgs& args);

// ---- Remainder checks -----------------------------------------------------

// The element both the request parameter and the reply body are named after.
inline constexpr std::u16string_view kCheckWareCount = u"CheckWareCountFromUser";
inline constexpr std::u16string_view kCheckMaterialCount = u"CheckMaterialCountFromUser";

struct RemainderCheck {
  bool accepted = false;
  std::u16string error;  // empty unless a text applies
};

// Refuses a remainder above the starting quantity; the store is not read, so
// a negative remainder passes here and the handover refuses it.
RemainderCheck CheckWareCount(std::u16string_view param);
// Also refuses a negative remainder, a use above the material's total, and a
// material the store lacks (without an error text).
RemainderCheck CheckMaterialCount(CLocalDB& db, std::u16string_view param);
// The reply body: the check's element with its `error` attribute.
std::u16string RemainderCheckBody(std::u16string_view element, const RemainderCheck& check);
