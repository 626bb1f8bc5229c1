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

bool below_the_floor(const WorkcellClearance& c) {
  return c.floor < c.wall;
}

const char* final_pose_warning(const WorkcellClearance& c) {
  if (c.valid) return nullptr;
  return below_the_floor(c) ? "Final Pose Below the Floor" : "Final Pose Cuts the Wall";
}

void straight_motion_warning(const MotionCheck& check, char text[80]) {
  text[0] = '\0';
  if (!check.collides) return;
  std::snprintf(text, 80, "Straight Motion Hits the %s at Step %d",
                below_the_floor(check.worst) ? "Floor" : "Wall", straight_motion_step(check));
}

void print_final_pose_verdict(const WorkcellClearance& c, FILE* out) {
  if (c.valid) return;
  char body[32];
  if (below_the_floor(c)) {
    body_label(c.floorBody, body);
    flushed_printf(out, "\n注意: この最終姿勢は床より下にある (%s, 深さ %.4f)\n", body, -c.floor);
  } else {
    body_label(c.wallBody, body);
    flushed_printf(out, "\n注意: この最終姿勢は壁に食い込む (%s, %s, 深さ %.4f)\n", body,
                   feature_label(c.wallFeature), -c.wall);
  }
}

void print_straight_motion(const MotionCheck& check, FILE* out) {
  if (!check.collides) return;
  const WorkcellClearance& c = check.worst;
  char body[32];
  const bool floor = below_the_floor(c);
  body_label(floor ? c.floorBody : c.wallBody, body);
  flushed_printf(out, "\n注意: 初期姿勢から目標への直線運動はステップ%dで%sに当たる (%s, %s)\n",
                 straight_motion_step(check), floor ? "床" : "壁", body,
                 floor ? "床" : feature_label(c.wallFeature));
}
