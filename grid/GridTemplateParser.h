// GridTemplateParser: reads the grid template text format (docs/grid-templates.md)
// into a GridDocument. Stateless: every call stands alone and may run on any
// thread. Broken or hostile input gives a result with a message, never a crash.
#pragma once

#include <string>
#include <string_view>

#include "GridDocument.h"

class GridTemplateParser {
public:
  struct Result {
    bool ok = false;
    int line = 0;         // 1-based line of the error; 0 when not tied to a line
    std::string message;  // "line 7: unknown option 'colour=red'"; empty when ok
    GridDocument document;
  };

  static Result Parse(std::string_view text);
  // A file that cannot be read, or is larger than GridDocument::kMaxFileBytes,
  // fails with a message naming the path.
  static Result ParseFile(const std::string& path);
};
