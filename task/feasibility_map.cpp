#include "task/feasibility_map.h"

#include <tbb/blocked_range.h>
#include <tbb/global_control.h>
#include <tbb/info.h>
#include <tbb/parallel_for.h>
#include <tbb/task_arena.h>

#include <atomic>
#include <cmath>
#include <cstring>
#include <vector>

#include "math/number_text.h"
#include "model/robot_catalogue.h"
#include "task/workcell_setup.h"
#include "util/atomic_file.h"

namespace {

// The goal dialog's reach test at floor goal (x, y) in the goal orientation: whether in reach.
bool floor_reach(const RobotModel& robot, double x, double y, double& LL1, double& LL2) {
  const Workcell goal = floor_workcell(robot, x, y, kDefaultWallY);
  return goal_reach(robot, goal.EwG, goal.rwG, LL1, LL2);
}

// LL1^2 of the reach test at floor goal (x, y).
double reach_distance_squared(const RobotModel& robot, double x, double y) {
  double LL1, LL2;
  floor_reach(robot, x, y, LL1, LL2);
  return LL1 * LL1;
}

// The integer range k0..k1 of multiples k * step covering [centre - r, centre + r] with one to
// spare at each end. Returns 0 when it would not fit an int.
int cover(double centre, double r, double step, long& k0, long& k1) {
  const double lo = std::floor((centre - r) / step) - 1;
  const double hi = std::ceil((centre + r) / step) + 1;
  if (!(lo > -1e9 && hi < 1e9)) return 0;
  k0 = static_cast<long>(lo);
  k1 = static_cast<long>(hi);
  return 1;
}

// The grid of type and step: first multiples and counts. Returns 0 as map_grid_size.
int grid_extent(int type, double step, long& kx0, long& ky0, int& nx, int& ny) {
  nx = ny = 0;
  if (!(std::isfinite(step) && step > 0)) return 0;
  double cx, cy, r;
  if (!map_reach_disc(type, cx, cy, r)) return 0;
  if (r < 0) r = 0;  // nothing in reach: a few cells around the disc's centre, all out of reach
  long kx1, ky1;
  if (!cover(cx, r, step, kx0, kx1) || !cover(cy, r, step, ky0, ky1)) return 0;
  const long cellsX = kx1 - kx0 + 1, cellsY = ky1 - ky0 + 1;
  if (cellsX > kMapMaxCells || cellsY > kMapMaxCells || cellsX * cellsY > kMapMaxCells) return 0;
  nx = static_cast<int>(cellsX);
  ny = static_cast<int>(cellsY);
  return 1;
}

struct CellJob {
  FeasibilityMap* map;
  const Workcell* scene;
  size_t index;
};

// The scene a map's cells are judged in: its wall edge and boxes (the goal is each cell's).
// Returns 0 for more boxes than a workcell holds.
int map_scene(const FeasibilityMap& map, Workcell& scene) {
  if (map.boxes.size() > static_cast<size_t>(kMaxObstacles)) return 0;
  scene = {};
  scene.rh = map.rh;
  scene.obstacleCount = static_cast<int>(map.boxes.size());
  for (int k = 0; k < scene.obstacleCount; k++) scene.obstacles[k] = map.boxes[k];
  return 1;
}

// A number as the table writes it: 12 significant digits in the C locale.
void append_coordinate(std::string& text, double value) {
  append_number(text, value, 12);
}

}  // namespace

Workcell floor_workcell(const RobotModel& robot, double x, double y, double wallY) {
  Workcell cell = {};
  cell.rh = {0, wallY, 0};
  set_floor_goal(robot, x, y, cell);
  return cell;
}

void set_floor_goal(const RobotModel& robot, double x, double y, Workcell& cell) {
  cell.rwG = goal_centre(robot, x, y, 0);
  cell.EwG = kGoalOrientation;
}

int map_reach_disc(int type, double& cx, double& cy, double& r) {
  if (type < 1 || type > kRobotTypes) return 0;
  RobotModel robot;
  robot_setup(type, robot);
  // The test measures a distance from a fixed joint to the wrist point, a fixed offset from the
  // goal: LL1^2 = (x - cx)^2 + (y - cy)^2 + d^2. Three goals give cx, cy and d^2.
  const double f00 = reach_distance_squared(robot, 0, 0);
  const double f10 = reach_distance_squared(robot, 1, 0);
  const double f01 = reach_distance_squared(robot, 0, 1);
  cx = (1 - (f10 - f00)) / 2;
  cy = (1 - (f01 - f00)) / 2;
  const double d2 = f00 - cx * cx - cy * cy;
  double LL1, LL2;
  floor_reach(robot, cx, cy, LL1, LL2);
  const double r2 = LL2 * LL2 - d2;
  r = r2 >= 0 ? std::sqrt(r2) : -1;
  return 1;
}

int map_grid_size(int type, double step, int& nx, int& ny) {
  long kx0, ky0;
  return grid_extent(type, step, kx0, ky0, nx, ny);
}

int map_grid(int type, double wallY, double step, FeasibilityMap& map) {
  map.cells.clear();
  map.type = type;
  map.wallY = wallY;
  map.rh = {0, wallY, 0};
  map.boxes.clear();
  map.step = step;
  map.nx = map.ny = 0;
  map.xMin = map.yMin = 0;
  std::memset(map.jointLetters, 0, sizeof map.jointLetters);
  long kx0, ky0;
  int nx, ny;
  if (!grid_extent(type, step, kx0, ky0, nx, ny)) return 0;
  try {
    map.cells.resize(static_cast<size_t>(nx) * ny);
  } catch (...) {
    map.cells.clear();
    return 0;
  }
  map.nx = nx;
  map.ny = ny;
  map.xMin = kx0 * step;
  map.yMin = ky0 * step;
  RobotModel robot;
  robot_setup(type, robot);
  for (int k = 1; k <= kMaxJoints; k++) map.jointLetters[k - 1] = robot.jointAxisLetter[k];
  for (int j = 0; j < ny; j++)
    for (int i = 0; i < nx; i++) {
      MapCell& c = map.cells[static_cast<size_t>(j) * nx + i];
      // Each coordinate an integer multiple of step, so that equal steps give equal grids.
      c = {(kx0 + i) * step, (ky0 + j) * step, kMapPending, 0, 0, false, 0, kMapMotionUnset};
      double LL1, LL2;
      if (!floor_reach(robot, c.x, c.y, LL1, LL2)) c.cls = kMapUnreachable;
    }
  return 1;
}

long map_pending_cells(const FeasibilityMap maps[], int count) {
  long pending = 0;
  for (int k = 0; k < count; k++)
    for (const MapCell& c : maps[k].cells) pending += c.cls == kMapPending;
  return pending;
}

int evaluate_maps(FeasibilityMap maps[], int count, MapCellEvaluator evaluate, int threads,
                  MapProgressCallback progress, void* context) {
  if (evaluate == nullptr || count < 0 || (count > 0 && maps == nullptr)) return 0;
  std::vector<CellJob> jobs;
  try {
    jobs.reserve(static_cast<size_t>(map_pending_cells(maps, count)));
  } catch (...) {
    return 0;
  }
  std::vector<Workcell> scenes;
  try {
    scenes.resize(static_cast<size_t>(count));
  } catch (...) {
    return 0;
  }
  for (int k = 0; k < count; k++) {
    if (!map_scene(maps[k], scenes[k])) return 0;
    for (size_t i = 0; i < maps[k].cells.size(); i++)
      if (maps[k].cells[i].cls == kMapPending) jobs.push_back({&maps[k], &scenes[k], i});
  }
  const long total = static_cast<long>(jobs.size());
  if (progress != nullptr) progress(context, 0, total);

  std::atomic<long> done{0};
  auto body = [&](const tbb::blocked_range<size_t>& range) {
    for (size_t k = range.begin(); k != range.end(); k++) {
      const CellJob& job = jobs[k];
      MapCell& c = job.map->cells[job.index];
      c.touchCount = c.clearCount = c.methodBSteps = 0;
      c.methodBFinal = false;
      evaluate(job.map->type, *job.scene, c.x, c.y, c);
      const long now = ++done;
      if (progress != nullptr) progress(context, now, total);
    }
  };
  try {
    if (threads == 1 || total <= 1) {
      body(tbb::blocked_range<size_t>(0, jobs.size()));
    } else {
      // The arena caps the threads working on this loop, the calling thread included; the
      // global limit lets it have that many even beyond the machine's cores (without it, TBB
      // would keep to the cores and warn on stderr).
      const int count = threads > 0 ? threads : tbb::info::default_concurrency();
      tbb::global_control limit(tbb::global_control::max_allowed_parallelism,
                                static_cast<size_t>(count));
      tbb::task_arena arena(count);
      arena.execute(
          [&] { tbb::parallel_for(tbb::blocked_range<size_t>(0, jobs.size(), 1), body); });
    }
  } catch (...) {
    return 0;
  }
  return map_pending_cells(maps, count) == 0 ? 1 : 0;
}

int map_csv_text(const FeasibilityMap maps[], int count, std::string& text, std::string& why) {
  text = "type,x,y,class,touch_count,clear_count,method_b_final,method_b_steps,motion\n";
  for (int k = 0; k < count; k++)
    if (!map_is_complete(maps[k], why)) return 0;
  for (int k = 0; k < count; k++) {
    const std::string type = std::to_string(maps[k].type);
    for (const MapCell& c : maps[k].cells) {
      text += type;
      text += ',';
      append_coordinate(text, c.x);
      text += ',';
      append_coordinate(text, c.y);
      text += ',';
      text += map_class_name(c.cls);
      text += ',';
      text += std::to_string(c.touchCount);
      text += ',';
      text += std::to_string(c.clearCount);
      text += c.methodBFinal ? ",1," : ",0,";
      text += std::to_string(c.methodBSteps);
      text += ',';
      text += map_motion_name(c.motion);
      text += '\n';
    }
  }
  return 1;
}

int write_map_csv(const FeasibilityMap maps[], int count, const char* path, std::string* why) {
  std::string text, reason;
  int ok = 0;
  try {
    ok = map_csv_text(maps, count, text, reason);
  } catch (...) {
    reason = "not enough memory for the table";
  }
  if (ok && atomic_file_write(path, text, reason)) return 1;
  if (why != nullptr) *why = reason;
  return 0;
}
