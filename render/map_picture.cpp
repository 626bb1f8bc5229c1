#include "render/map_picture.h"

#include <cairo.h>

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "math/number_text.h"
#include "task/map_shares.h"
#include "util/atomic_file.h"

namespace {

// Panel margins around the plot, pixels.
constexpr int kMarginLeft = 76;   // y tick labels and the axis name
constexpr int kMarginRight = 28;  // room for the last x tick label
constexpr int kTitleHeight = 64;  // two title lines
constexpr int kAxisHeight = 50;   // x tick labels and the axis name
// Legend band under the panels: rows of items, flowed left to right.
constexpr int kLegendPad = 12;
constexpr int kLegendRow = 24;
constexpr int kLegendSwatch = 14;
constexpr int kLegendGap = 26;  // between items
constexpr int kMaxMaps = 8;

const char kFontFamily[] = "DejaVu Sans";
constexpr double kTitleFontSize = 16;
constexpr double kSubtitleFontSize = 12.5;
constexpr double kLabelFontSize = 12.5;
constexpr double kLegendFontSize = 13;

// Overlays: the wall plate as a thick line, its edge as a dot, the base as a square, the
// default goal as an open ring (the cell under it keeps its colour).
constexpr double kWallLineWidth = 3.0;
constexpr double kEdgeDotRadius = 4.5;
constexpr double kBaseHalfSide = 6.0;
constexpr double kGoalRingRadius = 9.0;
constexpr double kGoalRingWidth = 2.0;
constexpr double kMinMarkPixels = 1.2;

// Smallest cell, in pixels, for which map_cell_colour_pixel can vouch for its pixel.
constexpr double kMinCertainCell = 6.0;

void set_rgb(cairo_t* cr, const unsigned char rgb[3]) {
  cairo_set_source_rgb(cr, rgb[0] / 255.0, rgb[1] / 255.0, rgb[2] / 255.0);
}

// Number text in the C locale: fixed with `decimals` digits, or up to 6 significant digits when
// decimals < 0.
std::string number_text(double value, int decimals) {
  std::string text;
  if (decimals >= 0)
    append_fixed(text, value, decimals);
  else
    append_number(text, value, 6);
  return text;
}

double text_width(cairo_t* cr, const std::string& text) {
  cairo_text_extents_t extents;
  cairo_text_extents(cr, text.c_str(), &extents);
  return extents.x_advance;
}

// Text whose left end, centre or right end (align 0, 0.5 or 1) is at x, baseline at y.
void show_text(cairo_t* cr, const std::string& text, double x, double y, double align) {
  cairo_move_to(cr, x - align * text_width(cr, text), y);
  cairo_show_text(cr, text.c_str());
}

// The tick spacing: the smallest of 0.1, 0.2, 0.25, 0.5, 1, 2, 5, 10, ... that puts ticks at
// least 46 pixels apart.
double tick_spacing(double scale) {
  const double steps[4] = {1, 2, 2.5, 5};
  for (double decade = 0.1;; decade *= 10)
    for (double s : steps)
      if (s * decade * scale >= 46) return s * decade;
}

int tick_decimals(double spacing) {
  if (spacing >= 1) return 0;
  if (std::fabs(spacing - 0.25) < 1e-12) return 2;
  return 1;
}

// The legend's first entries are the cell classes; they get a row of their own when the legend
// does not fit on one.
int legend_class_entries() {
  int count = 0;
  while (count < kMapLegendCount && kMapLegend[count].symbol == kMapLegendClass) count++;
  return count;
}

// Whether the legend shows entry k: every entry, but the box only with boxes.
bool legend_shows(int k, bool withBoxes) {
  return withBoxes || kMapLegend[k].symbol != kMapLegendBox;
}

double legend_item_width(cairo_t* cr, int k) {
  return kLegendSwatch + 6 + text_width(cr, kMapLegend[k].name);
}

// Rows the legend needs in an image `width` wide, and each item's position when positions is
// given: item k at (x, row). All on one row when they fit, else the classes on the first row
// and the symbols after them, each row flowed left to right. The box's entry only withBoxes.
int legend_rows(cairo_t* cr, int width, bool withBoxes, int positions[][2]) {
  cairo_select_font_face(cr, kFontFamily, CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
  cairo_set_font_size(cr, kLegendFontSize);
  double all = kLegendPad;
  for (int k = 0; k < kMapLegendCount; k++)
    if (legend_shows(k, withBoxes)) all += legend_item_width(cr, k) + kLegendGap;
  const bool oneRow = all - kLegendGap <= width - kLegendPad;
  const int classEntries = legend_class_entries();
  int row = 0;
  double x = kLegendPad;
  for (int k = 0; k < kMapLegendCount; k++) {
    if (!legend_shows(k, withBoxes)) continue;
    const double itemWidth = legend_item_width(cr, k);
    if (x > kLegendPad && ((!oneRow && k == classEntries) || x + itemWidth > width - kLegendPad)) {
      row++;
      x = kLegendPad;
    }
    if (positions != nullptr) {
      positions[k][0] = static_cast<int>(x);
      positions[k][1] = row;
    }
    x += itemWidth + kLegendGap;
  }
  return row + 1;
}

// Legend height for an image `width` wide, measured on a scratch surface.
int legend_height(int width, bool withBoxes) {
  cairo_surface_t* scratch = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 1, 1);
  cairo_t* cr = cairo_create(scratch);
  const int rows = legend_rows(cr, width, withBoxes, nullptr);
  cairo_destroy(cr);
  cairo_surface_destroy(scratch);
  return 2 * kLegendPad + rows * kLegendRow;
}

// The current path filled black with a white outline of the given width.
void fill_black_outlined_white(cairo_t* cr, double lineWidth) {
  cairo_set_source_rgb(cr, 0, 0, 0);
  cairo_fill_preserve(cr);
  cairo_set_source_rgb(cr, 1, 1, 1);
  cairo_set_line_width(cr, lineWidth);
  cairo_stroke(cr);
}

void draw_base_symbol(cairo_t* cr, double x, double y) {
  cairo_rectangle(cr, x - kBaseHalfSide, y - kBaseHalfSide, 2 * kBaseHalfSide, 2 * kBaseHalfSide);
  fill_black_outlined_white(cr, 1.5);
}

void draw_edge_symbol(cairo_t* cr, double x, double y) {
  cairo_arc(cr, x, y, kEdgeDotRadius, 0, 2 * PI);
  fill_black_outlined_white(cr, 1.2);
}

void draw_goal_symbol(cairo_t* cr, double x, double y) {
  cairo_new_sub_path(cr);
  cairo_arc(cr, x, y, kGoalRingRadius, 0, 2 * PI);
  cairo_set_source_rgb(cr, 0, 0, 0);
  cairo_set_line_width(cr, kGoalRingWidth);
  cairo_stroke(cr);
}

void draw_mark(cairo_t* cr, double x, double y, double radius) {
  cairo_new_sub_path(cr);
  cairo_arc(cr, x, y, radius, 0, 2 * PI);
  set_rgb(cr, kMapMarkRgb);
  cairo_fill(cr);
}

double mark_radius(const MapPictureLayout& layout, double step) {
  return std::max(kMapMarkRadius * step * layout.scale, kMinMarkPixels);
}

// A cell whose goal has valid poses but no collision-free motion: black diagonals over it and an
// outline, so its class colour still shows.
void draw_hatch(cairo_t* cr, double x0, double y0, double x1, double y1) {
  cairo_save(cr);
  cairo_rectangle(cr, x0, y0, x1 - x0, y1 - y0);
  cairo_clip_preserve(cr);
  cairo_set_source_rgb(cr, 0, 0, 0);
  cairo_set_line_width(cr, 1);
  cairo_stroke(cr);
  const double side = std::max(x1 - x0, y1 - y0);
  for (double d = -side; d < side; d += std::max(3.0, side / 3)) {
    cairo_move_to(cr, x0 + d, y1);
    cairo_line_to(cr, x0 + d + side, y1 - side);
  }
  cairo_stroke(cr);
  cairo_restore(cr);
}

// The current path as a box's footprint: filled translucent and outlined in the box colour.
void fill_and_outline_footprint(cairo_t* cr) {
  cairo_set_source_rgba(cr, kMapBoxRgb[0] / 255.0, kMapBoxRgb[1] / 255.0, kMapBoxRgb[2] / 255.0,
                        kMapBoxAlpha);
  cairo_fill_preserve(cr);
  set_rgb(cr, kMapBoxRgb);
  cairo_set_line_width(cr, kMapBoxLineWidth);
  cairo_stroke(cr);
}

// A point on the floor, model units.
struct FloorPoint {
  double x, y;
};

// The z component of (a - o) x (b - o): positive when o, a, b turn left.
double turn(const FloorPoint& o, const FloorPoint& a, const FloorPoint& b) {
  return (a.x - o.x) * (b.y - o.y) - (a.y - o.y) * (b.x - o.x);
}

// The outline of box seen from above: the convex hull of its 8 corners' (x, y), counter-clockwise
// into hull (Andrew's monotone chain). Returns the number of hull points: 4 to 6 for a box of
// positive sides.
int footprint(const Obstacle& box, FloorPoint hull[8]) {
  FloorPoint p[8];
  const double* m = box.R.m;
  for (int k = 0; k < 8; k++) {
    const double u = (k & 1 ? 0.5 : -0.5) * box.size[0], v = (k & 2 ? 0.5 : -0.5) * box.size[1],
                 w = (k & 4 ? 0.5 : -0.5) * box.size[2];
    p[k] = {box.centre.x + m[0] * u + m[1] * v + m[2] * w,
            box.centre.y + m[3] * u + m[4] * v + m[5] * w};
  }
  std::sort(p, p + 8, [](const FloorPoint& a, const FloorPoint& b) {
    return a.x < b.x || (a.x == b.x && a.y < b.y);
  });
  // Lower chain left to right, then upper chain right to left; each ends where the next starts.
  FloorPoint chain[17];
  int n = 0;
  for (int j = 0; j < 8; j++) {
    while (n >= 2 && turn(chain[n - 2], chain[n - 1], p[j]) <= 0) n--;
    chain[n++] = p[j];
  }
  const int lower = n + 1;
  for (int j = 6; j >= 0; j--) {
    while (n >= lower && turn(chain[n - 2], chain[n - 1], p[j]) <= 0) n--;
    chain[n++] = p[j];
  }
  n--;  // the last point is the first
  for (int k = 0; k < n; k++) hull[k] = chain[k];
  return n;
}

// Each box's footprint in panel `panel`, antialiased, over the cells.
void draw_footprints(cairo_t* cr, const MapPictureLayout& layout, int panel, const Obstacle boxes[],
                     int boxCount) {
  for (int b = 0; b < boxCount; b++) {
    FloorPoint hull[8];
    const int n = footprint(boxes[b], hull);
    for (int k = 0; k < n; k++) {
      double px, py;
      map_model_to_pixel(layout, panel, hull[k].x, hull[k].y, px, py);
      if (k == 0)
        cairo_move_to(cr, px, py);
      else
        cairo_line_to(cr, px, py);
    }
    cairo_close_path(cr);
    fill_and_outline_footprint(cr);
  }
}

void draw_legend(cairo_t* cr, const MapPictureLayout& layout, bool withBoxes) {
  int positions[kMapLegendCount][2];
  legend_rows(cr, layout.width, withBoxes, positions);
  const double top = layout.height - legend_height(layout.width, withBoxes) + kLegendPad;
  cairo_set_font_size(cr, kLegendFontSize);
  for (int k = 0; k < kMapLegendCount; k++) {
    if (!legend_shows(k, withBoxes)) continue;
    const double x = positions[k][0];
    const double y = top + positions[k][1] * kLegendRow;
    const double cx = x + kLegendSwatch / 2.0, cy = y + kLegendSwatch / 2.0;
    const MapLegendEntry& entry = kMapLegend[k];
    switch (entry.symbol) {
      case kMapLegendClass:
      case kMapLegendMethodB:
        cairo_rectangle(cr, x + 0.5, y + 0.5, kLegendSwatch - 1, kLegendSwatch - 1);
        set_rgb(cr, kMapClassRgb[entry.cls]);
        cairo_fill_preserve(cr);
        cairo_set_source_rgb(cr, 0, 0, 0);
        cairo_set_line_width(cr, 1);
        cairo_stroke(cr);
        if (entry.symbol == kMapLegendMethodB) draw_mark(cr, cx, cy, 3);
        break;
      case kMapLegendNoMotion:
        set_rgb(cr, kMapClassRgb[entry.cls]);
        cairo_rectangle(cr, x, y, kLegendSwatch, kLegendSwatch);
        cairo_fill(cr);
        draw_hatch(cr, x, y, x + kLegendSwatch, y + kLegendSwatch);
        break;
      case kMapLegendBase:
        draw_base_symbol(cr, cx, cy);
        break;
      case kMapLegendWall:
        cairo_move_to(cr, x - 4, cy);
        cairo_line_to(cr, cx, cy);
        cairo_set_source_rgb(cr, 0, 0, 0);
        cairo_set_line_width(cr, kWallLineWidth);
        cairo_stroke(cr);
        draw_edge_symbol(cr, cx, cy);
        break;
      case kMapLegendGoal:
        draw_goal_symbol(cr, cx, cy);
        break;
      case kMapLegendBox:
        cairo_rectangle(cr, x + 1, y + 1, kLegendSwatch - 2, kLegendSwatch - 2);
        fill_and_outline_footprint(cr);
        break;
    }
    cairo_set_source_rgb(cr, 0, 0, 0);
    show_text(cr, entry.name, x + kLegendSwatch + 6, y + kLegendSwatch - 2, 0);
  }
}

// Title lines of one panel: type, joint letters and wall; then the shares of the reachable
// cells.
void draw_title(cairo_t* cr, const FeasibilityMap& map, double centre) {
  const char* j = map.jointLetters;
  std::string title = "Type " + std::to_string(map.type) + "   " + std::string(j, 2) + "-" +
                      std::string(j + 2, 2) + "-" + std::string(j + 4, 3) +
                      "   wall edge at y = " + number_text(map.wallY, -1);
  cairo_select_font_face(cr, kFontFamily, CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_BOLD);
  cairo_set_font_size(cr, kTitleFontSize);
  cairo_set_source_rgb(cr, 0, 0, 0);
  show_text(cr, title, centre, 26, 0.5);

  MapShares shares;
  map_shares(map, shares);
  auto share = [](double percent) { return number_text(percent, 1) + "%"; };
  const std::string subtitle = "step " + number_text(map.step, -1) + ", " +
                               std::to_string(shares.reach) + " cells in reach: touching " +
                               share(shares.touch) + ", clear only " + share(shares.clear) +
                               ", Method B " + share(shares.methodB);
  cairo_select_font_face(cr, kFontFamily, CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
  cairo_set_font_size(cr, kSubtitleFontSize);
  show_text(cr, subtitle, centre, 48, 0.5);
}

void draw_axes(cairo_t* cr, const MapPictureLayout& layout, double left) {
  const double top = layout.plotTop, right = left + layout.plotWidth,
               bottom = top + layout.plotHeight;
  cairo_set_source_rgb(cr, 0, 0, 0);
  cairo_set_line_width(cr, 1);
  cairo_rectangle(cr, left + 0.5, top + 0.5, layout.plotWidth - 1, layout.plotHeight - 1);
  cairo_stroke(cr);

  const double spacing = tick_spacing(layout.scale);
  const int decimals = tick_decimals(spacing);
  cairo_select_font_face(cr, kFontFamily, CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
  cairo_set_font_size(cr, kLabelFontSize);
  for (long k = static_cast<long>(std::ceil(layout.xLo / spacing - 1e-9));
       k * spacing <= layout.xHi + 1e-9; k++) {
    const double x = left + std::floor((k * spacing - layout.xLo) * layout.scale) + 0.5;
    cairo_move_to(cr, x, bottom);
    cairo_line_to(cr, x, bottom + 6);
    cairo_stroke(cr);
    show_text(cr, number_text(k * spacing, decimals), x, bottom + 20, 0.5);
  }
  for (long k = static_cast<long>(std::ceil(layout.yLo / spacing - 1e-9));
       k * spacing <= layout.yHi + 1e-9; k++) {
    const double y = top + std::floor((layout.yHi - k * spacing) * layout.scale) + 0.5;
    cairo_move_to(cr, left, y);
    cairo_line_to(cr, left - 6, y);
    cairo_stroke(cr);
    show_text(cr, number_text(k * spacing, decimals), left - 9, y + 4.5, 1);
  }
  cairo_select_font_face(cr, kFontFamily, CAIRO_FONT_SLANT_ITALIC, CAIRO_FONT_WEIGHT_NORMAL);
  cairo_set_font_size(cr, kLabelFontSize + 1);
  show_text(cr, "x", (left + right) / 2, bottom + 40, 0.5);
  show_text(cr, "y", left - 58, (top + bottom) / 2 + 4, 0.5);
}

// One map in panel `panel`: cells, marks, the boxes' footprints, wall, frame and axes, base,
// edge, goal, title.
void draw_panel(cairo_t* cr, const MapPictureLayout& layout, int panel, const FeasibilityMap& map,
                const Obstacle boxes[], int boxCount) {
  const double left = panel * layout.panelWidth + layout.plotLeft;
  cairo_save(cr);
  cairo_rectangle(cr, left, layout.plotTop, layout.plotWidth, layout.plotHeight);
  cairo_clip(cr);

  // Cells without anti-aliasing, each from its own edges, so that every pixel shows one class
  // colour exactly and neighbours share their edges.
  cairo_set_antialias(cr, CAIRO_ANTIALIAS_NONE);
  for (int j = 0; j < map.ny; j++) {
    double x0, y0, x1, y1;
    map_model_to_pixel(layout, panel, 0, map.yMin + (j - 0.5) * map.step, x0, y0);
    map_model_to_pixel(layout, panel, 0, map.yMin + (j + 0.5) * map.step, x1, y1);
    for (int i = 0; i < map.nx; i++) {
      const MapCell& c = map.cells[static_cast<size_t>(j) * map.nx + i];
      double a0, a1, unused;
      map_model_to_pixel(layout, panel, map.xMin + (i - 0.5) * map.step, 0, a0, unused);
      map_model_to_pixel(layout, panel, map.xMin + (i + 0.5) * map.step, 0, a1, unused);
      cairo_rectangle(cr, a0, y1, a1 - a0, y0 - y1);
      set_rgb(cr, kMapClassRgb[c.cls]);
      cairo_fill(cr);
      if (c.motion == kMapMotionNone) draw_hatch(cr, a0, y1, a1, y0);
    }
  }
  cairo_set_antialias(cr, CAIRO_ANTIALIAS_DEFAULT);

  const double radius = mark_radius(layout, map.step);
  for (const MapCell& c : map.cells) {
    if (!c.methodBFinal) continue;
    double px, py;
    map_model_to_pixel(layout, panel, c.x, c.y, px, py);
    draw_mark(cr, px, py, radius);
  }
  draw_footprints(cr, layout, panel, boxes, boxCount);

  double ex, ey, wx, wy;
  map_model_to_pixel(layout, panel, map.rh.x, map.rh.y, ex, ey);
  map_model_to_pixel(layout, panel, map.rh.x - kWallPlateSize, map.rh.y, wx, wy);
  cairo_move_to(cr, wx, wy);
  cairo_line_to(cr, ex, ey);
  cairo_set_source_rgb(cr, 0, 0, 0);
  cairo_set_line_width(cr, kWallLineWidth);
  cairo_stroke(cr);
  cairo_restore(cr);

  draw_axes(cr, layout, left);
  double bx, by, gx, gy;
  map_model_to_pixel(layout, panel, 0, 0, bx, by);
  draw_base_symbol(cr, bx, by);
  draw_edge_symbol(cr, ex, ey);
  map_model_to_pixel(layout, panel, kMapDefaultGoalX, kMapDefaultGoalY, gx, gy);
  draw_goal_symbol(cr, gx, gy);
  draw_title(cr, map, panel * layout.panelWidth + layout.panelWidth / 2.0);
}

cairo_status_t write_to_file(void* closure, const unsigned char* data, unsigned int length) {
  FILE* stream = static_cast<FILE*>(closure);
  return fwrite(data, 1, length, stream) == length ? CAIRO_STATUS_SUCCESS
                                                   : CAIRO_STATUS_WRITE_ERROR;
}

// Whether boxes[0..boxCount-1] can be drawn: 0..kMaxObstacles of them, every number finite.
bool boxes_drawable(const Obstacle boxes[], int boxCount) {
  if (boxCount < 0 || boxCount > kMaxObstacles || (boxCount > 0 && boxes == nullptr)) return false;
  for (int b = 0; b < boxCount; b++) {
    const Obstacle& box = boxes[b];
    const double centre[3] = {box.centre.x, box.centre.y, box.centre.z};
    if (!all_finite(box.size, 3) || !all_finite(centre, 3) || !all_finite(box.R.m, 9)) return false;
  }
  return true;
}

void set_why(std::string* why, const std::string& text) {
  if (why != nullptr) *why = text;
}

}  // namespace

int map_picture_layout(const FeasibilityMap maps[], int count, const Obstacle boxes[], int boxCount,
                       MapPictureLayout& layout) {
  if (maps == nullptr || count < 1 || count > kMaxMaps || !boxes_drawable(boxes, boxCount))
    return 0;
  std::string why;
  // The window: every grid with its cells' halves, the base, the wall edge, the default goal.
  double xLo = std::min(0.0, kMapDefaultGoalX), xHi = std::max(0.0, kMapDefaultGoalX);
  double yLo = std::min(0.0, kMapDefaultGoalY), yHi = std::max(0.0, kMapDefaultGoalY);
  for (int k = 0; k < count; k++) {
    const FeasibilityMap& m = maps[k];
    if (!map_is_complete(m, why)) return 0;
    xLo = std::min({xLo, m.xMin - m.step / 2, m.rh.x});
    xHi = std::max({xHi, m.xMin + (m.nx - 0.5) * m.step, m.rh.x});
    yLo = std::min({yLo, m.yMin - m.step / 2, m.rh.y});
    yHi = std::max({yHi, m.yMin + (m.ny - 0.5) * m.step, m.rh.y});
  }
  const double pad = 0.03 * std::max({xHi - xLo, yHi - yLo, 0.5});
  layout.xLo = xLo - pad;
  layout.xHi = xHi + pad;
  layout.yLo = yLo - pad;
  layout.yHi = yHi + pad;
  layout.scale = kMapPlotPixels / std::max(layout.xHi - layout.xLo, layout.yHi - layout.yLo);
  layout.plotWidth = static_cast<int>(std::ceil((layout.xHi - layout.xLo) * layout.scale));
  layout.plotHeight = static_cast<int>(std::ceil((layout.yHi - layout.yLo) * layout.scale));
  layout.plotLeft = kMarginLeft;
  layout.plotTop = kTitleHeight;
  layout.panelWidth = kMarginLeft + layout.plotWidth + kMarginRight;
  layout.width = count * layout.panelWidth;
  layout.height =
      kTitleHeight + layout.plotHeight + kAxisHeight + legend_height(layout.width, boxCount > 0);
  return 1;
}

void map_model_to_pixel(const MapPictureLayout& layout, int panel, double x, double y, double& px,
                        double& py) {
  px = panel * layout.panelWidth + layout.plotLeft + (x - layout.xLo) * layout.scale;
  py = layout.plotTop + (layout.yHi - y) * layout.scale;
}

void map_cell_centre_pixel(const MapPictureLayout& layout, int panel, const FeasibilityMap& map,
                           int index, int& px, int& py) {
  const MapCell& c = map.cells[index];
  double x, y;
  map_model_to_pixel(layout, panel, c.x, c.y, x, y);
  px = static_cast<int>(std::floor(x));
  py = static_cast<int>(std::floor(y));
}

int map_cell_colour_pixel(const MapPictureLayout& layout, int panel, const FeasibilityMap& map,
                          int index, int& px, int& py) {
  const MapCell& c = map.cells[index];
  double x, y;
  map_model_to_pixel(layout, panel, c.x - map.step / 3, c.y - map.step / 3, x, y);
  px = static_cast<int>(std::floor(x));
  py = static_cast<int>(std::floor(y));
  return map.step * layout.scale >= kMinCertainCell ? 1 : 0;
}

int write_map_png(const FeasibilityMap maps[], int count, const Obstacle boxes[], int boxCount,
                  const char* path, std::string* why) {
  if (maps == nullptr || count < 1 || count > kMaxMaps) {
    set_why(why, "between 1 and 8 maps go into one picture");
    return 0;
  }
  if (!boxes_drawable(boxes, boxCount)) {
    set_why(why,
            "the boxes are more than " + std::to_string(kMaxObstacles) + " or not finite numbers");
    return 0;
  }
  std::string reason;
  for (int k = 0; k < count; k++)
    if (!map_is_complete(maps[k], reason)) {
      set_why(why, reason);
      return 0;
    }
  MapPictureLayout layout;
  map_picture_layout(maps, count, boxes, boxCount, layout);
  cairo_surface_t* surface =
      cairo_image_surface_create(CAIRO_FORMAT_RGB24, layout.width, layout.height);
  cairo_t* cr = cairo_create(surface);
  cairo_set_source_rgb(cr, 1, 1, 1);
  cairo_paint(cr);
  for (int k = 0; k < count; k++) draw_panel(cr, layout, k, maps[k], boxes, boxCount);
  draw_legend(cr, layout, boxCount > 0);
  cairo_status_t status = cairo_status(cr);
  cairo_destroy(cr);
  int result = 0;
  if (status != CAIRO_STATUS_SUCCESS) {
    set_why(why, std::string("cannot draw the picture: ") + cairo_status_to_string(status));
  } else {
    AtomicFile file;
    if (!atomic_file_open(path, file, reason)) {
      set_why(why, reason);
    } else {
      status = cairo_surface_write_to_png_stream(surface, write_to_file, file.stream);
      if (status != CAIRO_STATUS_SUCCESS) {
        atomic_file_abandon(file);
        set_why(why, std::string("cannot write ") + path + ": " + cairo_status_to_string(status));
      } else if (!atomic_file_commit(file, reason)) {
        set_why(why, reason);
      } else {
        result = 1;
      }
    }
  }
  cairo_surface_destroy(surface);
  return result;
}
