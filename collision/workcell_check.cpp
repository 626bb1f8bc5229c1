#include "collision/workcell_check.h"

#include <cmath>
#include <cstdio>

#include "model/forward_kinematics.h"

namespace {

WorkcellFeature wall_feature(RectFeature f) {
  switch (f) {
    case kRectEdgeX1:
      return kFeatureWallEdge;
    case kRectEdgeX0:
      return kFeatureWallFarEdge;
    case kRectEdgeZ1:
      return kFeatureWallTop;
    case kRectEdgeZ0:
      return kFeatureWallBottom;
    case kRectFace:
      break;
  }
  return kFeatureWallFace;
}

// Keeps the smaller clearance; a NaN is taken so that it is never hidden behind a number.
void keep_least(double c, int body, double& least, int& leastBody) {
  if (c < least || std::isnan(c)) least = c, leastBody = body;
}

// Keeps the smaller wall clearance with its body and feature.
void keep_least_wall(double c, int body, WorkcellFeature feature, WorkcellClearance& out) {
  if (c < out.wall || std::isnan(c)) out.wall = c, out.wallBody = body, out.wallFeature = feature;
}

// Least and validity from the wall and floor clearances.
int finish(WorkcellClearance& out) {
  out.least = std::fmin(out.wall, out.floor);
  out.valid =
      std::isfinite(out.wall) && std::isfinite(out.floor) && out.least >= -kWorkcellTolerance;
  return out.valid;
}

}  // namespace

WallRect wall_plate(const Vec3& rh) {
  return {rh.y, rh.x - kWallPlateSize, rh.x, rh.z, rh.z + kWallPlateSize};
}

OrientedBox workpiece_box(const RobotModel& robot, const Vec3& rw, const Mat3& Ew) {
  return {rw, Ew, {robot.workSize[0] / 2, robot.workSize[1] / 2, robot.workSize[2] / 2}};
}

double tube_wall_clearance(const Vec3& a, const Vec3& b, double radius, const WallRect& plate,
                           WorkcellFeature& feature) {
  SegmentRect sr;
  segment_rect(a, b, plate, sr);
  feature = wall_feature(sr.feature);
  return sr.distance > 0 ? sr.distance - radius : -(radius + sr.depth);
}

int held_work_clearance(const RobotModel& robot, const Vec3& jointN, const Vec3& rw, const Mat3& Ew,
                        const WallRect& plate, WorkcellClearance& out) {
  const double r = robot.linkRadius;
  WorkcellFeature feature;
  out.wall = tube_wall_clearance(jointN, rw, r, plate, feature);
  out.wallBody = kBodyHand;
  out.wallFeature = feature;
  out.floor = std::fmin(jointN.z, rw.z) - r;
  out.floorBody = kBodyHand;
  const OrientedBox box = workpiece_box(robot, rw, Ew);
  // The box lies within its half-diagonal of the work point: when not even that comes nearer the
  // plate than the hand, the hand keeps the least and the box's exact distance is not needed.
  const double halfDiagonal =
      std::sqrt(box.h[0] * box.h[0] + box.h[1] * box.h[1] + box.h[2] * box.h[2]);
  const Vec3 nearest = {std::fmin(std::fmax(rw.x, plate.x0), plate.x1), plate.y,
                        std::fmin(std::fmax(rw.z, plate.z0), plate.z1)};
  Vec3 gap;
  vsub(rw, nearest, gap);
  if (!(vnorm(gap) - halfDiagonal > out.wall)) {
    RectFeature rf;
    // The clearance first: it writes the feature the next call reads.
    const double cBox = box_rect_clearance(box, plate, rf);
    keep_least_wall(cBox, kBodyWorkpiece, wall_feature(rf), out);
  }
  keep_least(box_bottom(box), kBodyWorkpiece, out.floor, out.floorBody);
  return finish(out);
}

int workcell_clearance(const RobotModel& robot, const Kinematics& kin, const Workcell& cell,
                       WorkcellClearance& out) {
  const WallRect plate = wall_plate(cell.rh);
  const double r = robot.linkRadius;
  held_work_clearance(robot, kin.Jpos[robot.N], kin.rw, kin.Ew, plate, out);
  for (int m = 1; m < robot.N; m++) {
    WorkcellFeature f;
    const Vec3 &a = kin.Jpos[m], &b = kin.Jpos[m + 1];
    const double c = tube_wall_clearance(a, b, r, plate, f);
    keep_least_wall(c, m, f, out);
    if (m != 1) keep_least(std::fmin(a.z, b.z) - r, m, out.floor, out.floorBody);
  }
  return finish(out);
}

int pose_check(const RobotModel& robot, const Workcell& cell, const double q[], Kinematics& kin,
               WorkcellClearance& out) {
  forward_kinematics(robot, q, kin);
  return workcell_clearance(robot, kin, cell, out);
}

void body_name(int body, char text[16]) {
  if (body == kBodyHand)
    std::snprintf(text, 16, "hand");
  else if (body == kBodyWorkpiece)
    std::snprintf(text, 16, "workpiece");
  else
    std::snprintf(text, 16, "arm %d", body);
}

const char* feature_name(WorkcellFeature feature) {
  switch (feature) {
    case kFeatureWallEdge:
      return "wall edge";
    case kFeatureWallFace:
      return "wall face";
    case kFeatureWallTop:
      return "wall top";
    case kFeatureWallFarEdge:
      return "wall far edge";
    case kFeatureWallBottom:
      return "wall bottom";
    case kFeatureFloor:
      return "floor";
  }
  return "unknown feature";
}
