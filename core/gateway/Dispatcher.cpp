#include "gateway/Dispatcher.h"

#include "functions/FunctionFamilies.h"
#include "support/CXmlDoc.h"
#include "support/Trace.h"

namespace {

using FamilyHandler = int (*)(CXmlDoc&, const CallHead&, std::u16string&);

// MainID 6 has no family; it stays a gap in the table.
constexpr FamilyHandler kFamilies[] = {
    DispatchTest,  DispatchWare,        DispatchConfig, DispatchMaterial, DispatchSales,
    DispatchWorkSection, nullptr, DispatchWindow, DispatchHelp,
};

}  // namespace

std::u16string CallFunction(std::u16string_view request) {
  CXmlDoc doc;
  CallHead head;
  std::u16string reply;
  doc.Parse(request);  // an ill-formed envelope is read as far as the index reaches
  if (!ReadHead(doc, head)) {
    Trace::Write("invaild command from js, [%d][%d]", head.MainID, head.SubID);
    return reply;
  }
  constexpr int kFamilyCount = static_cast<int>(sizeof(kFamilies) / sizeof(kFamilies[0]));
  if (head.MainID < 0 || head.MainID >= kFamilyCount || !kFamilies[head.MainID]) return reply;
  kFamilies[head.MainID](doc, head, reply);
  return reply;
}
