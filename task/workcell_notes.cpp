#include "task/workcell_notes.h"

#include <cmath>
#include <cstdio>

#include "task/flushed_print.h"

namespace {

// The body's name at the console.
void body_label(int body, char text[32]) {
  if (body == kBodyHand)
    std::snprintf(text, 32, "ハンド");
  else if (body == kBodyWorkpiece)
    std::snprintf(text, 32, "ワーク");
  else
    std::snprintf(text, 32, "アーム%d", body);
}

const char* feature_label(WorkcellFeature feature) {
  switch (feature) {
    case kFeatureWallEdge:
      return "壁の縁";
    case kFeatureWallFace:
      return "壁面";
    case kFeatureWallTop:
      return "壁の上端";
    case kFeatureWallFarEdge:
      return "壁の奥の縁";
    case kFeatureWallBottom:
      return "壁の下端";
    case kFeatureFloor:
      break;
  }
  return "床";
}

}  // namespace

int straight_motion_step(const MotionCheck& check) {
  if (!check.collides) return 0;
  const int step = static_cast<int>(std::ceil(check.firstCollision * kMotionSteps));
  return step < 1 ? 1 : (step > kMotionSteps ? kMotionSteps : step);
}

WorkcellCut deepest_cut(const WorkcellClearance& c) {
  if (c.obstacleIndex >= 0 && c.obstacle < c.wall && c.obstacle < c.floor) return kCutBox;
  return c.floor < c.wall ? kCutFloor : kCutWall;
}

const char* nearest_box_name(const WorkcellClearance& c, const Workcell& cell) {
  if (c.obstacleIndex < 0 || c.obstacleIndex >= cell.obstacleCount) return "";
  return cell.obstacles[c.obstacleIndex].name;
}

void final_pose_warning(const WorkcellClearance& c, const Workcell& cell, char text[80]) {
  text[0] = '\0';
  if (c.valid) return;
  switch (deepest_cut(c)) {
    case kCutBox:
      std::snprintf(text, 80, "Final Pose Cuts Box '%s'", nearest_box_name(c, cell));
      return;
    case kCutFloor:
      std::snprintf(text, 80, "Final Pose Below the Floor");
      return;
    case kCutWall:
      std::snprintf(text, 80, "Final Pose Cuts the Wall");
      return;
  }
}

void straight_motion_warning(const MotionCheck& check, const Workcell& cell, char text[80]) {
  text[0] = '\0';
  if (!check.collides) return;
  const int step = straight_motion_step(check);
  switch (deepest_cut(check.worst)) {
    case kCutBox:
      std::snprintf(text, 80, "Straight Motion Hits Box '%s' at Step %d",
                    nearest_box_name(check.worst, cell), step);
      return;
    case kCutFloor:
      std::snprintf(text, 80, "Straight Motion Hits the Floor at Step %d", step);
      return;
    case kCutWall:
      std::snprintf(text, 80, "Straight Motion Hits the Wall at Step %d", step);
      return;
  }
}

void print_final_pose_verdict(const WorkcellClearance& c, const Workcell& cell, FILE* out) {
  if (c.valid) return;
  char body[32];
  switch (deepest_cut(c)) {
    case kCutBox:
      body_label(c.obstacleBody, body);
      flushed_printf(out, "\n注意: この最終姿勢は箱'%s'に食い込む (%s, 深さ %.4f)\n",
                     nearest_box_name(c, cell), body, -c.obstacle);
      return;
    case kCutFloor:
      body_label(c.floorBody, body);
      flushed_printf(out, "\n注意: この最終姿勢は床より下にある (%s, 深さ %.4f)\n", body, -c.floor);
      return;
    case kCutWall:
      body_label(c.wallBody, body);
      flushed_printf(out, "\n注意: この最終姿勢は壁に食い込む (%s, %s, 深さ %.4f)\n", body,
                     feature_label(c.wallFeature), -c.wall);
      return;
  }
}

void print_straight_motion(const MotionCheck& check, const Workcell& cell, FILE* out) {
  if (!check.collides) return;
  const WorkcellClearance& c = check.worst;
  const int step = straight_motion_step(check);
  char body[32];
  switch (deepest_cut(c)) {
    case kCutBox:
      body_label(c.obstacleBody, body);
      flushed_printf(out, "\n注意: 初期姿勢から目標への直線運動はステップ%dで箱'%s'に当たる (%s)\n",
                     step, nearest_box_name(c, cell), body);
      return;
    case kCutFloor:
      body_label(c.floorBody, body);
      flushed_printf(out, "\n注意: 初期姿勢から目標への直線運動はステップ%dで床に当たる (%s, 床)\n",
                     step, body);
      return;
    case kCutWall:
      body_label(c.wallBody, body);
      flushed_printf(out, "\n注意: 初期姿勢から目標への直線運動はステップ%dで壁に当たる (%s, %s)\n",
                     step, body, feature_label(c.wallFeature));
      return;
  }
}
