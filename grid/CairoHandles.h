// CairoHandles: owning smart pointers for the cairo and pango objects the
// renderer creates, so every exit path releases them. Header only; each
// handle belongs to the function that made it, on that function's thread.
#pragma once

#include <cairo.h>
#include <glib-object.h>
#include <pango/pango.h>

#include <memory>

struct CairoDeleter {
  void operator()(cairo_t* cr) const { cairo_destroy(cr); }
  void operator()(cairo_surface_t* surface) const { cairo_surface_destroy(surface); }
  void operator()(cairo_font_options_t* options) const { cairo_font_options_destroy(options); }
  void operator()(PangoFontDescription* font) const { pango_font_description_free(font); }
  void operator()(PangoContext* context) const { g_object_unref(context); }
  void operator()(PangoLayout* layout) const { g_object_unref(layout); }
};

using CairoPtr = std::unique_ptr<cairo_t, CairoDeleter>;
using CairoSurfacePtr = std::unique_ptr<cairo_surface_t, CairoDeleter>;
using CairoFontOptionsPtr = std::unique_ptr<cairo_font_options_t, CairoDeleter>;
using PangoFontPtr = std::unique_ptr<PangoFontDescription, CairoDeleter>;
using PangoContextPtr = std::unique_ptr<PangoContext, CairoDeleter>;
using PangoLayoutPtr = std::unique_ptr<PangoLayout, CairoDeleter>;
