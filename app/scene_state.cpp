#include "app/scene_state.h"

#include "model/state.h"

Scene scene;

void wall_corners(const Vec3& rh, Vec3 corners[4]) {
  corners[0] = rh;
  corners[1] = {rh.x - 4, rh.y, rh.z};
  corners[2] = {rh.x - 4, rh.y, rh.z + 4};
  corners[3] = {rh.x, rh.y, rh.z + 4};
}

void set_initial_pose() {
  qcopy(robot.N, robot.qInit[scene.JRTYPE], scene.qr);
}
