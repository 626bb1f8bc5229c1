// The feasibility map with the real evaluator: its cells are what the complete solver and
// Method B give goal by goal, one thread and two give the same table byte for byte, the default
// goal's cell is what the scenes show, and --map writes a PNG with the touching colour at
// a touching cell, or nothing at all for a wall the dialog refuses.
#include <cairo.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "app/command_modes.h"
#include "contact/placement.h"
#include "model/robot_catalogue.h"
#include "render/map_picture.h"
#include "support.h"
#include "task/feasibility_map.h"
#include "task/motion/map_evaluation.h"

namespace {

const Mat3 kGoalOrientation = {{1, 0, 0, 0, -1, 0, 0, 0, -1}};

bool exists(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0;
}

}  // namespace

// A coarse map of type 2: every evaluated cell's class and counts are those of the complete
// solver run on that goal here, and two threads write the same CSV as one.
TEST(MapEvaluation, CellsAreTheSolverGoalByGoal) {
  FeasibilityMap one, two;
  ASSERT_EQ(map_grid(2, 1.3, 0.5, one), 1);
  ASSERT_EQ(map_grid(2, 1.3, 0.5, two), 1);
  ASSERT_EQ(evaluate_maps(&one, 1, evaluate_map_cell, 1, nullptr, nullptr), 1);
  ASSERT_EQ(evaluate_maps(&two, 1, evaluate_map_cell, 2, nullptr, nullptr), 1);
  std::string a, b, why;
  ASSERT_EQ(map_csv_text(&one, 1, a, why), 1) << why;
  ASSERT_EQ(map_csv_text(&two, 1, b, why), 1) << why;
  EXPECT_EQ(a, b);

  RobotModel robot;
  robot_setup(2, robot);
  static PlacementResult result;
  int evaluated = 0;
  for (const MapCell& c : one.cells) {
    if (c.cls == kMapUnreachable && c.touchCount == 0 && c.clearCount == 0) continue;
    Workcell cell = {};
    cell.rwG = {c.x, c.y, robot.workSize[2] / 2};
    cell.EwG = kGoalOrientation;
    cell.rh = {0, 1.3, 0};
    placement_solve(robot, cell, robot.qInit, PlacementOptions(), result);
    EXPECT_EQ(c.touchCount, result.touchCount) << c.x << " " << c.y;
    EXPECT_EQ(c.clearCount, result.clearCount) << c.x << " " << c.y;
    const MapClass expected =
        result.touchCount > 0   ? kMapTouch
        : result.clearCount > 0 ? kMapClear
        : result.status == kPlacementWallCutsAll || result.status == kPlacementUnverified
            ? kMapBlocked
            : kMapUnreachable;
    EXPECT_EQ(c.cls, expected) << c.x << " " << c.y;
    evaluated++;
  }
  EXPECT_GT(evaluated, 50);
}

// The default goal: touching poses for every type; Method B reaches a final pose for type 1
// (in about 165 steps) but not for types 3 and 4, where it repeats itself.
TEST(MapEvaluation, DefaultGoalCell) {
  Workcell scene = {};
  scene.rh = {0, 1.3, 0};
  for (int type : {1, 3, 4}) {
    MapCell c = {-0.6, 2.2, kMapPending, 0, 0, false, 0, kMapMotionUnset};
    evaluate_map_cell(type, scene, -0.6, 2.2, c);
    EXPECT_EQ(c.cls, kMapTouch) << type;
    EXPECT_GT(c.touchCount, 0) << type;
    EXPECT_EQ(c.methodBFinal, type == 1) << type;
    EXPECT_LT(c.methodBSteps, 1000) << type;
  }
}

// --map end to end: exit 0, the PNG reads back with the touching colour at the default goal's
// cell and the CSV has a row per cell; a refused wall exits 2 and leaves no file.
TEST(MapCommand, WritesPictureAndTable) {
  char dir[] = "/tmp/armsim_map_XXXXXX";
  ASSERT_NE(mkdtemp(dir), nullptr);
  CommandLine command;
  command.mode = kModeMap;
  command.typeGiven = true;
  command.type = 1;
  command.step = 0.2;
  command.threads = 2;
  command.out = std::string(dir) + "/map.png";
  command.csv = std::string(dir) + "/map.csv";
  FILE* out = fopen("/dev/null", "w");
  FILE* err = fopen("/dev/null", "w");
  ASSERT_EQ(run_map_command(command, out, err), 0);

  FeasibilityMap map;
  ASSERT_EQ(map_grid(1, 1.3, 0.2, map), 1);
  for (MapCell& c : map.cells) c.cls = kMapTouch;  // the layout needs every cell evaluated
  MapPictureLayout layout;
  ASSERT_EQ(map_picture_layout(&map, 1, nullptr, 0, layout), 1);
  cairo_surface_t* png = cairo_image_surface_create_from_png(command.out.c_str());
  ASSERT_EQ(cairo_surface_status(png), CAIRO_STATUS_SUCCESS);
  EXPECT_EQ(cairo_image_surface_get_width(png), layout.width);
  EXPECT_EQ(cairo_image_surface_get_height(png), layout.height);
  const int index = map_cell_index(map, -0.6, 2.2);
  ASSERT_GE(index, 0);
  int px, py;
  ASSERT_EQ(map_cell_colour_pixel(layout, 0, map, index, px, py), 1);
  const unsigned char* row =
      cairo_image_surface_get_data(png) + py * cairo_image_surface_get_stride(png);
  const uint32_t argb = reinterpret_cast<const uint32_t*>(row)[px];
  EXPECT_EQ(argb >> 16 & 255, kMapClassRgb[kMapTouch][0]);
  EXPECT_EQ(argb >> 8 & 255, kMapClassRgb[kMapTouch][1]);
  EXPECT_EQ(argb & 255, kMapClassRgb[kMapTouch][2]);
  cairo_surface_destroy(png);

  FILE* csv = fopen(command.csv.c_str(), "r");
  ASSERT_NE(csv, nullptr);
  char line[200];
  ASSERT_NE(fgets(line, sizeof line, csv), nullptr);
  EXPECT_STREQ(line,
               "type,x,y,class,touch_count,clear_count,method_b_final,method_b_steps,motion\n");
  long rows = 0;
  while (fgets(line, sizeof line, csv)) rows++;
  fclose(csv);
  EXPECT_EQ(rows, static_cast<long>(map.cells.size()));

  CommandLine refused = command;
  refused.wallGiven = true;
  refused.wallY = 3.3;
  refused.out = std::string(dir) + "/refused.png";
  refused.csv = std::string(dir) + "/refused.csv";
  EXPECT_EQ(run_map_command(refused, out, err), 2);
  EXPECT_FALSE(exists(refused.out));
  EXPECT_FALSE(exists(refused.csv));
  fclose(out);
  fclose(err);
  unlink(command.out.c_str());
  unlink(command.csv.c_str());
  rmdir(dir);
}
