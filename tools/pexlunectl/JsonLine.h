// The driver's output format: one JSON object per line (see tools/README.md).
#pragma once

#include <string>
#include <string_view>

namespace JsonLine {

// A JSON string literal (with quotes) of UTF-8 text; invalid bytes are
// replaced, control characters escaped.
std::string Quote(std::string_view utf8);

std::string Reply(std::string_view utf8Text);
std::string Callback(std::string_view code, std::string_view payload);
std::string Window(std::string_view op);

}  // namespace JsonLine
