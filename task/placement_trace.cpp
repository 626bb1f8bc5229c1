#include "task/placement_trace.h"

#include <cmath>
#include <cstdio>

#include "task/flushed_print.h"
#include "task/workcell_notes.h"

std::string placement_reason(const PlacementResult& result, const Workcell& cell) {
  std::string reason = placement_status_text(result.status);
  if (result.status != kPlacementWallCutsAll && result.status != kPlacementWorkpieceCuts)
    return reason;
  const WorkcellClearance& c = result.where;
  const WorkcellCut cut = deepest_cut(c);
  char body[16], depth[128];
  if (cut == kCutBox) {
    const char* box = nearest_box_name(c, cell);
    body_name(c.obstacleBody, body);
    std::snprintf(depth, sizeof depth, " (the least by %.4f: %s in '%s')", result.smallestDepth,
                  body, box);
    if (result.status == kPlacementWorkpieceCuts)
      return std::string("the workpiece at the goal cuts into '") + box + "'" + depth;
    return std::string("every pose that reaches the goal cuts into the wall, the floor or a box") +
           depth;
  }
  const bool floor = cut == kCutFloor;
  body_name(floor ? c.floorBody : c.wallBody, body);
  std::snprintf(depth, sizeof depth, " (the least by %.4f: %s at the %s)", result.smallestDepth,
                body, feature_name(floor ? kFeatureFloor : c.wallFeature));
  if (result.status == kPlacementWorkpieceCuts && floor)
    return std::string("the workpiece at the goal lies below the floor") + depth;
  if (result.status == kPlacementWallCutsAll && cell.obstacleCount > 0)
    return std::string("every pose that reaches the goal cuts into the wall, the floor or a box") +
           depth;
  return reason + depth;
}

void print_placement_line(const PlacementResult& result, int index, FILE* out) {
  const PlacementPose& p = result.poses[index];
  const double* q = p.q;
  if (p.kind == kPlacementTouch)
    flushed_printf(out, "\n%3d 接触 アーム%d      ", index + 1, p.arm);
  else
    // A margin that rounds to zero prints as 0.0000, never -0.0000.
    flushed_printf(out, "\n%3d 離隔 余裕%7.4f ", index + 1,
                   std::fabs(p.edgeClearance) < 0.00005 ? 0.0 : p.edgeClearance);
  flushed_printf(out, "q[]=(%7.4f %7.4f %7.4f %7.4f %7.4f %7.4f %7.4f)", q[1], q[2], q[3], q[4],
                 q[5], q[6], q[7]);
  flushed_printf(out, " 初期姿勢からの距離=%7.4f 隙間=%10.3e 位置誤差=%10.3e 姿勢誤差=%10.3e",
                 p.distanceFromInitial, p.edgeClearance, p.positionError, p.orientationError);
}

void print_placement_table(const PlacementResult& result, const Workcell& cell, FILE* out) {
  flushed_printf(
      out, "\n\n------------------ 全解: 接触%d 離隔%d ------------------------------------------",
      result.touchCount, result.clearCount);
  if (result.count == 0) {
    flushed_printf(out, "\nno solution: %s\n", placement_reason(result, cell).c_str());
    return;
  }
  flushed_printf(out, "\n(離隔解は各離隔区間で隙間が最大の姿勢; 接触が先, 各々初期姿勢に近い順)");
  for (int k = 0; k < result.count; k++) print_placement_line(result, k, out);
  flushed_printf(out, "\n");
}
