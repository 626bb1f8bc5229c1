// Builds feasibility maps (task/map_data.h): the grid of goals on the floor that covers a
// robot type's reach, the goal dialog's reach test on every cell, and the evaluation of the
// cells in reach on several threads (oneTBB), with results identical to one thread and in the
// same order; and the map's table as CSV. The evaluation of one cell (the complete solver and
// Method B without a window) is passed in as a plain function, which must be re-entrant.
#pragma once

#include <string>

#include "model/state.h"
#include "task/map_data.h"

// Default cell size and spacing, model units.
constexpr double kMapDefaultStep = 0.1;
// Most cells one map may have.
constexpr long kMapMaxCells = 1000000;

// Evaluates the goal (x, y) (the workpiece's centre over the floor, underside at z = 0, the
// scene's goal orientation) of robot type `type` in scene, whose wall edge (at (0, wallY, 0))
// and boxes count (its goal does not): sets
// cell.cls to kMapTouch, kMapClear, kMapBlocked or kMapUnreachable, and the counts and Method
// B's outcome. On entry cell.x and cell.y are set, cls is kMapPending, the rest 0 and false.
// Called from several threads at once, each with its own cell: it must not write shared state.
typedef void (*MapCellEvaluator)(int type, const Workcell& scene, double x, double y,
                                 MapCell& cell);

// Told how many cells of `total` have been evaluated, after each one (done counts up to total;
// calls may arrive out of order from different threads, so keep the largest). Called from the
// worker threads: it must be thread-safe. First called with done = 0 on the calling thread.
typedef void (*MapProgressCallback)(void* context, long done, long total);

// The goal and wall of floor goal (x, y): the workpiece's underside at z = 0 in the goal
// orientation, the wall edge at (0, wallY, 0), no boxes.
Workcell floor_workcell(const RobotModel& robot, double x, double y, double wallY);

// Sets cell's goal to floor goal (x, y) as floor_workcell does; its wall and boxes stay.
void set_floor_goal(const RobotModel& robot, double x, double y, Workcell& cell);

// The goals of type `type` that pass the goal dialog's reach test (goal_reach, LL1 <= LL2) lie
// in a disc: centre (cx, cy), radius r (r < 0: none), measured on a robot model of its own.
// Returns 1, or 0 for a type outside 1..4.
int map_reach_disc(int type, double& cx, double& cy, double& r);

// The grid that map_grid would build for type and step: nx by ny cells, from the integer
// multiples of step that cover the reach disc with one cell to spare all round. Returns 1, or 0
// when the type is outside 1..4, step is not a finite number > 0, or the grid would have more
// than kMapMaxCells cells (nx, ny then 0).
int map_grid_size(int type, double step, int& nx, int& ny);

// Builds the grid of type and step for the wall edge at (0, wallY, 0), without boxes (set
// map.boxes after): every cell placed, those refused by the reach test kMapUnreachable, the
// others kMapPending. Returns 1, or 0 as
// map_grid_size (map then has no cells).
int map_grid(int type, double wallY, double step, FeasibilityMap& map);

// Cells of maps[0..count-1] still to evaluate.
long map_pending_cells(const FeasibilityMap maps[], int count);

// Evaluates every pending cell of maps[0..count-1] with evaluate (each map's wall edge and boxes
// as its scene), on `threads` threads (1: one
// after the other on the calling thread; 0 or less: as many as the machine has cores), reporting
// to progress (may be null) with context. Each cell is written by one call only, so the result
// does not depend on the thread count or the order of evaluation. Returns 1, or 0 when evaluate
// is null, an evaluation failed (threw), or a cell was left pending.
int evaluate_maps(FeasibilityMap maps[], int count, MapCellEvaluator evaluate, int threads,
                  MapProgressCallback progress, void* context);

// The table of maps[0..count-1]: the header line
//   type,x,y,class,touch_count,clear_count,method_b_final,method_b_steps,motion
// then one line per cell, map after map, each in the map's cell order (y outer, x inner); class
// is touch, clear, blocked or unreachable, method_b_final 1 or 0, motion straight, planned, none
// or - (no valid goal pose); x and y with up to 12
// significant digits (so 0.1 steps read -3.2, -3.1, ...), in the C locale whatever the
// process's locale; lines end with "\n". Returns 1, or 0 with why set for an incomplete map.
int map_csv_text(const FeasibilityMap maps[], int count, std::string& text, std::string& why);

// Writes map_csv_text to path through a temporary file in the same directory renamed at the
// end: a failure leaves no file (and an existing file unchanged). Returns 1, or 0 with *why
// (when given) set to one line.
int write_map_csv(const FeasibilityMap maps[], int count, const char* path,
                  std::string* why = nullptr);
