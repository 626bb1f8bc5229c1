// The three kinds of state every kinematic routine works on: the robot model that robot_setup
// builds (constant for a robot), the kinematic state that forward_kinematics writes (a
// per-evaluation workspace), and the goal and wall that the solvers read. Routines take them
// as parameters; only the shell owns the instances the program runs on.
#pragma once

#include "math/vecmat.h"

// Every robot has seven joints; per-joint arrays run over 0..kMaxJoints, entry 0 is the base.
constexpr int kMaxJoints = 7;
constexpr int kRobotTypes = 4;

// What robot_setup builds for one robot type; constant until the next robot_setup.
struct RobotModel {
  int type;                              // robot type 1..4
  int N;                                 // number of joints, always 7
  char jrtypeText[10];                   // blank, the seven axis letters, line feed, NUL
  char jointAxisLetter[kMaxJoints + 1];  // 'R', 'P' or 'Q' for joints 1..N
  char jointKind[kMaxJoints + 1];        // 'R' rotational or 'S' sliding
  char wristChar;                        // mode letter of the position solvers
  Mat3 E0[kMaxJoints + 1];               // joint frames in the upright zero pose
  Vec3 Jpos0[kMaxJoints + 1];            // joint positions in the zero pose
  Vec3 rw0;                              // work point in the zero pose
  Mat3 Ew0;                              // work orientation in the zero pose
  double qInit[kJointSlots];             // initial pose, the pose every calculation starts from
  int posJoints[3];             // positioning joints I, J, K of the position/orientation solver
  int Lcont;                    // joint turned to bring an arm against the wall edge
  Mat3 Erel[kMaxJoints + 1];    // frame i relative to frame i-1 before its rotation q[i]
  Vec3 Lloc[kMaxJoints + 1];    // link i (joint i-1 to joint i) in frame i-1
  double Llen[kMaxJoints + 1];  // length of link i
  Vec3 LlocU[kMaxJoints + 1];   // unit direction of link i in frame i-1 (unset when Llen is 0)
  Vec3 rwLoc;                   // work point seen from joint N, in frame N
  Mat3 EwLoc;                   // work orientation in frame N
  double handLength;            // |rwLoc|
  double linkRadius;            // radius of the link tubes
  double edgeRadius;            // radius given to the wall-edge line in contact distances
  double workSize[3];           // workpiece box along the work's x, y, z axes
  double workHoleRadius;        // holes in the workpiece's two x faces (drawing only)
};

// What forward_kinematics writes (entries 1..N); E[0] and Jpos[0], the base frame and base
// point, are inputs that a caller may move. Ready for forward_kinematics when made: all zero but
// the base.
struct Kinematics {
  // The base at the world origin, unturned, where robot_setup stands every model.
  constexpr Kinematics() { Eloc[0] = E[0] = {{1, 0, 0, 0, 1, 0, 0, 0, 1}}; }
  // The base at robot's zero-pose base: frame E0[0], point Jpos0[0].
  explicit Kinematics(const RobotModel& robot) {
    Eloc[0] = E[0] = robot.E0[0];
    Jpos[0] = robot.Jpos0[0];
  }

  Mat3 Eloc[kMaxJoints + 1] = {};  // frame i relative to frame i-1 at the current joint value
  Mat3 E[kMaxJoints + 1] = {};     // world frame of joint i; column 2 is its rotation axis
  Vec3 Jpos[kMaxJoints + 1] = {};  // world position of joint i
  Vec3 L[kMaxJoints + 1] = {};     // world vector of link i, from Jpos[i-1] to Jpos[i]
  Vec3 LU[kMaxJoints + 1] = {};    // world unit direction of link i
  Vec3 rw = {};                    // world position of the work point
  Mat3 Ew = {};                    // world orientation of the work
};

// A workcell holds at most this many boxes; a box's name at most kObstacleNameMax characters.
constexpr int kMaxObstacles = 64;
constexpr int kObstacleNameMax = 32;

// A solid box the user places in the workcell (a fixture, a table, a post): full side lengths
// along its own axes, its centre in the base frame, and its orientation (columns: its x, y and
// z axes in the base frame).
struct Obstacle {
  char name[kObstacleNameMax + 1];  // NUL-terminated
  double size[3];
  Vec3 centre;
  Mat3 R;
};

// The scene the user describes: the workpiece goal, the wall edge and the boxes, which the shell
// edits and the solvers read.
struct Workcell {
  Vec3 rwG;                           // goal position of the workpiece centre
  Mat3 EwG;                           // goal orientation of the workpiece
  Vec3 rh;                            // lower end point of the wall's vertical edge
  int obstacleCount = 0;              // boxes in use, 0..kMaxObstacles
  Obstacle obstacles[kMaxObstacles];  // entries 0..obstacleCount-1
};
