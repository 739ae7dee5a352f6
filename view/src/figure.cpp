#include "figure.hpp"

#include <cairo-pdf.h>
#include <cairo-svg.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>
#include <numbers>

#include "base/diagnostic.hpp"
#include "base/output_file.hpp"

namespace tervox::view {

using base::diagnostic;
using base::diagnostic_error;
using base::io_result;
using base::output_file;

namespace {

constexpr const char* font_family = "DejaVu Sans";

cairo_status_t append(void* closure, const unsigned char* data, unsigned int length) {
  static_cast<std::string*>(closure)->append(reinterpret_cast<const char*>(data), length);
  return CAIRO_STATUS_SUCCESS;
}

std::string lower(std::string s) {
  std::transform(s.begin(), s.end(), s.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return s;
}

std::string xml_escaped(std::string_view s) {
  std::string out;
  for (const char c : s) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      default:
        out += c;
    }
  }
  return out;
}

// Browsers and most SVG renderers smooth an embedded image when they scale
// it, whatever cairo's filter was: the cells would come out blurred into
// each other. Every image of a figure is cells (the map, the section, the
// colour bar), so each gets the hint to scale it pixel for pixel, in CSS
// for browsers and as the attribute older renderers read.
void keep_pixels_square(std::string& svg) {
  constexpr std::string_view tag = "<image ";
  for (auto at = svg.find(tag); at != std::string::npos; at = svg.find(tag, at + 1)) {
    const auto end = svg.find('>', at);
    const std::string_view element = std::string_view(svg).substr(at, end - at);
    if (end == std::string::npos || element.find("image-rendering") != std::string_view::npos)
      continue;
    const bool styled = element.find(" style=") != std::string_view::npos;
    svg.insert(at + tag.size(), styled ? "image-rendering=\"optimizeSpeed\" "
                                       : "style=\"image-rendering:pixelated\" "
                                         "image-rendering=\"optimizeSpeed\" ");
  }
}

}  // namespace

figure_format format_of(const std::string& path) {
  const auto dot = path.rfind('.');
  const std::string ext = dot == std::string::npos ? "" : lower(path.substr(dot));
  if (ext == ".png")
    return figure_format::png;
  if (ext == ".svg")
    return figure_format::svg;
  if (ext == ".pdf")
    return figure_format::pdf;
  throw diagnostic_error(
      diagnostic::in_file(path, "a picture is written as .png, .svg or .pdf; the name ends in '" +
                                    (dot == std::string::npos ? path : path.substr(dot)) + "'"));
}

figure::figure(int width, int height, figure_format format)
    : width_(width), height_(height), format_(format) {
  switch (format) {
    case figure_format::png:
      surface_ = cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, height);
      break;
    case figure_format::svg:
      surface_ = cairo_svg_surface_create_for_stream(append, &bytes_, width, height);
      break;
    case figure_format::pdf:
      surface_ = cairo_pdf_surface_create_for_stream(append, &bytes_, width, height);
      break;
  }
  cr_ = cairo_create(surface_);
  if (cairo_status(cr_) != CAIRO_STATUS_SUCCESS)
    throw diagnostic_error(std::string("cannot draw: ") +
                           cairo_status_to_string(cairo_status(cr_)));
  cairo_select_font_face(cr_, font_family, CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
}

figure::~figure() {
  cairo_destroy(cr_);
  cairo_surface_destroy(surface_);
}

void figure::set_colour(rgb c, double opacity) {
  cairo_set_source_rgba(cr_, c.r / 255.0, c.g / 255.0, c.b / 255.0, opacity);
}

void figure::set_font(double size) {
  cairo_set_font_size(cr_, size);
}

void figure::fill(double x0, double y0, double x1, double y1, rgb c) {
  set_colour(c);
  cairo_rectangle(cr_, x0, y0, x1 - x0, y1 - y0);
  cairo_fill(cr_);
}

void figure::frame(double x0, double y0, double x1, double y1, rgb c) {
  set_colour(c);
  cairo_set_line_width(cr_, 1);
  // Half a pixel out: the line covers whole pixels just outside the area.
  cairo_rectangle(cr_, x0 - 0.5, y0 - 0.5, x1 - x0 + 1, y1 - y0 + 1);
  cairo_stroke(cr_);
}

void figure::disc(double cx, double cy, double radius, rgb c, double opacity) {
  set_colour(c, opacity);
  cairo_new_sub_path(cr_);
  cairo_arc(cr_, cx, cy, radius, 0, 2 * std::numbers::pi);
  cairo_fill(cr_);
}

void figure::cells(const std::vector<rgb>& colours, int columns, int rows, double x, double y,
                   double sx, double sy) {
  cairo_surface_t* image = cairo_image_surface_create(CAIRO_FORMAT_RGB24, columns, rows);
  if (cairo_surface_status(image) != CAIRO_STATUS_SUCCESS) {
    cairo_surface_destroy(image);
    throw diagnostic_error("cannot draw the cells: out of memory");
  }
  cairo_surface_flush(image);
  unsigned char* data = cairo_image_surface_get_data(image);
  const auto stride = static_cast<std::size_t>(cairo_image_surface_get_stride(image));
  for (int r = 0; r < rows; ++r) {
    auto* row = reinterpret_cast<std::uint32_t*>(data + static_cast<std::size_t>(r) * stride);
    for (int c = 0; c < columns; ++c) {
      const rgb& v = colours[static_cast<std::size_t>(r) * static_cast<std::size_t>(columns) +
                             static_cast<std::size_t>(c)];
      row[c] = 0xff000000u | (std::uint32_t{v.r} << 16) | (std::uint32_t{v.g} << 8) | v.b;
    }
  }
  cairo_surface_mark_dirty(image);
  cairo_save(cr_);
  cairo_translate(cr_, x, y);
  cairo_scale(cr_, sx, sy);
  cairo_set_source_surface(cr_, image, 0, 0);
  // Each cell a sharp square of one colour, in every format.
  cairo_pattern_set_filter(cairo_get_source(cr_), CAIRO_FILTER_NEAREST);
  cairo_rectangle(cr_, 0, 0, columns, rows);
  cairo_fill(cr_);
  cairo_restore(cr_);
  cairo_surface_destroy(image);
}

double figure::text_width(std::string_view s, double size) {
  set_font(size);
  const std::string text(s);
  cairo_text_extents_t e{};
  cairo_text_extents(cr_, text.c_str(), &e);
  return e.x_advance;
}

double figure::text_height(double size) {
  set_font(size);
  cairo_font_extents_t fe{};
  cairo_font_extents(cr_, &fe);
  return fe.ascent + fe.descent;
}

void figure::text(double x, double top, std::string_view s, double size, align a) {
  const std::string t(s);
  texts_.push_back(t);
  const double w = text_width(t, size);
  cairo_font_extents_t fe{};
  cairo_font_extents(cr_, &fe);
  const double left = a == align::left ? x : a == align::centre ? x - w / 2 : x - w;
  boxes_.push_back({left, top, left + w, top + fe.ascent + fe.descent, t});
  set_colour({0, 0, 0});
  cairo_move_to(cr_, left, top + fe.ascent);
  cairo_show_text(cr_, t.c_str());
}

void figure::upright_text(double x, double centre_y, std::string_view s, double size) {
  const std::string t(s);
  texts_.push_back(t);
  const double w = text_width(t, size);
  cairo_font_extents_t fe{};
  cairo_font_extents(cr_, &fe);
  boxes_.push_back({x, centre_y - w / 2, x + fe.ascent + fe.descent, centre_y + w / 2, t});
  cairo_save(cr_);
  cairo_translate(cr_, x, centre_y);
  cairo_rotate(cr_, -std::numbers::pi / 2);
  set_colour({0, 0, 0});
  cairo_move_to(cr_, -w / 2, fe.ascent);
  cairo_show_text(cr_, t.c_str());
  cairo_restore(cr_);
}

void figure::save(const std::string& path) {
  if (format_ == figure_format::png) {
    cairo_surface_flush(surface_);
    if (cairo_surface_write_to_png_stream(surface_, append, &bytes_) != CAIRO_STATUS_SUCCESS)
      throw diagnostic_error(diagnostic::in_file(path, "cannot make the PNG picture"));
  } else {
    cairo_surface_finish(surface_);
  }
  if (cairo_surface_status(surface_) != CAIRO_STATUS_SUCCESS) {
    throw diagnostic_error(
        diagnostic::in_file(path, std::string("cannot draw the picture: ") +
                                      cairo_status_to_string(cairo_surface_status(surface_))));
  }
  if (format_ == figure_format::svg) {
    keep_pixels_square(bytes_);
    // The texts after the opening tag of the document.
    const auto svg = bytes_.find("<svg");
    const auto end = svg == std::string::npos ? svg : bytes_.find('>', svg);
    if (end != std::string::npos) {
      std::string words = "\n<title>" + xml_escaped(title_) + "</title>\n<desc>";
      for (const std::string& t : texts_) words += xml_escaped(t) + "\n";
      words += "</desc>";
      bytes_.insert(end + 1, words);
    }
  }
  output_file out(path);
  if (const io_result r = out.open(); !r.ok())
    throw diagnostic_error(r.problem);
  out.write(bytes_);
  if (const io_result r = out.commit(); !r.ok())
    throw diagnostic_error(r.problem);
}

}  // namespace tervox::view
