#include "functions/FunctionFamilies.h"
#include "service/CMainWndMgr.h"

namespace {
// The cashier's guide to the counter screens.
constexpr char kHelpAddress[] = "https://help.tillora.example/counter";
}  // namespace

// Opening the page answers nothing; a failure to open it is not reported.
int DispatchHelp(CXmlDoc&, const CallHead& head, std::u16string&) {
  if (head.SubID != 0) return 1;
  CMainWndMgr::GetInstance().OpenUrl(kHelpAddress);
  return 0;
}
