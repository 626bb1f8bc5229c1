// The feasibility map's picture: written as a PNG that cairo reads back, of the size the layout
// states, each cell's pixel in its class colour, Method B's mark, the panels side by side; and
// nothing left behind when it cannot be written.
#include "render/map_picture.h"

#include <cairo.h>
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

#include "box_probe.h"
#include "map_test_maps.h"
#include "support.h"

namespace {

// A fresh empty directory for one test, removed with what is left in it by the destructor.
class ScratchDirectory {
 public:
  ScratchDirectory() {
    char name[] = "/tmp/armsim-map-XXXXXX";
    path_ = mkdtemp(name);
  }
  ~ScratchDirectory() {
    for (const std::string& entry : entries()) unlink((path_ + "/" + entry).c_str());
    rmdir(path_.c_str());
  }
  const std::string& path() const { return path_; }
  std::string file(const char* name) const { return path_ + "/" + name; }
  // Names in the directory, hidden ones (the temporary files) included.
  std::vector<std::string> entries() const { return directory_entries(path_); }

 private:
  std::string path_;
};

struct Pixel {
  int r, g, b;
};

// A PNG read back with cairo; its pixels as 0xRRGGBB.
class Png {
 public:
  explicit Png(const std::string& path)
      : surface_(cairo_image_surface_create_from_png(path.c_str())) {}
  ~Png() { cairo_surface_destroy(surface_); }
  bool ok() const { return cairo_surface_status(surface_) == CAIRO_STATUS_SUCCESS; }
  int width() const { return cairo_image_surface_get_width(surface_); }
  int height() const { return cairo_image_surface_get_height(surface_); }
  Pixel at(int x, int y) const {
    const unsigned char* row =
        cairo_image_surface_get_data(surface_) + y * cairo_image_surface_get_stride(surface_);
    const uint32_t argb = reinterpret_cast<const uint32_t*>(row)[x];
    return {static_cast<int>(argb >> 16 & 255), static_cast<int>(argb >> 8 & 255),
            static_cast<int>(argb & 255)};
  }

 private:
  cairo_surface_t* surface_;
};

::testing::AssertionResult has_colour(const Pixel& p, const unsigned char rgb[3]) {
  if (p.r == rgb[0] && p.g == rgb[1] && p.b == rgb[2]) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure()
         << "pixel (" << p.r << ", " << p.g << ", " << p.b << ") instead of (" << int(rgb[0])
         << ", " << int(rgb[1]) << ", " << int(rgb[2]) << ")";
}

bool is_file(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

// One map: the PNG's size is the layout's, a pixel of each class's cell shows its colour, the
// marked cells show the mark at their centre and their class colour beside it, and the scale
// and orientation are the model's (x to the right, y upwards, one step = step * scale pixels).
TEST(MapPicture, PngShowsEachCellInItsClassColour) {
  ScratchDirectory dir;
  const FeasibilityMap map = made_up_map(1, 1.3, 0.1);
  const std::string path = dir.file("map.png");
  std::string why;
  ASSERT_EQ(write_map_png(&map, 1, nullptr, 0, path.c_str(), &why), 1) << why;
  MapPictureLayout layout;
  ASSERT_EQ(map_picture_layout(&map, 1, nullptr, 0, layout), 1);
  Png png(path);
  ASSERT_TRUE(png.ok());
  EXPECT_EQ(png.width(), layout.width);
  EXPECT_EQ(png.height(), layout.height);
  EXPECT_EQ(layout.width, layout.panelWidth);
  EXPECT_GE(layout.plotWidth, kMapPlotPixels - 1);

  // Model axes: x grows to the right, y upwards, both at `scale` pixels per unit.
  double x0, y0, x1, y1;
  map_model_to_pixel(layout, 0, 0, 0, x0, y0);
  map_model_to_pixel(layout, 0, 1, 1, x1, y1);
  EXPECT_NEAR(x1 - x0, layout.scale, 1e-9);
  EXPECT_NEAR(y0 - y1, layout.scale, 1e-9);

  // Cells away from the wall row, the base and the default goal, one per quadrant and class.
  const double probes[][2] = {{1.5, 1.0},   {0.3, 2.0},  {-1.5, 0.5}, {-2.0, -1.0},
                              {-0.5, -2.0}, {1.2, -1.5}, {2.9, 2.9},  {-2.9, -2.9}};
  int marked = 0;
  for (const auto& probe : probes) {
    const int index = map_cell_index(map, probe[0], probe[1]);
    ASSERT_GE(index, 0);
    const MapCell& c = map.cells[index];
    ASSERT_EQ(c.cls, made_up_class(probe[0], probe[1]));
    int px, py;
    ASSERT_EQ(map_cell_colour_pixel(layout, 0, map, index, px, py), 1);
    EXPECT_TRUE(has_colour(png.at(px, py), kMapClassRgb[c.cls]))
        << map_class_name(c.cls) << " at " << probe[0] << ", " << probe[1];
    map_cell_centre_pixel(layout, 0, map, index, px, py);
    EXPECT_TRUE(has_colour(png.at(px, py), c.methodBFinal ? kMapMarkRgb : kMapClassRgb[c.cls]))
        << map_class_name(c.cls) << " centre at " << probe[0] << ", " << probe[1];
    marked += c.methodBFinal;
  }
  EXPECT_EQ(marked, 1);  // (1.2, -1.5): column 42
}

bool is_dark(const Pixel& p) {
  return p.r < 80 && p.g < 80 && p.b < 80;
}

Pixel pixel_at(const Png& png, const MapPictureLayout& layout, int panel, double x, double y,
               double dx = 0, double dy = 0) {
  double px, py;
  map_model_to_pixel(layout, panel, x, y, px, py);
  return png.at(static_cast<int>(std::floor(px + dx)), static_cast<int>(std::floor(py + dy)));
}

// The base at the origin, the wall plate along y = wallY towards -x with its edge at rh, and
// the ring around the default goal are drawn where the model has them.
TEST(MapPicture, BaseWallAndGoalWhereTheModelHasThem) {
  ScratchDirectory dir;
  const FeasibilityMap map = made_up_map(2, -1.0, 0.1);
  const std::string path = dir.file("overlays.png");
  ASSERT_EQ(write_map_png(&map, 1, nullptr, 0, path.c_str()), 1);
  MapPictureLayout layout;
  ASSERT_EQ(map_picture_layout(&map, 1, nullptr, 0, layout), 1);
  Png png(path);
  ASSERT_TRUE(png.ok());
  EXPECT_TRUE(is_dark(pixel_at(png, layout, 0, 0, 0)));         // base
  EXPECT_TRUE(is_dark(pixel_at(png, layout, 0, 0, -1.0)));      // edge
  EXPECT_TRUE(is_dark(pixel_at(png, layout, 0, -1.5, -1.0)));   // plate
  EXPECT_TRUE(is_dark(pixel_at(png, layout, 0, -2.95, -1.0)));  // plate, 3 from the edge
  EXPECT_FALSE(is_dark(pixel_at(png, layout, 0, 1.5, -1.0)));   // no plate towards +x
  EXPECT_FALSE(is_dark(pixel_at(png, layout, 0, -1.5, 1.3)));   // nor at the default wall
  // The ring: dark 9 pixels from the goal's centre, the cell's colour inside.
  EXPECT_TRUE(is_dark(pixel_at(png, layout, 0, kMapDefaultGoalX, kMapDefaultGoalY, 9, 0)));
  EXPECT_TRUE(is_dark(pixel_at(png, layout, 0, kMapDefaultGoalX, kMapDefaultGoalY, 0, -9)));
  const Pixel inside = pixel_at(png, layout, 0, kMapDefaultGoalX, kMapDefaultGoalY, 3, 3);
  EXPECT_TRUE(has_colour(inside, kMapClassRgb[kMapBlocked]));
}

// Four maps side by side: the image is four panels wide, each panel shows its own map at the
// same place, and a cell of map k is found in panel k.
TEST(MapPicture, FourMapsSideBySide) {
  ScratchDirectory dir;
  FeasibilityMap maps[4];
  const MapClass fill[4] = {kMapTouch, kMapClear, kMapBlocked, kMapTouch};
  for (int k = 0; k < 4; k++) {
    maps[k] = made_up_map(k + 1, 1.3, 0.2);
    for (MapCell& c : maps[k].cells)
      if (c.cls != kMapUnreachable) c.cls = fill[k];
  }
  const std::string path = dir.file("all.png");
  std::string why;
  ASSERT_EQ(write_map_png(maps, 4, nullptr, 0, path.c_str(), &why), 1) << why;
  MapPictureLayout one, four;
  ASSERT_EQ(map_picture_layout(maps, 1, nullptr, 0, one), 1);
  ASSERT_EQ(map_picture_layout(maps, 4, nullptr, 0, four), 1);
  EXPECT_EQ(four.panelWidth, one.panelWidth);
  EXPECT_EQ(four.width, 4 * four.panelWidth);
  Png png(path);
  ASSERT_TRUE(png.ok());
  EXPECT_EQ(png.width(), four.width);
  EXPECT_EQ(png.height(), four.height);
  const int index = map_cell_index(maps[0], 1.4, 0.6);
  ASSERT_GE(index, 0);
  for (int k = 0; k < 4; k++) {
    int px, py;
    ASSERT_EQ(map_cell_colour_pixel(four, k, maps[k], index, px, py), 1);
    EXPECT_GE(px, k * four.panelWidth);
    EXPECT_LT(px, (k + 1) * four.panelWidth);
    EXPECT_TRUE(has_colour(png.at(px, py), kMapClassRgb[fill[k]])) << "panel " << k;
  }
}

// The colour of a footprint over a cell of colour under: kMapBoxRgb at kMapBoxAlpha, channel c.
int footprint_over(const unsigned char under[3], int c) {
  return static_cast<int>(
      std::lround(kMapBoxAlpha * kMapBoxRgb[c] + (1 - kMapBoxAlpha) * under[c]));
}

// Within 1 of footprint_over in every channel: 8-bit compositing rounds.
bool is_footprint_colour(const Pixel& p, const unsigned char under[3]) {
  return std::abs(p.r - footprint_over(under, 0)) <= 1 &&
         std::abs(p.g - footprint_over(under, 1)) <= 1 &&
         std::abs(p.b - footprint_over(under, 2)) <= 1;
}

::testing::AssertionResult has_footprint_colour(const Pixel& p, const unsigned char under[3]) {
  if (!is_footprint_colour(p, under))
    return ::testing::AssertionFailure()
           << "pixel (" << p.r << ", " << p.g << ", " << p.b << ") instead of ("
           << footprint_over(under, 0) << ", " << footprint_over(under, 1) << ", "
           << footprint_over(under, 2) << ")";
  return ::testing::AssertionSuccess();
}

// Pixels below the plot (axis labels and legend) in the colour of a footprint over white: the
// legend's box swatch.
int legend_box_pixels(const Png& png, const MapPictureLayout& layout) {
  const unsigned char white[3] = {255, 255, 255};
  int count = 0;
  for (int y = layout.plotTop + layout.plotHeight; y < png.height(); y++)
    for (int x = 0; x < png.width(); x++) count += is_footprint_colour(png.at(x, y), white);
  return count;
}

int dark_pixels_below_plot(const Png& png, const MapPictureLayout& layout) {
  int count = 0;
  for (int y = layout.plotTop + layout.plotHeight; y < png.height(); y++)
    for (int x = 0; x < png.width(); x++) count += is_dark(png.at(x, y));
  return count;
}

// Two boxes on two maps: a table turned about z and a post tilted about an oblique axis, both
// clear of the wall, the base, the goal and the marks. Around each box in each panel, every
// pixel whose 2.5-pixel neighbourhood lies wholly inside the footprint that an independent slab
// test of vertical lines finds shows the footprint over the cell's class colour, and every
// pixel whose neighbourhood lies wholly outside shows the class colour alone: catches a
// transposed or mislaid rotation, a footprint of the wrong corners, a flipped y or a panel
// without boxes. The legend gains the box entry; boxes not counted change no byte.
TEST(MapPicture, BoxFootprintsWhereVerticalLinesMeetTheBoxes) {
  ScratchDirectory dir;
  const FeasibilityMap maps[2] = {made_up_map(1, 1.3, 0.1), made_up_map(3, 1.3, 0.1)};
  const Obstacle boxes[2] = {
      make_box("table", 0.5, 0.3, 1.0, {-1.5, 0.6, 0.5}, turn_about({0, 0, 1}, PI / 6)),
      make_box("post", 0.3, 0.7, 0.5, {-1.0, -1.0, 0.8}, turn_about({1, 2, 3}, 0.87)),
  };
  const std::string plain = dir.file("plain.png"), uncounted = dir.file("uncounted.png"),
                    path = dir.file("boxes.png");
  std::string why;
  ASSERT_EQ(write_map_png(maps, 2, nullptr, 0, plain.c_str(), &why), 1) << why;
  ASSERT_EQ(write_map_png(maps, 2, boxes, 0, uncounted.c_str(), &why), 1) << why;
  ASSERT_EQ(write_map_png(maps, 2, boxes, 2, path.c_str(), &why), 1) << why;
  MapPictureLayout layout, plainLayout;
  ASSERT_EQ(map_picture_layout(maps, 2, boxes, 2, layout), 1);
  ASSERT_EQ(map_picture_layout(maps, 2, nullptr, 0, plainLayout), 1);
  Png png(path), plainPng(plain), uncountedPng(uncounted);
  ASSERT_TRUE(png.ok() && plainPng.ok() && uncountedPng.ok());
  EXPECT_EQ(png.height(), layout.height);
  EXPECT_EQ(plainPng.height(), plainLayout.height);

  const double r = 2.5 / layout.scale;  // the neighbourhood's radius, model units
  for (int panel = 0; panel < 2; panel++) {
    for (const Obstacle& box : boxes) {
      int inside = 0, outside = 0;
      double x0, y0, x1, y1;
      map_model_to_pixel(layout, panel, box.centre.x - 0.65, box.centre.y + 0.65, x0, y0);
      map_model_to_pixel(layout, panel, box.centre.x + 0.65, box.centre.y - 0.65, x1, y1);
      for (int py = static_cast<int>(y0); py < y1; py++)
        for (int px = static_cast<int>(x0); px < x1; px++) {
          // The model point at the pixel's centre.
          const double x =
              layout.xLo + (px + 0.5 - panel * layout.panelWidth - layout.plotLeft) / layout.scale;
          const double y = layout.yHi - (py + 0.5 - layout.plotTop) / layout.scale;
          const int index = map_cell_index(maps[panel], x, y);
          ASSERT_GE(index, 0);
          const unsigned char* under = kMapClassRgb[maps[panel].cells[index].cls];
          const Pixel p = png.at(px, py);
          if (line_meets_box(box, {x, y, 0}, 2, -r)) {
            EXPECT_TRUE(has_footprint_colour(p, under))
                << box.name << " panel " << panel << " inside at " << x << ", " << y;
            inside++;
          } else if (!line_meets_box(box, {x, y, 0}, 2, r)) {
            EXPECT_TRUE(has_colour(p, under))
                << box.name << " panel " << panel << " outside at " << x << ", " << y;
            outside++;
          }
        }
      EXPECT_GT(inside, 500) << box.name;
      EXPECT_GT(outside, 500) << box.name;
    }
  }

  EXPECT_GT(legend_box_pixels(png, layout), 50);
  EXPECT_EQ(legend_box_pixels(plainPng, plainLayout), 0);
  EXPECT_GT(dark_pixels_below_plot(png, layout), dark_pixels_below_plot(plainPng, plainLayout));
  std::ifstream a(plain, std::ios::binary), b(uncounted, std::ios::binary);
  const std::string plainBytes((std::istreambuf_iterator<char>(a)), {}),
      uncountedBytes((std::istreambuf_iterator<char>(b)), {});
  EXPECT_TRUE(!plainBytes.empty() && plainBytes == uncountedBytes);
}

// The map's own helpers: the nearest cell, and what makes a map incomplete.
TEST(MapPicture, CellIndexAndCompleteness) {
  FeasibilityMap map = made_up_map(1, 1.3, 0.5);
  ASSERT_EQ(map.nx, 13);
  EXPECT_EQ(map_cell_index(map, -3, -3), 0);
  EXPECT_EQ(map_cell_index(map, -2.74, -3), 1);  // nearer (-2.5, -3)
  EXPECT_EQ(map_cell_index(map, 3, 3), 13 * 13 - 1);
  EXPECT_EQ(map_cell_index(map, 0.1, 0.4), 6 * 13 + 6 + 13);
  EXPECT_EQ(map_cell_index(map, 3.3, 0), -1);
  EXPECT_EQ(map_cell_index(map, 0, -3.26), -1);
  EXPECT_EQ(map_cell_index(map, NAN, 0), -1);
  std::string why;
  EXPECT_EQ(map_is_complete(map, why), 1);
  map.cells[5].cls = kMapPending;
  EXPECT_EQ(map_is_complete(map, why), 0);
  map.cells[5].cls = kMapClear;
  map.cells.pop_back();
  EXPECT_EQ(map_is_complete(map, why), 0);
  map = made_up_map(5, 1.3, 0.5);
  EXPECT_EQ(map_is_complete(map, why), 0);
  map = made_up_map(1, NAN, 0.5);
  EXPECT_EQ(map_is_complete(map, why), 0);
  EXPECT_STREQ(map_class_name(kMapTouch), "touch");
  EXPECT_STREQ(map_class_name(kMapClear), "clear");
  EXPECT_STREQ(map_class_name(kMapBlocked), "blocked");
  EXPECT_STREQ(map_class_name(kMapUnreachable), "unreachable");
}

// A picture that cannot be written leaves no file: a missing directory, a path that is a
// directory, an incomplete map, a bad count; and a file already there stays as it was.
TEST(MapPicture, FailureLeavesNoFile) {
  ScratchDirectory dir;
  const FeasibilityMap map = made_up_map(1, 1.3, 0.25);
  std::string why;
  const std::string missing = dir.file("no-such-directory/map.png");
  EXPECT_EQ(write_map_png(&map, 1, nullptr, 0, missing.c_str(), &why), 0);
  EXPECT_NE(why.find("no-such-directory"), std::string::npos) << why;
  EXPECT_EQ(why.find('\n'), std::string::npos);

  const std::string sub = dir.file("sub");
  ASSERT_EQ(mkdir(sub.c_str(), 0755), 0);
  why.clear();
  EXPECT_EQ(write_map_png(&map, 1, nullptr, 0, sub.c_str(), &why), 0);
  EXPECT_FALSE(why.empty());
  EXPECT_EQ(dir.entries(), std::vector<std::string>{"sub"});  // no temporary file left
  rmdir(sub.c_str());

  FeasibilityMap pending = map;
  pending.cells[7].cls = kMapPending;
  const std::string path = dir.file("map.png");
  EXPECT_EQ(write_map_png(&pending, 1, nullptr, 0, path.c_str(), &why), 0);
  EXPECT_FALSE(is_file(path));
  EXPECT_EQ(write_map_png(&map, 0, nullptr, 0, path.c_str(), &why), 0);
  EXPECT_EQ(write_map_png(nullptr, 1, nullptr, 0, path.c_str(), &why), 0);
  Obstacle boxes[kMaxObstacles + 1];
  for (Obstacle& box : boxes) box = make_box("b", 1, 1, 1, {0, 0, 0.5}, turn_about({0, 0, 1}, 0));
  EXPECT_EQ(write_map_png(&map, 1, boxes, kMaxObstacles + 1, path.c_str(), &why), 0);
  boxes[1].centre.y = NAN;
  EXPECT_EQ(write_map_png(&map, 1, boxes, 2, path.c_str(), &why), 0);
  EXPECT_TRUE(dir.entries().empty());

  // Over an existing file: a failure keeps it, a success replaces it whole.
  FILE* old = fopen(path.c_str(), "w");
  fputs("old", old);
  fclose(old);
  EXPECT_EQ(write_map_png(&pending, 1, nullptr, 0, path.c_str(), &why), 0);
  EXPECT_EQ(Png(path).ok(), false);
  ASSERT_EQ(write_map_png(&map, 1, nullptr, 0, path.c_str(), &why), 1) << why;
  EXPECT_TRUE(Png(path).ok());
  EXPECT_EQ(dir.entries(), std::vector<std::string>{"map.png"});
}

}  // namespace
