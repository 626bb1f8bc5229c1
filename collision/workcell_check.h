// The workcell as obstacles, and the robot's bodies against them: whether a pose is free.
//
// Obstacles: the wall plate as drawn, the rectangle in the plane y = rh.y with x from rh.x - 4
// to rh.x and z from rh.z to rh.z + 4 (its free vertical edge at x = rh.x); the floor z = 0;
// the user's solid boxes (cell.obstacles), which every body must keep clear of.
// Bodies: the tubes (link radius) of arms 1..N-1 (joint m to joint m+1), the hand (joint N to
// the work point) and the workpiece box (workSize along the work's axes, centred on the work
// point). Arm 1, the base column, stands on the floor and is exempt from it.
// A clearance is signed: the distance between a body and an obstacle when apart, minus how deep
// the body reaches in when they overlap (a tube through the plate: its radius plus how far its
// crossing lies inside the plate's rim; a body in a box: minus the least translation that parts
// them, a tube's radius included). A pose is valid when every clearance is at least
// -kWorkcellTolerance: a touch within the contact band counts as touching, not cutting.
// Lengths in model units. No shared state.
#pragma once

#include "collision/geometry.h"
#include "model/forward_kinematics.h"
#include "model/scene_defaults.h"
#include "model/state.h"

// The contact band: clearances down to minus this count as touching.
constexpr double kWorkcellTolerance = 1e-5;

// Bodies are numbered: arms 1..N-1 by their number, then these two.
constexpr int kBodyHand = kMaxJoints;
constexpr int kBodyWorkpiece = kMaxJoints + 1;

// Per-body arrays run over 0..kBodyWorkpiece (arms 1..N-1, the hand, the workpiece); entry 0 is
// unused.
constexpr int kBodySlots = kBodyWorkpiece + 1;

// The obstacle feature nearest a body.
enum WorkcellFeature {
  kFeatureWallEdge,     // the plate's free vertical edge (x = rh.x)
  kFeatureWallFace,     // the plate's face
  kFeatureWallTop,      // its top edge (z = rh.z + 4)
  kFeatureWallFarEdge,  // its far vertical edge (x = rh.x - 4)
  kFeatureWallBottom,   // its bottom edge (z = rh.z)
  kFeatureFloor,        // the floor
};

// The clearances of one pose: the least over the bodies against the wall plate, against the
// floor and against the boxes, each with the body (and feature, or box) that gives it.
struct WorkcellClearance {
  double wall;
  int wallBody;
  WorkcellFeature wallFeature;
  double floor;
  int floorBody;
  double obstacle;    // INFINITY without boxes
  int obstacleBody;   // 0 without boxes
  int obstacleIndex;  // index into cell.obstacles, -1 without boxes
  double least;       // min(wall, floor, obstacle)
  int valid;          // 1 when least >= -kWorkcellTolerance (and no clearance is NaN)
};

// The wall plate of a wall edge whose lower end is rh.
WallRect wall_plate(const Vec3& rh);

// The box an obstacle fills.
OrientedBox obstacle_box(const Obstacle& obstacle);

// The workpiece box held with its centre at rw and orientation Ew.
OrientedBox workpiece_box(const RobotModel& robot, const Vec3& rw, const Mat3& Ew);

// The signed clearance of a tube a..b (radius) from the plate, the feature that gives it, and the
// unit vector from the plate's nearest point towards the tube's (zero when they meet).
double tube_plate_clearance(const Vec3& a, const Vec3& b, double radius, const WallRect& plate,
                            WorkcellFeature& feature, Vec3& away);

// The clearances of the hand (the tube from joint N at jointN to the work point rw) and of the
// workpiece held at rw with orientation Ew from the cell's plate, floor and boxes: the bodies a
// work pose alone places. Writes out (with least and valid) and returns out.valid.
int held_work_clearance(const RobotModel& robot, const Workcell& cell, const Vec3& jointN,
                        const Vec3& rw, const Mat3& Ew, WorkcellClearance& out);

// The clearances of the pose that kin holds (forward_kinematics already run). Writes out and
// returns out.valid.
int workcell_clearance(const RobotModel& robot, const Kinematics& kin, const Workcell& cell,
                       WorkcellClearance& out);

// Lower bounds of each body's own clearances: wall[k] and floor[k] for arms k = 1..N-1, the hand
// and the workpiece (arm 1's floor entry is infinite: it stands on the floor). Exact but for the
// wall entries of the workpiece and of any arm that a cheaper bound (its half-diagonal, its
// bounding box) shows farther than the least. wallAway[k] is a unit vector from the plate towards
// body k (for a tube, from the nearest points of the two, or the bounding boxes' gap; for the
// workpiece, from the plate's point nearest its centre), or zero where they meet: a direction along
// which the plate and the body lie far apart. obstacle[k][j] and obstacleAway[k][j] are the same
// for body k and box j (j < cell.obstacleCount): exact where no cheaper lower bound (the gap of
// their bounding boxes, or their separation along the separating axes) already shows them
// farther apart than the least, else that bound and its direction. On an invalid pose an entry
// may lie above its clearance: a tube through the plate whose bounding box stood in gets -radius.
struct BodyClearances {
  double wall[kBodySlots];
  double floor[kBodySlots];
  Vec3 wallAway[kBodySlots];
  double obstacle[kBodySlots][kMaxObstacles];
  Vec3 obstacleAway[kBodySlots][kMaxObstacles];
};

// As workcell_clearance, and each body's clearances into bodies.
int workcell_body_clearances(const RobotModel& robot, const Kinematics& kin, const Workcell& cell,
                             BodyClearances& bodies, WorkcellClearance& out);

// Forward kinematics of q (radians, q[1..N]) into kin, then its clearances. Returns out.valid.
int pose_check(const RobotModel& robot, const Workcell& cell, const double q[], Kinematics& kin,
               WorkcellClearance& out);

// Whether the pose that kin holds is valid: workcell_clearance's verdict, each body measured
// exactly only where a cheap lower bound does not already keep it clear of the contact band. A
// box that is no number makes every pose invalid.
int workcell_valid(const RobotModel& robot, const Kinematics& kin, const Workcell& cell);

// Forward kinematics of q (radians, q[1..N]) into kin, then workcell_valid.
int pose_valid(const RobotModel& robot, const Workcell& cell, const double q[], Kinematics& kin);

// The same by forward_kinematics_fast with the robot's quarter_turns: for the probes of motions
// that the certified motion check judges, whose tolerance dwarfs the few ulps between the two.
int pose_valid_fast(const RobotModel& robot, const QuarterTurns& turns, const Workcell& cell,
                    const double q[], Kinematics& kin);

// The name of a body ("arm 3", "hand", "workpiece") written to text (room for 16 characters).
void body_name(int body, char text[16]);

// The name of a feature: "wall edge", "wall face", "wall top", "wall far edge",
// "wall bottom", "floor".
const char* feature_name(WorkcellFeature feature);
