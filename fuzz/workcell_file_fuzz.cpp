// Fuzz target: the workcell file's reader on arbitrary text, and the result applied to a
// workcell. The reader must return 1 or 0 without throwing; a refusal is one line naming the
// file and gives nothing; what it accepts is within the documented ranges (names good and
// distinct, sizes in (0, 1000], centres within 1000, every R a rotation) and reads back the same
// when written out again; applying it keeps the workcell finite, or leaves it as it was.
#include <cctype>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "fuzz/fuzz_values.h"
#include "model/robot_catalogue.h"
#include "task/contact_arm_rules.h"
#include "task/workcell_file.h"
#include "task/workcell_setup.h"

namespace {

const char kSource[] = "fuzz.json";

WorkcellFile file, again;
RobotModel robot;
Workcell cell;

void append_triple(std::string& text, const double v[3]) {
  char part[100];
  std::snprintf(part, sizeof part, "[%.17g, %.17g, %.17g]", v[0], v[1], v[2]);
  text += part;
}

// The file's values written out again, the boxes without their rotation.
std::string written(const WorkcellFile& f) {
  std::string text = "{";
  if (f.typeGiven) text += "\"type\": " + std::to_string(f.type) + ", ";
  if (f.goalGiven) {
    text += "\"goal\": ";
    append_triple(text, f.goal);
    text += ", ";
  }
  if (f.wallGiven) {
    char part[40];
    std::snprintf(part, sizeof part, "%.17g", f.wallY);
    text += std::string("\"wall\": ") + part + ", ";
  }
  text += "\"obstacles\": [";
  for (int k = 0; k < f.obstacleCount; k++) {
    const Obstacle& b = f.obstacles[k];
    const double c[3] = {b.centre.x, b.centre.y, b.centre.z};
    text += std::string(k == 0 ? "" : ", ") + "{\"name\": \"" + b.name + "\", \"size\": ";
    append_triple(text, b.size);
    text += ", \"position\": ";
    append_triple(text, c);
    text += "}";
  }
  return text + "]}";
}

bool good_name(const char* name) {
  const size_t length = strnlen(name, kObstacleNameMax + 1);
  if (length < 1 || length > static_cast<size_t>(kObstacleNameMax)) return false;
  for (size_t k = 0; k < length; k++)
    if (!std::isalnum(static_cast<unsigned char>(name[k])) && name[k] != '_' && name[k] != '-')
      return false;
  return true;
}

// R^T R = I and det R = 1 within 1e-12.
bool rotation(const Mat3& R) {
  if (!all_finite(R.m, 9)) return false;
  for (int i = 0; i < 3; i++)
    for (int j = 0; j < 3; j++) {
      double dot = 0;
      for (int k = 0; k < 3; k++) dot += R.m[3 * k + i] * R.m[3 * k + j];
      if (std::fabs(dot - (i == j ? 1 : 0)) > 1e-12) return false;
    }
  const double det = R.m[0] * (R.m[4] * R.m[8] - R.m[5] * R.m[7]) -
                     R.m[1] * (R.m[3] * R.m[8] - R.m[5] * R.m[6]) +
                     R.m[2] * (R.m[3] * R.m[7] - R.m[4] * R.m[6]);
  return std::fabs(det - 1) <= 1e-12;
}

void check_accepted(const WorkcellFile& f) {
  require(!f.typeGiven || (f.type >= 1 && f.type <= 4), "type outside 1..4");
  require(!f.goalGiven || all_finite(f.goal, 3), "goal not finite");
  require(!f.wallGiven || std::isfinite(f.wallY), "wall not finite");
  require(f.obstacleCount >= 0 && f.obstacleCount <= kMaxObstacles, "box count");
  for (int k = 0; k < f.obstacleCount; k++) {
    const Obstacle& b = f.obstacles[k];
    require(good_name(b.name), "bad name accepted");
    for (int j = 0; j < k; j++)
      require(std::strcmp(b.name, f.obstacles[j].name) != 0, "name twice");
    for (double s : b.size) require(s > 0 && s <= kObstacleExtent, "size out of range");
    const double c[3] = {b.centre.x, b.centre.y, b.centre.z};
    for (double v : c) require(std::fabs(v) <= kObstacleExtent, "centre out of range");
    require(rotation(b.R), "R is no rotation");
  }
}

// Written out and read again: the same values (a zero's sign aside: JSON's -0 is an integer).
void check_reads_back(const WorkcellFile& f) {
  const std::string text = written(f);
  std::string why;
  require(read_workcell_text(text.data(), text.size(), kSource, again, why) == 1,
          "written file refused");
  require(again.typeGiven == f.typeGiven && again.goalGiven == f.goalGiven &&
              again.wallGiven == f.wallGiven && again.obstacleCount == f.obstacleCount,
          "read back: given values differ");
  require(!f.typeGiven || again.type == f.type, "read back: type");
  require(!f.goalGiven || (again.goal[0] == f.goal[0] && again.goal[1] == f.goal[1] &&
                           again.goal[2] == f.goal[2]),
          "read back: goal");
  require(!f.wallGiven || again.wallY == f.wallY, "read back: wall");
  for (int k = 0; k < f.obstacleCount; k++) {
    const Obstacle &a = again.obstacles[k], &b = f.obstacles[k];
    require(std::strcmp(a.name, b.name) == 0, "read back: name");
    require(a.size[0] == b.size[0] && a.size[1] == b.size[1] && a.size[2] == b.size[2],
            "read back: size");
    require(a.centre.x == b.centre.x && a.centre.y == b.centre.y && a.centre.z == b.centre.z,
            "read back: centre");
  }
}

// Applied to the start-up workcell of a robot type: finite, or refused and left as it was.
void check_applied(const WorkcellFile& f) {
  const int type = f.typeGiven ? f.type : 1;
  robot_setup(type, robot);
  start_workcell(robot, cell);
  const Workcell before = cell;
  std::string why;
  int Mcont = kStartupContactArm;
  const int applied = apply_workcell_file(f, robot, cell, Mcont, why);
  require(applied == 0 || applied == 1, "apply result");
  if (applied == 1) {
    const double values[] = {cell.rwG.x, cell.rwG.y, cell.rwG.z, cell.rh.x, cell.rh.y, cell.rh.z};
    require(all_finite(values, 6), "applied workcell not finite");
    require(Mcont >= 2 && Mcont <= 5, "contact arm outside 2..5");
    require(cell.obstacleCount == f.obstacleCount, "boxes not applied");
    return;
  }
  require(why.rfind(std::string(kSource) + ": ", 0) == 0, "refusal does not name the file");
  require(cell.rwG.x == before.rwG.x && cell.rwG.y == before.rwG.y && cell.rh.y == before.rh.y &&
              Mcont == kStartupContactArm && cell.obstacleCount == before.obstacleCount,
          "refused file changed the workcell");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzzCase = {nullptr, 0};
  std::string why;
  const int result =
      read_workcell_text(reinterpret_cast<const char*>(data), size, kSource, file, why);
  require(result == 0 || result == 1, "result other than 0 or 1");
  if (result == 0) {
    require(why.rfind(std::string(kSource) + ": ", 0) == 0, "refusal does not name the file");
    require(why.find('\n') == std::string::npos, "refusal of more than one line");
    require(!file.typeGiven && !file.goalGiven && !file.wallGiven && file.obstacleCount == 0,
            "refused file gives values");
    return 0;
  }
  check_accepted(file);
  check_reads_back(file);
  check_applied(file);
  return 0;
}
