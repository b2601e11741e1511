#include "gateway/CallHead.h"

#include "support/CXmlDoc.h"
#include "support/Helpers.h"

bool ReadHead(CXmlDoc& doc, CallHead& head) {
  if (!doc.Find(u"/FUNCTION/Head/MainID")) return false;
  head.MainID = Helpers::ParseInt(doc.GetValue());
  if (!doc.Find(u"/FUNCTION/Head/SubID")) return false;
  head.SubID = Helpers::ParseInt(doc.GetValue());
  if (!doc.Find(u"/FUNCTION/Head/RetID")) return false;
  head.RetID = doc.GetValue();
  return true;
}

bool ReadParam(CXmlDoc& doc, std::u16string& param) {
  doc.Rewind();
  if (!doc.Find(u"/FUNCTION/Param")) return false;
  param = doc.GetInner();
  return true;
}

// The body goes in last, before ErrString, so it lands between OPRet and
// ErrString whatever its shape.
std::u16string BuildReply(CXmlDoc& doc, const CallHead& head, bool result,
                          std::optional<std::u16string_view> body, std::u16string_view error) {
  doc.Parse(u"");
  doc.Append(u"FUNCTION");
  doc.Enter();
  doc.Append(u"Head");
  doc.Enter();
  doc.Append(u"MainID", head.MainID);
  doc.Append(u"SubID", head.SubID);
  doc.Append(u"RetID", head.RetID);
  doc.Leave();
  doc.Append(u"ReturnValue");
  doc.Enter();
  doc.Append(u"OPRet", result ? 1 : 0);
  doc.Append(u"ErrString", error);
  if (body) doc.InsertFragment(*body);
  doc.Leave();
  doc.Leave();
  return doc.GetText();
}
