#include "ListDevices.h"

#include <cstdio>
#include <string>

#include "JsonLine.h"
#include "support/CXmlDoc.h"
#include "support/TextCodec.h"

namespace {

constexpr char16_t kGetDevices[] =
    u"<FUNCTION><Head><MainID>2</MainID><SubID>2</SubID><RetID></RetID></Head></FUNCTION>";

void EmitDevice(const char* type, const std::u16string& name) {
  std::string line = std::string("{\"type\":\"") + type +
                     "\",\"name\":" + JsonLine::Quote(TextCodec::Utf16ToUtf8(name)) + "}\n";
  std::fwrite(line.data(), 1, line.size(), stdout);
}

// Every child `element` of the current element's level, in document order.
void EmitAll(CXmlDoc& list, const char16_t* element, const char* type) {
  list.RewindSiblings();
  while (list.Find(element)) EmitDevice(type, list.GetAttr(u"name"));
}

}  // namespace

int ListDevices(CoreLibrary& core) {
  char16_t* reply = core.callFunction(kGetDevices);
  CXmlDoc doc(reply ? std::u16string_view(reply) : std::u16string_view());
  core.freeString(reply);
  if (!doc.Find(u"/FUNCTION/ReturnValue/Devicelist") || !doc.Enter()) {
    std::fprintf(stderr, "pexlunectl: no device list (is a printer installed and CUPS running?)\n");
    return 1;
  }
  EmitAll(doc, u"Printer", "printer");
  EmitAll(doc, u"Com", "port");
  std::fflush(stdout);
  return 0;
}
