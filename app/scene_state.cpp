#include "app/scene_state.h"

#include "model/robot_catalogue.h"
#include "render/scene_frame.h"
#include "task/contact_arm_rules.h"
#include "task/workcell_setup.h"

RobotModel robot;
Kinematics kin;
Workcell cell;
Scene scene;

void wall_corners(const Vec3& rh, Vec3 corners[4]) {
  wall_plate_corners(rh, corners);
}

void rebuild_robot(int type) {
  robot_setup(type, robot);
  kin = Kinematics(robot);
  guess_contact_arm(robot, cell.rh, scene.methodB.Mcont);
}

void set_initial_pose() {
  qcopy(robot.N, robot.qInit, scene.methodB.qr);
}

void start_scene() {
  for (double& q : scene.qZero) q = 0;
  robot_setup(1, robot);
  kin = Kinematics(robot);
  start_workcell(robot, cell);
  scene.methodB.Mcont = kStartupContactArm;
  wall_corners(cell.rh, scene.wallCorner);
  scene.setMode = '0';
  scene.calcMode = '0';
  scene.menuState = '1';
  scene.floorMapShown = false;
  method_b_reset(scene.methodB);
  for (int k = 0; k < 3; k++) {
    scene.viewRot[k] = kStartViewRot[k];
    scene.viewShift[k] = kStartViewShift[k];
  }
  set_initial_pose();
}
