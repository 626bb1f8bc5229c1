#include "app/scene_state.h"

#include "model/forward_kinematics.h"
#include "model/robot_catalogue.h"
#include "task/contact_arm_rules.h"

RobotModel robot;
Kinematics kin;
Workcell cell;
Scene scene;

void wall_corners(const Vec3& rh, Vec3 corners[4]) {
  corners[0] = rh;
  corners[1] = {rh.x - kWallPlateSize, rh.y, rh.z};
  corners[2] = {rh.x - kWallPlateSize, rh.y, rh.z + kWallPlateSize};
  corners[3] = {rh.x, rh.y, rh.z + kWallPlateSize};
}

void rebuild_robot() {
  robot_setup(scene.JRTYPE, robot);
  kinematics_at_base(robot, kin);
  guess_contact_arm(robot, cell.rh, scene.Mcont);
}

void set_initial_pose() {
  qcopy(robot.N, robot.qInit[scene.JRTYPE], scene.qr);
}

void start_scene() {
  robot.N = 7;
  for (int i = 1; i <= robot.N; i++) scene.qZero[i] = 0;
  scene.JRTYPE = 1;
  robot_setup(scene.JRTYPE, robot);
  kinematics_at_base(robot, kin);
  start_workcell(cell);
  scene.Mcont = kStartupContactArm;
  wall_corners(cell.rh, scene.wallCorner);
  scene.setMode = '0';
  scene.calcMode = '0';
  scene.menuState = '1';
  scene.floorMapShown = false;
  scene.lcontFlag = 5;
  scene.tolPos = kMethodBTolPos;
  const double viewRot[3] = {2.0, 2.0, 2.0};
  const double viewShift[3] = {-1.0, -1.0, -2.0};
  for (int k = 0; k < 3; k++) {
    scene.viewRot[k] = viewRot[k];
    scene.viewShift[k] = viewShift[k];
  }
  set_initial_pose();
}
