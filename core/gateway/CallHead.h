// CallHead: the parsed head of a request envelope, and the envelope
// operations every family handler uses to read its request and build its reply.
// Plain functions over a caller-owned CXmlDoc; safe on any thread.
#pragma once

#include <optional>
#include <string>
#include <string_view>

class CXmlDoc;

struct CallHead {
  int MainID = 0;
  int SubID = 0;
  std::u16string RetID;
};

// Reads "/FUNCTION/Head/MainID", "SubID" and "RetID"; false at the first one
// missing (the fields read so far keep their values).
bool ReadHead(CXmlDoc& doc, CallHead& head);
// Inner markup of "/FUNCTION/Param" (still escaped); false, and `param`
// unchanged, when there is no Param.
bool ReadParam(CXmlDoc& doc, std::u16string& param);
// Clears `doc` and builds the reply envelope in it; returns a copy of the text.
std::u16string BuildReply(CXmlDoc& doc, const CallHead& head, bool result,
                          std::optional<std::u16string_view> body = std::nullopt,
                          std::u16string_view error = {});
