#include "app/scene_state.h"

#include "model/forward_kinematics.h"
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

void rebuild_robot() {
  robot_setup(scene.JRTYPE, robot);
  kinematics_at_base(robot, kin);
  guess_contact_arm(robot, cell.rh, scene.Mcont);
}

void set_initial_pose() {
  qcopy(robot.N, robot.qInit[scene.JRTYPE], scene.qr);
}

void start_scene() {
  for (double& q : scene.qZero) q = 0;
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
  for (int k = 0; k < 3; k++) {
    scene.viewRot[k] = kStartViewRot[k];
    scene.viewShift[k] = kStartViewShift[k];
  }
  set_initial_pose();
}
