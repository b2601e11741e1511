#include "GridRenderer.h"

#include <cairo-pdf.h>
#include <pango/pangocairo.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "CairoHandles.h"

namespace {

using Doc = GridDocument;

constexpr double kPtPerMm = 72.0 / 25.4;
constexpr double kPadX = 0.8 * kPtPerMm;
constexpr double kPadY = 0.3 * kPtPerMm;
constexpr double kRuleWidth = 0.6;
constexpr double kBoxWidth = 0.5;
constexpr double kDash[] = {2.5, 1.5};
constexpr double kPngPageGap = 8;     // points of grey between stacked pages
constexpr int kMaxPngPixels = 32767;  // cairo's limit for one image side

struct PlacedRow {
  std::size_t index = 0;
  int page = 0;
  double y = 0;  // from the top of its page, in points
  double height = 0;
};

struct Geometry {
  double pageWidth = 0;
  double pageHeight = 0;
  int pages = 1;
  std::vector<double> columnX;  // left edge of every column, plus the right edge
  std::vector<PlacedRow> rows;
};

// A pango context in which one user unit is one point, whatever the surface,
// with unhinted metrics so the PDF and the PNG lay text out identically.
class TextEngine {
public:
  explicit TextEngine(cairo_t* cr) : m_context(pango_cairo_create_context(cr)) {
    pango_cairo_context_set_resolution(m_context.get(), 72.0);
    CairoFontOptionsPtr options(cairo_font_options_create());
    cairo_font_options_set_hint_metrics(options.get(), CAIRO_HINT_METRICS_OFF);
    cairo_font_options_set_hint_style(options.get(), CAIRO_HINT_STYLE_NONE);
    pango_cairo_context_set_font_options(m_context.get(), options.get());
  }

  PangoLayoutPtr Layout(const Doc& doc, const Doc::Cell& cell, double width) const {
    PangoLayoutPtr layout(pango_layout_new(m_context.get()));
    PangoFontPtr font(pango_font_description_new());
    pango_font_description_set_family(
        font.get(), cell.mono ? GridRenderer::kMonoFont : GridRenderer::kSansFont);
    float size = cell.fontSize > 0 ? cell.fontSize : doc.fontSize;
    pango_font_description_set_size(font.get(), static_cast<int>(size * PANGO_SCALE));
    pango_font_description_set_weight(font.get(),
                                      cell.bold ? PANGO_WEIGHT_BOLD : PANGO_WEIGHT_NORMAL);
    pango_layout_set_font_description(layout.get(), font.get());
    pango_layout_set_width(layout.get(), static_cast<int>(std::max(1.0, width) * PANGO_SCALE));
    pango_layout_set_wrap(layout.get(), PANGO_WRAP_WORD_CHAR);
    pango_layout_set_alignment(layout.get(), cell.align == Doc::Align::Center  ? PANGO_ALIGN_CENTER
                                             : cell.align == Doc::Align::Right ? PANGO_ALIGN_RIGHT
                                                                               : PANGO_ALIGN_LEFT);
    pango_layout_set_text(layout.get(), cell.text.data(), static_cast<int>(cell.text.size()));
    return layout;
  }

  static double Height(PangoLayout* layout) {
    int width = 0;
    int height = 0;
    pango_layout_get_size(layout, &width, &height);
    return static_cast<double>(height) / PANGO_SCALE;
  }

private:
  PangoContextPtr m_context;
};

double CellWidth(const Geometry& geometry, std::size_t col, int span) {
  std::size_t end = std::min(geometry.columnX.size() - 1, col + static_cast<std::size_t>(span));
  return geometry.columnX[end] - geometry.columnX[col];
}

double RowHeight(const Doc& doc, const Geometry& geometry, const TextEngine& text, std::size_t r) {
  const Doc::Row& row = doc.rows[r];
  double height = row.heightMm * kPtPerMm;
  for (std::size_t c = 0; c < row.cells.size(); ++c) {
    const Doc::Cell& cell = row.cells[c];
    if (cell.text.empty() || doc.IsCovered(r, c)) continue;
    PangoLayoutPtr layout = text.Layout(doc, cell, CellWidth(geometry, c, cell.span) - 2 * kPadX);
    height = std::max(height, TextEngine::Height(layout.get()) + 2 * kPadY);
  }
  return height;
}

// Thermal paper: one page as long as the rows. A4: rows flow onto sheets and
// a row never splits; one taller than a sheet gets a sheet of its own.
Geometry Place(const Doc& doc, const TextEngine& text) {
  Geometry geometry;
  geometry.pageWidth = Doc::PaperWidthMm(doc.paper) * kPtPerMm;
  double x = doc.LeftMarginMm() * kPtPerMm;
  for (double width : doc.columnsMm) {
    geometry.columnX.push_back(x);
    x += width * kPtPerMm;
  }
  geometry.columnX.push_back(x);
  double margin = doc.TopMarginMm() * kPtPerMm;
  double sheet = Doc::PaperHeightMm(doc.paper) * kPtPerMm;
  double y = margin;
  int page = 0;
  for (std::size_t r = 0; r < doc.rows.size(); ++r) {
    double height = RowHeight(doc, geometry, text, r);
    if (sheet > 0 && y + height > sheet - margin && y > margin) {
      ++page;
      y = margin;
    }
    geometry.rows.push_back({r, page, y, height});
    y += height;
  }
  geometry.pages = page + 1;
  geometry.pageHeight = sheet > 0 ? sheet : std::max(y + margin, 2 * margin + 1);
  return geometry;
}

Geometry Measure(const Doc& doc) {
  CairoSurfacePtr surface(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 1, 1));
  CairoPtr cr(cairo_create(surface.get()));
  TextEngine text(cr.get());
  return Place(doc, text);
}

void DrawRule(cairo_t* cr, Doc::Rule rule, double x0, double x1, double y) {
  if (rule == Doc::Rule::None) return;
  cairo_save(cr);
  cairo_set_line_width(cr, kRuleWidth);
  if (rule == Doc::Rule::Dashed) cairo_set_dash(cr, kDash, 2, 0);
  cairo_move_to(cr, x0, y);
  cairo_line_to(cr, x1, y);
  cairo_stroke(cr);
  cairo_restore(cr);
}

void DrawRow(cairo_t* cr, const TextEngine& text, const Doc& doc, const Geometry& geometry,
             const PlacedRow& placed) {
  const Doc::Row& row = doc.rows[placed.index];
  for (std::size_t c = 0; c < row.cells.size(); ++c) {
    if (doc.IsCovered(placed.index, c)) continue;
    const Doc::Cell& cell = row.cells[c];
    double x = geometry.columnX[c];
    double width = CellWidth(geometry, c, cell.span);
    if (row.boxed) {
      cairo_set_line_width(cr, kBoxWidth);
      cairo_rectangle(cr, x, placed.y, width, placed.height);
      cairo_stroke(cr);
    }
    if (cell.text.empty()) continue;
    PangoLayoutPtr layout = text.Layout(doc, cell, width - 2 * kPadX);
    double top = placed.y + (placed.height - TextEngine::Height(layout.get())) / 2;
    cairo_move_to(cr, x + kPadX, top);
    pango_cairo_show_layout(cr, layout.get());
  }
  double left = geometry.columnX.front();
  double right = geometry.columnX.back();
  DrawRule(cr, row.top, left, right, placed.y);
  DrawRule(cr, row.bottom, left, right, placed.y + placed.height);
}

void DrawPage(cairo_t* cr, const Doc& doc, const Geometry& geometry, int page) {
  TextEngine text(cr);
  cairo_set_source_rgb(cr, 0, 0, 0);
  for (const PlacedRow& placed : geometry.rows) {
    if (placed.page == page) DrawRow(cr, text, doc, geometry, placed);
  }
}

cairo_status_t AppendBytes(void* closure, const unsigned char* data, unsigned int length) {
  static_cast<std::string*>(closure)->append(reinterpret_cast<const char*>(data), length);
  return CAIRO_STATUS_SUCCESS;
}

bool Check(cairo_status_t status, std::string& message) {
  if (status == CAIRO_STATUS_SUCCESS) return true;
  message = std::string("cairo: ") + cairo_status_to_string(status);
  return false;
}

}  // namespace

bool GridRenderer::RenderPdf(const GridDocument& document, std::string& pdf, std::string& message) {
  pdf.clear();
  Geometry geometry = Measure(document);
  CairoSurfacePtr surface(cairo_pdf_surface_create_for_stream(AppendBytes, &pdf, geometry.pageWidth,
                                                              geometry.pageHeight));
  cairo_pdf_surface_set_metadata(surface.get(), CAIRO_PDF_METADATA_CREATOR, "Tillora");
  CairoPtr cr(cairo_create(surface.get()));
  for (int page = 0; page < geometry.pages; ++page) {
    DrawPage(cr.get(), document, geometry, page);
    cairo_show_page(cr.get());
  }
  cairo_status_t drawn = cairo_status(cr.get());
  cr.reset();
  cairo_surface_finish(surface.get());
  return Check(drawn, message) && Check(cairo_surface_status(surface.get()), message);
}

bool GridRenderer::RenderPng(const GridDocument& document, const std::string& path, double dpi,
                             std::string& message) {
  if (!(dpi >= 10 && dpi <= 1200)) {
    message = "a PNG resolution from 10 to 1200 dpi";
    return false;
  }
  Geometry geometry = Measure(document);
  double scale = dpi / 72.0;
  double stacked = geometry.pages * geometry.pageHeight + (geometry.pages - 1) * kPngPageGap;
  double width = std::ceil(geometry.pageWidth * scale);
  double height = std::ceil(stacked * scale);
  if (width > kMaxPngPixels || height > kMaxPngPixels) {
    message = "the document is too large for one PNG image at this resolution";
    return false;
  }
  CairoSurfacePtr surface(cairo_image_surface_create(CAIRO_FORMAT_RGB24, static_cast<int>(width),
                                                     static_cast<int>(height)));
  CairoPtr cr(cairo_create(surface.get()));
  cairo_scale(cr.get(), scale, scale);
  cairo_set_source_rgb(cr.get(), 0.82, 0.82, 0.82);
  cairo_paint(cr.get());
  for (int page = 0; page < geometry.pages; ++page) {
    cairo_save(cr.get());
    cairo_translate(cr.get(), 0, page * (geometry.pageHeight + kPngPageGap));
    cairo_rectangle(cr.get(), 0, 0, geometry.pageWidth, geometry.pageHeight);
    cairo_set_source_rgb(cr.get(), 1, 1, 1);
    cairo_fill(cr.get());
    DrawPage(cr.get(), document, geometry, page);
    cairo_restore(cr.get());
  }
  if (!Check(cairo_status(cr.get()), message)) return false;
  cairo_surface_flush(surface.get());
  if (!Check(cairo_surface_write_to_png(surface.get(), path.c_str()), message)) {
    message += " (writing '" + path + "')";
    return false;
  }
  return true;
}

int GridRenderer::PageCount(const GridDocument& document) { return Measure(document).pages; }
