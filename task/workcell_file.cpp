#include "task/workcell_file.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <nlohmann/json.hpp>
#include <vector>

#include "math/number_text.h"
#include "task/contact_arm_rules.h"
#include "task/workcell_setup.h"

namespace {

// Objects keep their keys in the file's order, so the first unknown key reported is the first
// one written.
using Json = nlohmann::ordered_json;

const char* const kTopKeys[] = {"type", "goal", "wall", "obstacles"};
const char* const kBoxKeys[] = {"name", "size", "position", "rpy", "quat_xyzw"};
const char kTopKeyList[] = "type, goal, wall, obstacles";
const char kBoxKeyList[] = "name, size, position, rpy, quat_xyzw";

// Text from the file as a message shows it: printable ASCII kept, anything else '?', at most
// 40 characters.
std::string shown(const std::string& text) {
  std::string out;
  for (size_t k = 0; k < text.size() && k < 40; k++)
    out += text[k] >= 0x20 && text[k] < 0x7f ? text[k] : '?';
  if (text.size() > 40) out += "...";
  return out;
}

std::string number_text(double value) {
  std::string text;
  append_number(text, value, 9);
  return text;
}

// Whether name is 1..kObstacleNameMax characters of A-Z a-z 0-9 _ -.
bool good_name(const std::string& name) {
  if (name.empty() || name.size() > static_cast<size_t>(kObstacleNameMax)) return false;
  for (char c : name)
    if (!((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' ||
          c == '-'))
      return false;
  return true;
}

// The name of the document's box `index` (0-based) when it has a good one, else empty.
std::string box_name(const Json& document, int index) {
  const auto boxes = document.find("obstacles");
  if (boxes == document.end() || !boxes->is_array() || index >= static_cast<int>(boxes->size()))
    return "";
  const Json& box = (*boxes)[index];
  if (!box.is_object() || !box.contains("name") || !box["name"].is_string()) return "";
  const std::string& name = box["name"].get_ref<const std::string&>();
  return good_name(name) ? name : "";
}

// "source: obstacle 2 ('post'): " for obstacle index 1 named post; without the name when empty.
std::string box_place(const std::string& source, int index, const std::string& name) {
  return source + ": obstacle " + std::to_string(index + 1) +
         (name.empty() ? "" : " ('" + name + "')") + ": ";
}

bool known_key(const std::string& key, const char* const keys[], int count) {
  for (int k = 0; k < count; k++)
    if (key == keys[k]) return true;
  return false;
}

// A key the object has that is not among keys, or empty when there is none.
std::string unknown_key(const Json& object, const char* const keys[], int count) {
  for (const auto& item : object.items())
    if (!known_key(item.key(), keys, count)) return item.key();
  return "";
}

// Whether value is an array of exactly count numbers; writes them to out.
bool numbers(const Json& value, int count, double out[]) {
  if (!value.is_array() || value.size() != static_cast<size_t>(count)) return false;
  for (int k = 0; k < count; k++) {
    if (!value[k].is_number()) return false;
    out[k] = value[k].get<double>();
  }
  return true;
}

// Whether every value lies in [lo, hi] (so none is NaN).
bool all_within(const double values[], int count, double lo, double hi) {
  for (int k = 0; k < count; k++)
    if (!(values[k] >= lo && values[k] <= hi)) return false;
  return true;
}

// Whether every value is finite and > 0.
bool all_positive(const double values[], int count) {
  for (int k = 0; k < count; k++)
    if (!(std::isfinite(values[k]) && values[k] > 0)) return false;
  return true;
}

// Follows the parser's events for what the document alone cannot say afterwards: a key given
// twice in one object (the parser keeps one silently), the first found at the top level or in a
// box, and where the parser is, for a number too large for a double (refused before any value
// is kept).
struct ParseWatch {
  struct Level {
    bool array;
    std::vector<std::string> keys;  // an object's keys so far
    int elements = 0;               // an array's elements so far
    std::string name;               // a box's good name, once read
  };
  std::vector<Level> levels;
  bool found = false;
  int obstacle = -1;  // 0-based index of the box holding the key, -1 at the top level
  std::string key;

  void enter(bool array) {
    count_element();
    levels.push_back({array, {}, 0, ""});
  }
  void count_element() {
    if (!levels.empty() && levels.back().array) levels.back().elements++;
  }
  // Whether levels[2] is a box: an object in the top level's "obstacles".
  bool within_box() const {
    return levels.size() >= 3 && !levels[0].array && !levels[0].keys.empty() &&
           levels[0].keys.back() == "obstacles" && levels[1].array && !levels[2].array;
  }
  void see_key(const std::string& name) {
    Level& level = levels.back();
    const bool watched = levels.size() == 1 || (levels.size() == 3 && within_box());
    for (const std::string& earlier : level.keys)
      if (earlier == name && !found && watched) {
        found = true;
        key = name;
        obstacle = levels.size() == 1 ? -1 : levels[1].elements - 1;
      }
    level.keys.push_back(name);
  }
  void see_value(const Json& value) {
    count_element();
    if (levels.size() == 3 && within_box() && levels[2].keys.back() == "name" &&
        value.is_string() && good_name(value.get_ref<const std::string&>()))
      levels[2].name = value.get<std::string>();
  }
  bool event(Json::parse_event_t event, const Json& parsed) {
    switch (event) {
      case Json::parse_event_t::object_start:
        enter(false);
        break;
      case Json::parse_event_t::array_start:
        enter(true);
        break;
      case Json::parse_event_t::object_end:
      case Json::parse_event_t::array_end:
        if (!levels.empty()) levels.pop_back();
        break;
      case Json::parse_event_t::key:
        if (!levels.empty() && parsed.is_string()) see_key(parsed.get_ref<const std::string&>());
        break;
      case Json::parse_event_t::value:
        see_value(parsed);
        break;
    }
    return true;
  }
  // Where the parser is, as a refusal begins: "source: ", "source: wall: ", "source: obstacle
  // 2 ('post'): size: ".
  std::string place(const std::string& source) const {
    if (within_box())
      return box_place(source, levels[1].elements - 1, levels[2].name) +
             (levels[2].keys.empty() ? "" : shown(levels[2].keys.back()) + ": ");
    if (!levels.empty() && !levels[0].array && !levels[0].keys.empty())
      return source + ": " + shown(levels[0].keys.back()) + ": ";
    return source + ": ";
  }
};

// The parser's message without its prefix: "line 3, column 5: syntax error while ...".
std::string parse_message(const Json::parse_error& error) {
  const std::string text = error.what();
  const char marker[] = "parse error at ";
  const size_t at = text.find(marker);
  if (at != std::string::npos) return text.substr(at + sizeof(marker) - 1);
  const size_t bracket = text.find("] ");
  return bracket != std::string::npos ? text.substr(bracket + 2) : text;
}

// R = Rz(yaw) Ry(pitch) Rx(roll).
Mat3 rpy_rotation(double roll, double pitch, double yaw) {
  const double cr = std::cos(roll), sr = std::sin(roll);
  const double cp = std::cos(pitch), sp = std::sin(pitch);
  const double cy = std::cos(yaw), sy = std::sin(yaw);
  return {{cy * cp, cy * sp * sr - sy * cr, cy * sp * cr + sy * sr,  //
           sy * cp, sy * sp * sr + cy * cr, sy * sp * cr - cy * sr,  //
           -sp, cp * sr, cp * cr}};
}

// The rotation of the quaternion q = (x, y, z, w), |q|^2 = n2: v -> q v q* / n2, which is
// orthonormal whatever |q| (dividing by n2 rather than each component by |q| rounds less).
Mat3 quaternion_rotation(const double q[4], double n2) {
  const double x = q[0], y = q[1], z = q[2], w = q[3], s = 2 / n2;
  return {{1 - s * (y * y + z * z), s * (x * y - z * w), s * (x * z + y * w),  //
           s * (x * y + z * w), 1 - s * (x * x + z * z), s * (y * z - x * w),  //
           s * (x * z - y * w), s * (y * z + x * w), 1 - s * (x * x + y * y)}};
}

// The box's orientation from rpy or quat_xyzw (identity without either). Returns 1, or 0 with
// why set to the field and the fault.
int read_rotation(const Json& box, Mat3& R, std::string& why) {
  const bool hasRpy = box.contains("rpy"), hasQuat = box.contains("quat_xyzw");
  R = {{1, 0, 0, 0, 1, 0, 0, 0, 1}};
  if (hasRpy && hasQuat) {
    why = "rpy and quat_xyzw: give one rotation, not both";
    return 0;
  }
  if (hasRpy) {
    double a[3];
    if (!numbers(box["rpy"], 3, a)) {
      why = "rpy: must be an array of 3 numbers (roll, pitch, yaw in radians)";
      return 0;
    }
    if (!all_finite(a, 3)) {
      why = "rpy: each angle must be a finite number";
      return 0;
    }
    R = rpy_rotation(a[0], a[1], a[2]);
  }
  if (hasQuat) {
    double q[4];
    if (!numbers(box["quat_xyzw"], 4, q)) {
      why = "quat_xyzw: must be an array of 4 numbers (x, y, z, w)";
      return 0;
    }
    if (!all_finite(q, 4)) {
      why = "quat_xyzw: each component must be a finite number";
      return 0;
    }
    // |q| without overflow for the message; within the tolerance the plain sum is safe.
    const double n = std::hypot(std::hypot(q[0], q[1]), std::hypot(q[2], q[3]));
    if (!(std::fabs(n - 1) <= kQuaternionUnitTolerance)) {
      why =
          "quat_xyzw: not a unit quaternion: |q| = " + number_text(n) + " is not within 1e-6 of 1";
      return 0;
    }
    R = quaternion_rotation(q, q[0] * q[0] + q[1] * q[1] + q[2] * q[2] + q[3] * q[3]);
  }
  return 1;
}

// One box: its keys, name (good and not one of earlier boxes'), size, position and rotation.
// Returns 1, or 0 with why set to the field and the fault.
int read_box(const Json& element, const Obstacle earlier[], int index, Obstacle& box,
             std::string& why) {
  if (!element.is_object()) {
    why = std::string("must be an object with the keys ") + kBoxKeyList;
    return 0;
  }
  const std::string unknown = unknown_key(element, kBoxKeys, static_cast<int>(std::size(kBoxKeys)));
  if (!unknown.empty()) {
    why = "'" + shown(unknown) + "' is not a known key (" + kBoxKeyList + ")";
    return 0;
  }
  if (!element.contains("name")) {
    why = "name: missing";
    return 0;
  }
  if (!element["name"].is_string() || !good_name(element["name"].get<std::string>())) {
    why = "name: must be 1..32 characters of A-Z a-z 0-9 _ -";
    return 0;
  }
  const std::string name = element["name"].get<std::string>();
  for (int k = 0; k < index; k++)
    if (name == earlier[k].name) {
      why = "name: also the name of obstacle " + std::to_string(k + 1);
      return 0;
    }
  std::memcpy(box.name, name.c_str(), name.size() + 1);
  if (!element.contains("size") || !numbers(element["size"], 3, box.size)) {
    why = "size: must be an array of 3 numbers (full side lengths along the box's x, y, z)";
    return 0;
  }
  if (!all_positive(box.size, 3)) {
    why = "size: each side must be a finite number > 0";
    return 0;
  }
  if (!all_within(box.size, 3, 0, kObstacleExtent)) {
    why = "size: each side must be at most " + number_text(kObstacleExtent);
    return 0;
  }
  double c[3];
  if (!element.contains("position") || !numbers(element["position"], 3, c)) {
    why = "position: must be an array of 3 numbers (the box's centre)";
    return 0;
  }
  if (!all_finite(c, 3)) {
    why = "position: each coordinate must be a finite number";
    return 0;
  }
  if (!all_within(c, 3, -kObstacleExtent, kObstacleExtent)) {
    why = "position: each coordinate must be within " + number_text(kObstacleExtent) +
          " of the origin";
    return 0;
  }
  box.centre = {c[0], c[1], c[2]};
  return read_rotation(element, box.R, why);
}

// The top level: its keys, type, goal, wall and boxes. Returns 1, or 0 with why set.
int read_document(const Json& document, WorkcellFile& file, std::string& why) {
  const std::string& source = file.source;
  if (!document.is_object()) {
    why = source + ": must hold one JSON object with the keys " + kTopKeyList;
    return 0;
  }
  const std::string unknown =
      unknown_key(document, kTopKeys, static_cast<int>(std::size(kTopKeys)));
  if (!unknown.empty()) {
    why = source + ": '" + shown(unknown) + "' is not a known key (" + kTopKeyList + ")";
    return 0;
  }
  if (document.contains("type")) {
    const Json& type = document["type"];
    if (!type.is_number_unsigned() || type.get<uint64_t>() < 1 || type.get<uint64_t>() > 4) {
      why = source + ": type: must be a whole number 1..4";
      return 0;
    }
    file.type = static_cast<int>(type.get<uint64_t>());
    file.typeGiven = true;
  }
  if (document.contains("goal")) {
    if (!numbers(document["goal"], 3, file.goal) || !all_finite(file.goal, 3)) {
      why = source +
            ": goal: must be an array of 3 finite numbers: x, y and the height of the "
            "workpiece's underside";
      return 0;
    }
    file.goalGiven = true;
  }
  if (document.contains("wall")) {
    const Json& wall = document["wall"];
    if (!wall.is_number() || !std::isfinite(wall.get<double>())) {
      why = source + ": wall: must be a finite number, the y of the wall's edge";
      return 0;
    }
    file.wallY = wall.get<double>();
    file.wallGiven = true;
  }
  if (!document.contains("obstacles")) return 1;
  const Json& boxes = document["obstacles"];
  if (!boxes.is_array()) {
    why = source + ": obstacles: must be an array of boxes";
    return 0;
  }
  if (boxes.size() > static_cast<size_t>(kMaxObstacles)) {
    why = source + ": obstacles: " + std::to_string(boxes.size()) +
          " boxes; a workcell holds at most " + std::to_string(kMaxObstacles);
    return 0;
  }
  for (int k = 0; k < static_cast<int>(boxes.size()); k++) {
    if (!read_box(boxes[k], file.obstacles, k, file.obstacles[k], why)) {
      why = box_place(source, k, box_name(document, k)) + why;
      return 0;
    }
    file.obstacleCount = k + 1;
  }
  return 1;
}

// Parses text and reads it into file (whose source is set). Throws on a syntax error or when
// memory runs out.
int read_text(const char* text, size_t length, WorkcellFile& file, std::string& why) {
  ParseWatch watch;
  Json document;
  try {
    document =
        Json::parse(text, text + length, [&watch](int, Json::parse_event_t event, Json& parsed) {
          return watch.event(event, parsed);
        });
  } catch (const Json::out_of_range& error) {
    // A number beyond a double's range: the parser names the number, the watch the field.
    const std::string what = error.what();
    const size_t quote = what.find('\'');
    why = watch.place(file.source) +
          (quote != std::string::npos ? what.substr(quote) : "a number") + " is out of range";
    return 0;
  }
  if (watch.found) {
    const std::string where = watch.obstacle >= 0 ? box_place(file.source, watch.obstacle,
                                                              box_name(document, watch.obstacle))
                                                  : file.source + ": ";
    why = where + "'" + shown(watch.key) + "' is given twice";
    return 0;
  }
  return read_document(document, file, why);
}

// The file named source with nothing given yet.
void start_file(const std::string& source, WorkcellFile& file) {
  file.source = source;
  file.typeGiven = file.goalGiven = file.wallGiven = false;
  file.obstacleCount = 0;
}

}  // namespace

int read_workcell_text(const char* text, size_t length, const std::string& source,
                       WorkcellFile& file, std::string& why) {
  start_file(source, file);
  try {
    if (read_text(text != nullptr ? text : "", text != nullptr ? length : 0, file, why)) return 1;
  } catch (const Json::parse_error& error) {
    why = source + ": " + parse_message(error);
  } catch (const std::exception& error) {
    why = source + ": cannot be read: " + error.what();
  }
  start_file(source, file);
  return 0;
}

int read_workcell_file(const std::string& path, WorkcellFile& file, std::string& why) {
  start_file(path, file);
  FILE* stream = std::fopen(path.c_str(), "rb");
  if (stream == nullptr) {
    why = path + ": cannot be read: " + std::strerror(errno);
    return 0;
  }
  std::string text;
  char block[4096];
  size_t got;
  while ((got = std::fread(block, 1, sizeof block, stream)) > 0 &&
         text.size() <= static_cast<size_t>(kWorkcellFileMaxBytes))
    text.append(block, got);
  const int error = std::ferror(stream) ? errno : 0;
  std::fclose(stream);
  if (error != 0) {
    why = path + ": cannot be read: " + std::strerror(error);
    return 0;
  }
  if (text.size() > static_cast<size_t>(kWorkcellFileMaxBytes)) {
    why = path + ": larger than " + std::to_string(kWorkcellFileMaxBytes) +
          " bytes; a workcell file takes a few kilobytes";
    return 0;
  }
  return read_workcell_text(text.data(), text.size(), path, file, why);
}

int apply_workcell_file(const WorkcellFile& file, const RobotModel& robot, Workcell& cell,
                        int& Mcont, std::string& why) {
  Vec3 goal = cell.rwG;
  if (file.goalGiven) {
    goal = goal_centre(robot, file.goal[0], file.goal[1], file.goal[2]);
    double LL1, LL2;
    if (!goal_reach(robot, cell.EwG, goal, LL1, LL2)) {
      why = file.source + ": goal out of reach for robot type " + std::to_string(robot.type) +
            " (distance " + std::to_string(LL1) + " > reach " + std::to_string(LL2) + ")";
      return 0;
    }
  }
  const Vec3 rh = {cell.rh.x, file.wallY, cell.rh.z};
  int arm = Mcont;
  if (file.wallGiven) {
    if (!wall_accepted(robot, rh, arm)) {
      why = file.source + ": wall too far: no arm 2..5 of robot type " +
            std::to_string(robot.type) + " reaches its edge";
      return 0;
    }
  }
  cell.rwG = goal;
  if (file.wallGiven) cell.rh = rh;
  Mcont = arm;
  cell.obstacleCount = file.obstacleCount;
  for (int k = 0; k < file.obstacleCount; k++) cell.obstacles[k] = file.obstacles[k];
  return 1;
}
