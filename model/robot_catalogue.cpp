#include "model/robot_catalogue.h"

namespace {

struct RobotType {
  const char* axisLetters;        // joints 1..7
  double height[kMaxJoints + 1];  // joint heights above the base in the zero pose, 1..7
  int bendingJoint;               // the joint at height 1.0 that qInit turns by PI/2
  int posJoints[3];
  int Lcont;
};

const RobotType kCatalogue[kRobotTypes + 1] = {
    {},
    {"RQRPRPR", {0, 0, 1.0, 2.0, 2.2, 4.0, 4.1, 4.2}, 2, {2, 3, 4}, 1},
    {"RQPPRPR", {0, 0, 1.0, 2.2, 3.0, 4.0, 4.1, 4.2}, 2, {2, 3, 4}, 1},
    {"QPRPRPR", {0, 1.0, 1.2, 2.2, 3.0, 4.0, 4.1, 4.2}, 1, {1, 3, 4}, 2},
    {"QPPQRPR", {0, 1.0, 1.2, 2.2, 3.0, 4.0, 4.1, 4.2}, 1, {1, 3, 4}, 2},
};

// Model scale factor applied to every catalogue height.
constexpr double kScale = 1.0;

const Mat3 kIdentity = {{1, 0, 0, 0, 1, 0, 0, 0, 1}};

// Zero-pose frame of a joint with the given axis letter: columns are its x, y, z axes.
Mat3 axis_frame(char letter) {
  switch (letter) {
    case 'P':
      return {{0, 0, 1, 1, 0, 0, 0, 1, 0}};
    case 'Q':
      return {{0, 1, 0, 0, 0, 1, 1, 0, 0}};
    default:
      return kIdentity;
  }
}

}  // namespace

void robot_setup(int type, RobotModel& robot) {
  if (type < 2 || type > kRobotTypes) type = 1;
  const RobotType& row = kCatalogue[type];

  robot.type = type;
  robot.N = kMaxJoints;
  robot.jrtypeText[0] = ' ';
  robot.jrtypeText[8] = '\n';
  robot.jrtypeText[9] = '\0';

  for (int i = 1; i <= robot.N; i++) {
    robot.jointKind[i] = 'R';
    robot.jointAxisLetter[i] = row.axisLetters[i - 1];
    robot.jrtypeText[i] = row.axisLetters[i - 1];
  }
  robot.wristChar = 'R';

  robot.E0[0] = kIdentity;
  robot.Jpos0[0] = {0, 0, 0};
  for (int i = 1; i <= robot.N; i++) {
    robot.E0[i] = axis_frame(robot.jointAxisLetter[i]);
    robot.Jpos0[i] = {0, 0, row.height[i] * kScale};
  }
  robot.Ew0 = kIdentity;
  robot.rw0 = {0, 0, 4.4 * kScale};

  for (int i = 0; i < kJointSlots; i++) robot.qInit[i] = 0;
  robot.qInit[row.bendingJoint] = PI / 2.0;

  for (int k = 0; k < 3; k++) robot.posJoints[k] = row.posJoints[k];
  robot.Lcont = row.Lcont;

  robot.linkRadius = 0.1;
  robot.edgeRadius = 0.0;
  robot.workSize[0] = 0.35;
  robot.workSize[1] = 0.3;
  robot.workSize[2] = 0.2;
  robot.workHoleRadius = 0.08;

  link_geometry(robot.N, robot.Jpos0, robot.E0, robot.rw0, robot.Ew0, robot.Erel, robot.Lloc,
                robot.LlocU, robot.Llen, robot.rwLoc, robot.EwLoc, robot.handLength);
}

void link_geometry(int N, const Vec3 Jpos0[], const Mat3 E0[], const Vec3& rw0, const Mat3& Ew0,
                   Mat3 Erel[], Vec3 Lloc[], Vec3 LlocU[], double Llen[], Vec3& rwLoc, Mat3& EwLoc,
                   double& handLength) {
  Erel[0] = E0[0];
  Lloc[0] = Jpos0[0];
  for (int i = 1; i <= N; i++) mtmul(E0[i - 1], E0[i], Erel[i]);
  for (int i = 1; i <= N; i++) {
    Vec3 link;
    vsub(Jpos0[i], Jpos0[i - 1], link);
    mtvmul(E0[i - 1], link, Lloc[i]);
    Llen[i] = vnorm(Lloc[i]);
    // A link of length 0 (joint i on joint i-1) has no direction; nothing reads it.
    if (Llen[i] != 0)
      LlocU[i] = {Lloc[i].x / Llen[i], Lloc[i].y / Llen[i], Lloc[i].z / Llen[i]};
    else
      LlocU[i] = {0, 0, 0};
  }
  Vec3 hand;
  vsub(rw0, Jpos0[N], hand);
  mtvmul(E0[N], hand, rwLoc);
  handLength = vnorm(rwLoc);
  mtmul(E0[N], Ew0, EwLoc);
}
