// Building feasibility maps: the grid covers the reach of the goal dialog and nothing it
// refuses is evaluated; the evaluation on one thread and on several gives the same cells, in
// the same order, byte for byte in the CSV; the thread count is kept to; progress arrives; the
// CSV's form; and a table that cannot be written leaves no file.
#include "task/feasibility_map.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <clocale>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <set>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "model/robot_catalogue.h"
#include "support.h"
#include "task/workcell_setup.h"

namespace {

// A deterministic made-up outcome from the cell's goal and scene alone, after a little work
// that varies from cell to cell, so that threads finish cells out of order.
uint64_t mix(uint64_t h) {
  h ^= h >> 33;
  h *= 0xff51afd7ed558ccdULL;
  h ^= h >> 33;
  h *= 0xc4ceb9fe1a85ec53ULL;
  return h ^ (h >> 33);
}

std::atomic<long> evaluations{0};
std::mutex threadsMutex;
std::set<std::thread::id> threadsSeen;

void fake_evaluator(int type, const Workcell& scene, double x, double y, MapCell& cell) {
  const double wallY = scene.rh.y;
  uint64_t bits[3];
  std::memcpy(&bits[0], &x, 8);
  std::memcpy(&bits[1], &y, 8);
  std::memcpy(&bits[2], &wallY, 8);
  const uint64_t h = mix(bits[0] ^ mix(bits[1] ^ mix(bits[2] + type)));
  volatile double work = 0;
  for (unsigned k = 0; k < (h & 1023) * 20; k++) work = work + std::sqrt(static_cast<double>(k));
  const MapClass classes[4] = {kMapTouch, kMapClear, kMapBlocked, kMapUnreachable};
  cell.cls = classes[h % 4];
  cell.touchCount = cell.cls == kMapTouch ? static_cast<int>(h >> 8 & 7) + 1 : 0;
  cell.clearCount = static_cast<int>(h >> 12 & 3);
  cell.methodBFinal = (h >> 16 & 1) != 0;
  cell.methodBSteps = cell.methodBFinal ? static_cast<int>(h >> 20 & 511) : 1000;
  evaluations++;
  std::lock_guard<std::mutex> lock(threadsMutex);
  threadsSeen.insert(std::this_thread::get_id());
}

void start_counting() {
  evaluations = 0;
  std::lock_guard<std::mutex> lock(threadsMutex);
  threadsSeen.clear();
}

size_t threads_used() {
  std::lock_guard<std::mutex> lock(threadsMutex);
  return threadsSeen.size();
}

std::string csv_of(const FeasibilityMap maps[], int count) {
  std::string text, why;
  EXPECT_EQ(map_csv_text(maps, count, text, why), 1) << why;
  return text;
}

// The dialog's reach test for a floor goal of robot, the workpiece put down from above.
bool dialog_accepts(const RobotModel& robot, double x, double y) {
  const Mat3 fromAbove = {{1, 0, 0, 0, -1, 0, 0, 0, -1}};
  double LL1, LL2;
  goal_reach(robot, fromAbove, {x, y, robot.workSize[2] / 2}, LL1, LL2);
  return LL1 <= LL2;
}

// For every type: the grid is made of multiples of the step, its border ring is out of reach,
// each cell is out of reach exactly when the goal dialog refuses it, and the default goal is in
// reach.
TEST(FeasibilityMapGrid, CoversTheReachOfTheGoalDialog) {
  for (int type = 1; type <= 4; type++) {
    FeasibilityMap map;
    ASSERT_EQ(map_grid(type, 1.3, 0.1, map), 1) << type;
    EXPECT_EQ(map.type, type);
    EXPECT_EQ(map.wallY, 1.3);
    expect_near(map.rh, {0, 1.3, 0}, 0);
    ASSERT_EQ(map.cells.size(), static_cast<size_t>(map.nx) * map.ny);
    int nx, ny;
    ASSERT_EQ(map_grid_size(type, 0.1, nx, ny), 1);
    EXPECT_EQ(nx, map.nx);
    EXPECT_EQ(ny, map.ny);
    // The reach is a disc of radius about 3.1 around the base: about 63 cells across and a ring.
    EXPECT_GE(map.nx, 65);
    EXPECT_LE(map.nx, 69);

    RobotModel robot;
    robot_setup(type, robot);
    long inReach = 0;
    for (int j = 0; j < map.ny; j++)
      for (int i = 0; i < map.nx; i++) {
        const MapCell& c = map.cells[j * map.nx + i];
        EXPECT_EQ(c.x, (std::lround(map.xMin / 0.1) + i) * 0.1);
        EXPECT_EQ(c.y, (std::lround(map.yMin / 0.1) + j) * 0.1);
        const bool border = i == 0 || j == 0 || i == map.nx - 1 || j == map.ny - 1;
        if (border) {
          EXPECT_EQ(c.cls, kMapUnreachable) << c.x << ", " << c.y;
        }
        EXPECT_EQ(c.cls, dialog_accepts(robot, c.x, c.y) ? kMapPending : kMapUnreachable)
            << c.x << ", " << c.y;
        inReach += c.cls == kMapPending;
        EXPECT_EQ(c.touchCount + c.clearCount + c.methodBSteps, 0);
        EXPECT_FALSE(c.methodBFinal);
      }
    EXPECT_EQ(map_pending_cells(&map, 1), inReach);
    // pi r^2 / step^2 with r about 3.12: about 3060 cells.
    EXPECT_NEAR(inReach, 3060, 100);
    const int goal = map_cell_index(map, -0.6, 2.2);
    ASSERT_GE(goal, 0);
    EXPECT_EQ(map.cells[goal].cls, kMapPending);
    EXPECT_NEAR(map.cells[goal].x, -0.6, 1e-12);
    EXPECT_NEAR(map.cells[goal].y, 2.2, 1e-12);
    for (int k = 0; k < 7; k++) EXPECT_EQ(map.jointLetters[k], robot.jointAxisLetter[k + 1]);
    EXPECT_EQ(map.jointLetters[7], '\0');
  }
}

// The cell limit and bad steps: refused with an empty grid.
TEST(FeasibilityMapGrid, StepLimits) {
  int nx, ny;
  EXPECT_EQ(map_grid_size(1, 0.007, nx, ny), 1);  // 897 x 897 cells
  EXPECT_LE(static_cast<long>(nx) * ny, kMapMaxCells);
  EXPECT_EQ(map_grid_size(1, 0.006, nx, ny), 0);  // 1045 x 1045
  EXPECT_EQ(nx, 0);
  EXPECT_EQ(map_grid_size(1, 1e-300, nx, ny), 0);
  EXPECT_EQ(map_grid_size(1, 0, nx, ny), 0);
  EXPECT_EQ(map_grid_size(1, -0.1, nx, ny), 0);
  EXPECT_EQ(map_grid_size(1, NAN, nx, ny), 0);
  EXPECT_EQ(map_grid_size(1, INFINITY, nx, ny), 0);
  EXPECT_EQ(map_grid_size(0, 0.1, nx, ny), 0);
  EXPECT_EQ(map_grid_size(5, 0.1, nx, ny), 0);
  // A coarse grid: the cells -100, 0 and 100 cover the reach, one more on each side.
  EXPECT_EQ(map_grid_size(2, 100, nx, ny), 1);
  EXPECT_EQ(nx, 5);
  FeasibilityMap map;
  map.cells.resize(4);
  EXPECT_EQ(map_grid(1, 1.3, 0.001, map), 0);
  EXPECT_TRUE(map.cells.empty());
  EXPECT_EQ(map.nx * map.ny, 0);
}

// One thread, two and four: the same cells in the same order, the same CSV bytes; each cell
// in reach evaluated once, none out of reach; one thread is the calling thread alone, and no
// more threads than asked for work.
TEST(FeasibilityMapEvaluation, SameResultOnAnyNumberOfThreads) {
  FeasibilityMap maps[2];
  std::string reference;
  const int threadCounts[3] = {1, 2, 4};
  for (int threads : threadCounts) {
    for (int k = 0; k < 2; k++) ASSERT_EQ(map_grid(2 * k + 1, 0.7, 0.1, maps[k]), 1);
    const long pending = map_pending_cells(maps, 2);
    start_counting();
    ASSERT_EQ(evaluate_maps(maps, 2, fake_evaluator, threads, nullptr, nullptr), 1);
    EXPECT_EQ(evaluations, pending);
    EXPECT_EQ(map_pending_cells(maps, 2), 0);
    EXPECT_LE(threads_used(), static_cast<size_t>(threads));
    if (threads == 1) {
      EXPECT_EQ(threads_used(), 1u);
      EXPECT_EQ(*threadsSeen.begin(), std::this_thread::get_id());
      reference = csv_of(maps, 2);
    } else {
      EXPECT_EQ(csv_of(maps, 2), reference) << threads << " threads";
    }
  }
  // The machine's cores when asked for none in particular.
  for (int k = 0; k < 2; k++) ASSERT_EQ(map_grid(2 * k + 1, 0.7, 0.1, maps[k]), 1);
  ASSERT_EQ(evaluate_maps(maps, 2, fake_evaluator, 0, nullptr, nullptr), 1);
  EXPECT_EQ(csv_of(maps, 2), reference);
}

// Cells out of reach stay as the grid made them, whatever the evaluator would say.
TEST(FeasibilityMapEvaluation, UnreachableCellsAreNotEvaluated) {
  FeasibilityMap map;
  ASSERT_EQ(map_grid(4, 1.3, 0.25, map), 1);
  std::vector<bool> out;
  for (const MapCell& c : map.cells) out.push_back(c.cls == kMapUnreachable);
  start_counting();
  ASSERT_EQ(evaluate_maps(
                &map, 1,
                [](int, const Workcell&, double, double, MapCell& c) {
                  c.cls = kMapTouch;
                  c.methodBFinal = true;
                  evaluations++;
                },
                2, nullptr, nullptr),
            1);
  long reachable = 0;
  for (size_t k = 0; k < map.cells.size(); k++) {
    EXPECT_EQ(map.cells[k].cls, out[k] ? kMapUnreachable : kMapTouch);
    EXPECT_EQ(map.cells[k].methodBFinal, !out[k]);
    reachable += !out[k];
  }
  EXPECT_EQ(evaluations, reachable);
}

// The evaluator is told the cell's own goal, type and wall, with the cell's results cleared.
TEST(FeasibilityMapEvaluation, EvaluatorSeesItsCell) {
  FeasibilityMap map;
  ASSERT_EQ(map_grid(3, -0.4, 0.5, map), 1);
  ASSERT_EQ(evaluate_maps(
                &map, 1,
                [](int type, const Workcell& scene, double x, double y, MapCell& c) {
                  const bool right = type == 3 && scene.rh.y == -0.4 && scene.obstacleCount == 0 &&
                                     x == c.x && y == c.y && c.cls == kMapPending &&
                                     c.touchCount == 0 && c.clearCount == 0 && !c.methodBFinal &&
                                     c.methodBSteps == 0;
                  c.cls = right ? kMapClear : kMapBlocked;
                },
                2, nullptr, nullptr),
            1);
  long clear = 0, blocked = 0;
  for (const MapCell& c : map.cells) {
    clear += c.cls == kMapClear;
    blocked += c.cls == kMapBlocked;
  }
  EXPECT_GT(clear, 100);
  EXPECT_EQ(blocked, 0);

  // The map's boxes reach every evaluation whole, in order; more than a workcell holds are
  // refused before any cell is evaluated.
  ASSERT_EQ(map_grid(3, -0.4, 0.5, map), 1);
  map.boxes.resize(2);
  for (int k = 0; k < 2; k++) {
    map.boxes[k] = {};
    std::snprintf(map.boxes[k].name, sizeof map.boxes[k].name, "box%d", k);
    map.boxes[k].size[0] = map.boxes[k].size[1] = map.boxes[k].size[2] = 0.1 * (k + 1);
  }
  ASSERT_EQ(evaluate_maps(
                &map, 1,
                [](int, const Workcell& scene, double, double, MapCell& c) {
                  const bool right = scene.obstacleCount == 2 &&
                                     std::string(scene.obstacles[1].name) == "box1" &&
                                     scene.obstacles[1].size[2] == 0.2 && scene.rh.y == -0.4;
                  c.cls = right ? kMapClear : kMapBlocked;
                },
                2, nullptr, nullptr),
            1);
  for (const MapCell& c : map.cells) EXPECT_NE(c.cls, kMapBlocked);
  ASSERT_EQ(map_grid(3, -0.4, 0.5, map), 1);
  map.boxes.resize(kMaxObstacles + 1);
  EXPECT_EQ(evaluate_maps(&map, 1, fake_evaluator, 1, nullptr, nullptr), 0);
}

// Progress: first 0 of the total from the calling thread, then every count up to the total
// once, from whichever thread.
struct ProgressRecord {
  std::mutex mutex;
  std::vector<long> seen;
  long total = -1;
  bool startedOnCaller = false;
};

TEST(FeasibilityMapEvaluation, ProgressCountsEveryCell) {
  FeasibilityMap map;
  ASSERT_EQ(map_grid(1, 1.3, 0.2, map), 1);
  const long pending = map_pending_cells(&map, 1);
  ProgressRecord record;
  static std::thread::id caller;
  caller = std::this_thread::get_id();
  ASSERT_EQ(evaluate_maps(
                &map, 1, fake_evaluator, 2,
                [](void* context, long done, long total) {
                  ProgressRecord& r = *static_cast<ProgressRecord*>(context);
                  std::lock_guard<std::mutex> lock(r.mutex);
                  if (r.seen.empty()) r.startedOnCaller = std::this_thread::get_id() == caller;
                  r.seen.push_back(done);
                  r.total = total;
                },
                &record),
            1);
  EXPECT_EQ(record.total, pending);
  ASSERT_EQ(record.seen.size(), static_cast<size_t>(pending + 1));
  EXPECT_EQ(record.seen[0], 0);
  EXPECT_TRUE(record.startedOnCaller);
  std::vector<long> sorted = record.seen;
  std::sort(sorted.begin(), sorted.end());
  for (long k = 0; k <= pending; k++) EXPECT_EQ(sorted[k], k);
}

// An evaluation that throws, or leaves a cell pending, or no evaluator at all: a failure, not
// a crash and not a success.
TEST(FeasibilityMapEvaluation, FailedEvaluationIsReported) {
  FeasibilityMap map;
  ASSERT_EQ(map_grid(1, 1.3, 0.3, map), 1);
  EXPECT_EQ(evaluate_maps(&map, 1, nullptr, 2, nullptr, nullptr), 0);
  EXPECT_EQ(evaluate_maps(
                &map, 1,
                [](int, const Workcell&, double x, double, MapCell& c) {
                  c.cls = x > 1 ? kMapPending : kMapTouch;
                },
                2, nullptr, nullptr),
            0);
  ASSERT_EQ(map_grid(1, 1.3, 0.3, map), 1);
  for (int threads : {1, 2})
    EXPECT_EQ(evaluate_maps(
                  &map, 1,
                  [](int, const Workcell&, double x, double, MapCell& c) {
                    if (x > 1) throw std::runtime_error("evaluation failed");
                    c.cls = kMapTouch;
                  },
                  threads, nullptr, nullptr),
              0);
}

// The table: its header, one line per cell in the map's order, the class names, the numbers
// in the C locale even under a locale with a decimal comma.
TEST(FeasibilityMapCsv, FormOfTheTable) {
  FeasibilityMap map;
  ASSERT_EQ(map_grid(1, 1.3, 0.1, map), 1);
  ASSERT_EQ(evaluate_maps(&map, 1, fake_evaluator, 1, nullptr, nullptr), 1);
  const int goal = map_cell_index(map, -0.6, 2.2);
  map.cells[goal] = {map.cells[goal].x, map.cells[goal].y, kMapTouch, 3, 1, true, 165,
                     kMapMotionPlanned};
  map.cells[goal + 1].cls = kMapClear;
  map.cells[goal + 2].cls = kMapBlocked;
  const char* const locales[2] = {"de_DE.UTF-8", "de_DE.utf8"};
  for (const char* name : locales)
    if (setlocale(LC_ALL, name) != nullptr) break;
  std::string text, why;
  ASSERT_EQ(map_csv_text(&map, 1, text, why), 1);
  setlocale(LC_ALL, "C");
  const std::string header =
      "type,x,y,class,touch_count,clear_count,method_b_final,method_b_steps,motion\n";
  ASSERT_EQ(text.compare(0, header.size(), header), 0);
  EXPECT_EQ(static_cast<size_t>(std::count(text.begin(), text.end(), '\n')), map.cells.size() + 1);
  EXPECT_NE(text.find("\n1,-0.6,2.2,touch,3,1,1,165,planned\n1,-0.5,2.2,clear,"),
            std::string::npos);
  EXPECT_NE(text.find("\n1,-0.4,2.2,blocked,"), std::string::npos);
  // The first cell is the corner (xMin, yMin), then x grows along the row.
  char first[160];
  snprintf(first, sizeof first, "\n1,%.12g,%.12g,unreachable,0,0,0,0,-\n1,%.12g,%.12g,", map.xMin,
           map.yMin, map.xMin + 0.1, map.yMin);
  EXPECT_EQ(text.compare(header.size() - 1, strlen(first), first), 0) << first;
  EXPECT_EQ(text.find("pending"), std::string::npos);
  // Every line has nine fields.
  size_t start = 0;
  while (start < text.size()) {
    const size_t end = text.find('\n', start);
    EXPECT_EQ(std::count(text.begin() + start, text.begin() + end, ','), 8);
    start = end + 1;
  }
  // Two maps: the second's lines follow the first's.
  FeasibilityMap two[2] = {map, map};
  two[1].type = 4;
  std::string both;
  ASSERT_EQ(map_csv_text(two, 2, both, why), 1);
  EXPECT_EQ(both.size(), 2 * text.size() - header.size());
  EXPECT_NE(both.find("\n4,-0.6,2.2,touch,3,1,1,165,planned\n"), std::string::npos);
  // A map with a pending cell is no table.
  map.cells[3].cls = kMapPending;
  EXPECT_EQ(map_csv_text(&map, 1, text, why), 0);
  EXPECT_FALSE(why.empty());
}

// Writing the table: the file holds exactly the text; a path that cannot be written, or an
// incomplete map, leaves no file and no temporary file, and an existing file stays as it was.
TEST(FeasibilityMapCsv, WrittenWholeOrNotAtAll) {
  char name[] = "/tmp/armsim-csv-XXXXXX";
  const std::string dir = mkdtemp(name);
  FeasibilityMap map;
  ASSERT_EQ(map_grid(2, 1.3, 0.2, map), 1);
  ASSERT_EQ(evaluate_maps(&map, 1, fake_evaluator, 2, nullptr, nullptr), 1);
  const std::string path = dir + "/map.csv";
  std::string why;
  ASSERT_EQ(write_map_csv(&map, 1, path.c_str(), &why), 1) << why;
  std::string text;
  ASSERT_EQ(map_csv_text(&map, 1, text, why), 1);
  FILE* in = fopen(path.c_str(), "rb");
  ASSERT_NE(in, nullptr);
  std::string read(text.size() + 10, '\0');
  read.resize(fread(&read[0], 1, read.size(), in));
  fclose(in);
  EXPECT_EQ(read, text);
  struct stat info;
  ASSERT_EQ(stat(path.c_str(), &info), 0);
  EXPECT_NE(info.st_mode & 0044, 0u);  // readable by others, as files made under umask 022

  EXPECT_EQ(write_map_csv(&map, 1, (dir + "/missing/map.csv").c_str(), &why), 0);
  EXPECT_NE(why.find("missing/map.csv"), std::string::npos) << why;
  EXPECT_EQ(write_map_csv(&map, 1, dir.c_str(), &why), 0);  // a directory
  EXPECT_EQ(write_map_csv(&map, 1, "", &why), 0);
  FeasibilityMap pending = map;
  pending.cells[0].cls = kMapPending;
  EXPECT_EQ(write_map_csv(&pending, 1, path.c_str(), &why), 0);
  EXPECT_EQ(write_map_csv(&pending, 1, (dir + "/other.csv").c_str(), &why), 0);
  EXPECT_EQ(directory_entries(dir), std::vector<std::string>{"map.csv"});
  in = fopen(path.c_str(), "rb");
  read.assign(text.size() + 10, '\0');
  read.resize(fread(&read[0], 1, read.size(), in));
  fclose(in);
  EXPECT_EQ(read, text);
  unlink(path.c_str());
  rmdir(dir.c_str());
}

}  // namespace
