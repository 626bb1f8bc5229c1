// A robot model as URDF (the Unified Robot Description Format of ROS, MoveIt and most
// simulators), optionally with the workcell around it, so that poses found here can be looked at
// and replayed elsewhere. No shared state.
//
// The tree: base_link - joint1 - link1 - ... - joint7 - link7 - hand_joint - hand -
// workpiece_joint - workpiece; with the workcell also base_link - wall_joint - wall and
// base_link - floor_joint - floor. Joints 1..N are `continuous` (no limits), the rest `fixed`.
//
// Frames: base_link is the program's world frame (the base put where a Kinematics made from the
// model puts it). Link k's frame has its origin at joint k and, in the zero pose, the world's
// orientation: joint k's origin is Jpos0[k] - Jpos0[k-1] (Jpos0[1] for joint 1) with no rotation,
// and its axis is column 2 of E0[k], the axis letter's direction ('R' z, 'P' x, 'Q' y in the
// catalogue). Then at any joint vector q a URDF tool's forward kinematics puts link k at Jpos[k]
// turned by E[k] * E0[k]^T, and hand and workpiece (both at the work point, turned by the work's
// zero-pose orientation Ew0 relative to link N) at rw with orientation Ew: what forward_kinematics
// gives.
//
// Geometry, each as both `visual` and `collision`: the tubes of the link radius that the
// clearance routines use, a cylinder from joint k to joint k+1 in link k (base_link: from the
// base point to joint 1; none for a link of length 0) and a sphere at joint k in link k
// (k = 1..N); the hand is the stem from joint N to the work point; the workpiece is a box of
// workSize along the work's x, y, z axes. The wall is a thin box on the wall plate (plane
// y = rh.y, x from rh.x - 4 to rh.x, z from rh.z to rh.z + 4), the floor a thin box whose top is
// the plane z = 0.
//
// A workcell's boxes (workcell_urdf) are links of their own names, each a box of the box's
// sides as `visual` and `collision`, fixed to base_link by the joint <name>_joint at the box's
// centre turned by its orientation (as roll, pitch and yaw).
//
// Numbers are written as printf's "%.17g" writes them in the C locale, whatever the process's
// locale (a negative zero as 0), so every value reads back exactly.
#pragma once

#include <string>

#include "math/vecmat.h"
#include "model/state.h"

// The thickness of the thin boxes that stand for the wall plate (kWallPlateSize square,
// model/scene_defaults.h) and the floor.
constexpr double kUrdfSlabThickness = 0.01;
// The floor: a square of this side centred under the base.
constexpr double kUrdfFloorSide = 10;

// A box in base_link (world) coordinates: its centre and its sides along x, y and z.
struct UrdfBox {
  Vec3 centre;
  Vec3 size;
};

// The wall's box for the wall edge point rh (the lower end of the vertical edge): the plate
// x in [rh.x - kWallPlateSize, rh.x], z in [rh.z, rh.z + kWallPlateSize], kUrdfSlabThickness
// thick, centred on the plane y = rh.y.
UrdfBox urdf_wall_box(const Vec3& rh);

// The floor's box: kUrdfFloorSide square centred on x = y = 0, its top face at z = 0.
UrdfBox urdf_floor_box();

// The URDF document of `robot` (built by robot_setup, or any model link_geometry completed),
// named robotName (characters that XML reserves are escaped), into text. With wallEdge (the
// workcell's rh) not null, the wall and the floor are added. Returns 1, or 0 with why (one line)
// and text unchanged when the model cannot be written: a joint count outside 1..kMaxJoints, a
// sliding joint (jointKind 'S': forward_kinematics turns every joint, so no exported slide would
// match it), a link radius that is not positive, or a value that is not finite.
int robot_urdf(const RobotModel& robot, const char* robotName, const Vec3* wallEdge,
               std::string& text, std::string& why);

// The URDF document of `robot` in `cell`: robot_urdf's with the wall at cell.rh and the floor,
// and each of the boxes 0..cell.obstacleCount-1 as a link named as the box. Without boxes, the
// text of robot_urdf with wallEdge &cell.rh. Returns 1, or 0 with why and text unchanged for
// robot_urdf's reasons, or a box that cannot be written: a name that is empty, a link's of the
// robot or the workcell (base_link, link1..link7, hand, workpiece, wall, floor) or an earlier
// box's; a side that is not a positive number, a centre that is not finite, or an orientation
// that is not a rotation.
int workcell_urdf(const RobotModel& robot, const char* robotName, const Workcell& cell,
                  std::string& text, std::string& why);
