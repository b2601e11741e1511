#include "functions/FunctionFamilies.h"
#include "functions/HandlerSupport.h"
#include "functions/TestData.h"
#include "support/CXmlDoc.h"

namespace {

// The page checks with this reply that the control answers at all.
std::u16string TestBody() {
  CXmlDoc body;
  body.Parse(u"");
  body.Append(u"Test");
  body.Enter();
  body.Append(u"TestString", u"Tillora core is answering");
  body.Append(u"TestNumber", 777);
  return body.GetText();
}

}  // namespace

int DispatchTest(CXmlDoc& doc, const CallHead& head, std::u16string& reply) {
  switch (head.SubID) {
    case 0:
      reply = BuildReply(doc, head, true, TestBody());
      return 0;
    case 1:
      // A diagnostic aid: what the store made of the data is not reported.
      GenerateTestData(LocalStore());
      reply = BuildReply(doc, head, true);
      return 0;
    default:
      return 1;
  }
}
