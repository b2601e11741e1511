// GridRenderer: draws a GridDocument with cairo and pango (thermal paper as one
// page as long as the content, A4 as sheets) to PDF for printing and PNG for
// previews. Stateless; any thread (pango keeps a font map per thread).
#pragma once

#include <string>

#include "GridDocument.h"

class GridRenderer {
public:
  static constexpr const char* kSansFont = "Noto Sans CJK SC";
  static constexpr const char* kMonoFont = "Noto Sans Mono CJK SC";
  static constexpr double kDefaultPngDpi = 203;  // the resolution of common thermal printers

  // The whole PDF file in pdf; false with a message when cairo fails.
  static bool RenderPdf(const GridDocument& document, std::string& pdf, std::string& message);
  // Every page, one below the other, in one PNG image.
  static bool RenderPng(const GridDocument& document, const std::string& path, double dpi,
                        std::string& message);
  // How many pages a PDF of the document has.
  static int PageCount(const GridDocument& document);
};
