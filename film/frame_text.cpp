#include "film/frame_text.h"

#include <cairo.h>

#include <cstddef>

namespace {

// The white band's margin around the text, pixels.
constexpr double kTextPad = 2;

// A cairo surface over the frame's own words (cairo's RGB24 is the same layout).
cairo_surface_t* frame_surface(const uint32_t pixels[], int width, int height) {
  return cairo_image_surface_create_for_data(
      reinterpret_cast<unsigned char*>(const_cast<uint32_t*>(pixels)), CAIRO_FORMAT_RGB24, width,
      height, 4 * width);
}

cairo_status_t write_to_stream(void* closure, const unsigned char* bytes, unsigned int count) {
  return std::fwrite(bytes, 1, count, static_cast<FILE*>(closure)) == count
             ? CAIRO_STATUS_SUCCESS
             : CAIRO_STATUS_WRITE_ERROR;
}

}  // namespace

void draw_frame_text(uint32_t pixels[], int width, int height, double x, double y,
                     const char* text) {
  cairo_surface_t* surface = frame_surface(pixels, width, height);
  cairo_t* cr = cairo_create(surface);
  cairo_select_font_face(cr, "sans-serif", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
  cairo_set_font_size(cr, 18);
  // On a white band, so no grid line runs through the letters.
  cairo_text_extents_t extents;
  cairo_text_extents(cr, text, &extents);
  cairo_set_source_rgb(cr, 1, 1, 1);
  cairo_rectangle(cr, x + extents.x_bearing - kTextPad, y + extents.y_bearing - kTextPad,
                  extents.width + 2 * kTextPad, extents.height + 2 * kTextPad);
  cairo_fill(cr);
  cairo_set_source_rgb(cr, 0, 0, 0);
  cairo_move_to(cr, x, y);
  cairo_show_text(cr, text);
  cairo_destroy(cr);
  cairo_surface_flush(surface);
  cairo_surface_destroy(surface);
  // Cairo fills the unused top byte of what it drew; a frame's words keep it 0.
  const size_t count = static_cast<size_t>(width) * height;
  for (size_t k = 0; k < count; k++) pixels[k] &= 0xffffffu;
}

int write_frame_png(const uint32_t pixels[], int width, int height, FILE* stream) {
  cairo_surface_t* surface = frame_surface(pixels, width, height);
  const cairo_status_t status = cairo_surface_write_to_png_stream(surface, write_to_stream, stream);
  cairo_surface_destroy(surface);
  return status == CAIRO_STATUS_SUCCESS;
}
