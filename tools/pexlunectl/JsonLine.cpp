#include "JsonLine.h"

#include <cstdio>

#include "support/TextCodec.h"

namespace JsonLine {

std::string Quote(std::string_view utf8) {
  // A round trip through UTF-16 replaces invalid UTF-8, so the output is
  // always valid JSON whatever the core answered.
  std::string clean = TextCodec::Utf16ToUtf8(TextCodec::Utf8ToUtf16(utf8));
  std::string out;
  out.reserve(clean.size() + 2);
  out.push_back('"');
  for (char c : clean) {
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        if (static_cast<unsigned char>(c) < 0x20) {
          char buffer[8];
          std::snprintf(buffer, sizeof buffer, "\\u%04x", static_cast<unsigned char>(c));
          out += buffer;
        } else {
          out.push_back(c);
        }
    }
  }
  out.push_back('"');
  return out;
}

std::string Reply(std::string_view utf8Text) {
  return "{\"type\":\"reply\",\"text\":" + Quote(utf8Text) + "}";
}

std::string Callback(std::string_view code, std::string_view payload) {
  return "{\"type\":\"callback\",\"code\":" + Quote(code) + ",\"payload\":" + Quote(payload) + "}";
}

std::string Window(std::string_view op) { return "{\"type\":\"window\",\"op\":" + Quote(op) + "}"; }

}  // namespace JsonLine
