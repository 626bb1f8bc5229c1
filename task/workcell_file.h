// The workcell file: a JSON object that describes a scene, read strictly into a plain struct,
// and the one routine that puts it into a Workcell. Model units and the robot's base frame
// (z up, floor z = 0) throughout; angles in radians.
//   {
//     "type": 3,                     optional, robot type 1..4
//     "goal": [-0.6, 2.2, 0.0],      optional, x, y and the height of the workpiece's underside
//     "wall": 1.3,                   optional, the y of the wall's edge
//     "obstacles": [                 optional, at most kMaxObstacles boxes
//       { "name": "post",            unique, 1..kObstacleNameMax characters of A-Z a-z 0-9 _ -
//         "size": [0.2, 0.2, 1.5],   full side lengths along the box's own x, y, z
//         "position": [-1.5, -1.2, 0.75],  the box's centre
//         "rpy": [0, 0, 0.4] }       optional: R = Rz(yaw) Ry(pitch) Rx(roll), or instead
//     ]                              "quat_xyzw": [x, y, z, w] with |q| within 1e-6 of 1
//   }
// Every key must be known and given once, every number finite, sizes in (0, kObstacleExtent]
// and centres within kObstacleExtent of the origin on each axis. A refusal is one line naming
// the file, the obstacle (counted from 1, with its name when it has a good one) and the field:
//   workcells/x.json: obstacle 2 ('post'): size: each side must be a finite number > 0
#pragma once

#include <cstddef>
#include <string>

#include "model/state.h"

// The largest side and the farthest centre coordinate a box may have: far beyond any robot's
// reach, near enough that every distance the checks form stays finite.
constexpr double kObstacleExtent = 1000;
// The most bytes a workcell file may have (64 boxes take a few kilobytes).
constexpr long kWorkcellFileMaxBytes = 1 << 20;
// How far |q| of a quaternion may be from 1.
constexpr double kQuaternionUnitTolerance = 1e-6;

// What a workcell file holds. Each of type, goal and wall is meaningful only when given.
struct WorkcellFile {
  std::string source;  // the file's name as given, for messages; empty when there is no file
  bool typeGiven = false;
  int type = 0;  // 1..4
  bool goalGiven = false;
  double goal[3] = {0, 0, 0};  // x, y and the height of the workpiece's underside
  bool wallGiven = false;
  double wallY = 0;  // the y of the wall's vertical edge
  int obstacleCount = 0;
  Obstacle obstacles[kMaxObstacles] = {};  // entries 0..obstacleCount-1; R exactly a rotation
};

// Reads the workcell text[0..length-1] named `source` (used in messages only) into file, which
// is emptied first. Returns 1, or 0 with why set to one line "source: ...". Throws nothing.
int read_workcell_text(const char* text, size_t length, const std::string& source,
                       WorkcellFile& file, std::string& why);

// Reads the workcell file at path (at most kWorkcellFileMaxBytes) as read_workcell_text does;
// a missing or unreadable file is refused the same way. Returns 1, or 0 with why set.
int read_workcell_file(const std::string& path, WorkcellFile& file, std::string& why);

// Puts the file's goal and wall and its boxes into cell, for the scene's robot (its model, built
// already; the file's type is the caller's to choose). The goal must pass the
// goal dialog's reach test and the wall the wall dialog's (a contact arm 2..5); Method B's
// contact arm Mcont follows a given wall as the wall dialog sets it. Returns 1, or 0 with why set
// ("source: goal out of reach ...") and cell and Mcont unchanged. An empty WorkcellFile (no file)
// only empties cell's boxes.
int apply_workcell_file(const WorkcellFile& file, const RobotModel& robot, Workcell& cell,
                        int& Mcont, std::string& why);
