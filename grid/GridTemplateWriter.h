// GridTemplateWriter: writes a GridDocument in the grid template text format,
// so that GridTemplateParser reads back the same document. Stateless; any
// thread. Texts under a span (covered cells) are not written.
#pragma once

#include <string>

#include "GridDocument.h"

class GridTemplateWriter {
public:
  static std::string Write(const GridDocument& document);
  // Writes to a temporary file beside the path and renames it over the path,
  // so a reader never sees half a template; false (and message) on failure.
  static bool WriteFile(const GridDocument& document, const std::string& path,
                        std::string& message);
};
