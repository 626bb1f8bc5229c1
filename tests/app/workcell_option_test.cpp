// --workcell through the real command line: every kind of bad file ends with one line naming
// the file, the obstacle and the field, status 2 and no output file, whatever the mode; a good
// file's type, goal and wall read back in the JSON unless the command line overrides them; its
// boxes land in the command's scene and in the window's; the window takes only --workcell and
// the toolkit's options, and leaves the toolkit only its own.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "app/command_line.h"
#include "app/command_modes.h"
#include "app/scene_state.h"
#include "app/startup.h"
#include "command_run.h"
#include "support.h"

namespace {

void write_file(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

// A temporary directory, removed with what is left in it.
struct TemporaryDirectory {
  std::string path;
  TemporaryDirectory() {
    char name[] = "/tmp/armsim-workcell-XXXXXX";
    path = mkdtemp(name);
  }
  ~TemporaryDirectory() {
    for (const std::string& entry : directory_entries(path)) unlink((path + "/" + entry).c_str());
    rmdir(path.c_str());
  }
};

// A box with the given middle part (its size, position and rotation keys).
std::string box(const char* name, const char* rest) {
  return std::string("{\"name\": \"") + name + "\", " + rest + "}";
}
const char kGoodBox[] = "\"size\": [0.2, 0.2, 1.5], \"position\": [1.6, 1.6, 0.75]";

std::string boxes(const std::vector<std::string>& list) {
  std::string text = "{\"obstacles\": [";
  for (size_t k = 0; k < list.size(); k++) text += (k == 0 ? "" : ", ") + list[k];
  return text + "]}";
}

// Every fault of a workcell file. Each runs with one of the modes, its output files in the
// directory; a fault the reader finds stops every mode before it runs, the goal and wall
// refusals stop the scene's modes before they write.
TEST(WorkcellOption, EveryBadFileGetsOneLineStatus2AndNoOutput) {
  TemporaryDirectory dir;
  const std::string file = dir.path + "/bad.json";
  const std::string png = dir.path + "/map.png", csv = dir.path + "/plan.csv",
                    urdf = dir.path + "/robot.urdf";
  const std::vector<std::vector<const char*>> modes = {
      {"--solve"},
      {"--method-b", "--json"},
      {"--plan", "--csv", csv.c_str()},
      {"--map", "--step", "0.5", "--out", png.c_str()},
      {"--urdf", "--scene", "--out", urdf.c_str()},
  };
  std::string many = "{\"obstacles\": [";
  for (int k = 0; k <= kMaxObstacles; k++)
    many += (k == 0 ? "" : ", ") + box(("b" + std::to_string(k)).c_str(), kGoodBox);
  many += "]}";
  const std::string huge = "{\"wall\": 1.3" + std::string(kWorkcellFileMaxBytes, ' ') + "}";
  struct Case {
    std::string text;      // the file's contents
    const char* mentions;  // what the line must say after "armsim: FILE: "
    int mode;              // index into modes, or -1 for each in turn
  };
  const Case cases[] = {
      // Not JSON, or not one object: the line and column where the parser stopped.
      {"{\n  \"wall\": 1.3,\n  \"goal\": [1, 2 0]\n}", "line 3, column ", -1},
      {"", "line 1, column 1: ", -1},
      {"{\"wall\": 1.3} x", "line 1, column 15: ", -1},
      {"{\"wall\": 1.3 // the edge\n}", "line 1, column ", -1},
      {"[1, 2]", "must hold one JSON object", -1},
      // Unknown keys and keys given twice, at the top and in a box.
      {"{\"walls\": 1.3}", "'walls' is not a known key", -1},
      {boxes({box("post", "\"size\": [1, 1, 1], \"position\": [0, 0, 0], \"colour\": 1")}),
       "obstacle 1 ('post'): 'colour' is not a known key", -1},
      {"{\"wall\": 1.3, \"wall\": 1.2}", "'wall' is given twice", -1},
      {boxes({box("a", kGoodBox), box("b",
                                      "\"size\": [1, 1, 1], \"size\": [1, 1, 1], "
                                      "\"position\": [0, 0, 0]")}),
       "obstacle 2 ('b'): 'size' is given twice", -1},
      // Type, goal and wall: wrong types and lengths, numbers out of range.
      {"{\"type\": \"3\"}", "type: ", -1},
      {"{\"type\": 5}", "type: ", -1},
      {"{\"type\": 0}", "type: ", -1},
      {"{\"type\": 2.0}", "type: ", -1},
      {"{\"goal\": [-0.6, 2.2]}", "goal: ", -1},
      {"{\"goal\": [\"-0.6\", 2.2, 0]}", "goal: ", -1},
      {"{\"goal\": [-0.6, 2.2, 1e999]}", "goal: '1e999' is out of range", -1},
      {"{\"wall\": \"1.3\"}", "wall: ", -1},
      {"{\"wall\": [1.3]}", "wall: ", -1},
      {"{\"wall\": -1e400}", "wall: '-1e400' is out of range", -1},
      // The list of boxes.
      {"{\"obstacles\": {}}", "obstacles: must be an array", -1},
      {many, "obstacles: 65 boxes", -1},
      {boxes({"[1, 2, 3]"}), "obstacle 1: must be an object", -1},
      // Names: missing, of the wrong type, empty, too long, bad characters, taken.
      {boxes({"{\"size\": [1, 1, 1], \"position\": [0, 0, 0]}"}), "obstacle 1: name: missing", -1},
      {boxes({"{\"name\": 7, \"size\": [1, 1, 1], \"position\": [0, 0, 0]}"}),
       "obstacle 1: name: ", -1},
      {boxes({box("", kGoodBox)}), "obstacle 1: name: ", -1},
      {boxes({box(std::string(kObstacleNameMax + 1, 'a').c_str(), kGoodBox)}),
       "obstacle 1: name: ", -1},
      {boxes({box("a", kGoodBox), box("my post", kGoodBox)}), "obstacle 2: name: ", -1},
      {boxes({box("a", kGoodBox), box("b", kGoodBox), box("a", kGoodBox)}),
       "obstacle 3 ('a'): name: also the name of obstacle 1", -1},
      // Sizes.
      {boxes({box("a", "\"position\": [0, 0, 0]")}), "obstacle 1 ('a'): size: ", -1},
      {boxes({box("a", "\"size\": [1, \"2\", 1], \"position\": [0, 0, 0]")}),
       "obstacle 1 ('a'): size: ", -1},
      {boxes({box("a", "\"size\": [1, 1], \"position\": [0, 0, 0]")}),
       "obstacle 1 ('a'): size: ", -1},
      {boxes({box("a", kGoodBox), box("post", "\"size\": [0.2, 0, 1.5], \"position\": [0, 0, 0]")}),
       "obstacle 2 ('post'): size: each side must be a finite number > 0", -1},
      {boxes({box("a", "\"size\": [-1, 1, 1], \"position\": [0, 0, 0]")}),
       "obstacle 1 ('a'): size: each side must be a finite number > 0", -1},
      {boxes({box("a", "\"size\": [1, 1, 1e999], \"position\": [0, 0, 0]")}),
       "obstacle 1 ('a'): size: '1e999' is out of range", -1},
      {boxes({box("a", "\"size\": [1, 2000, 1], \"position\": [0, 0, 0]")}),
       "obstacle 1 ('a'): size: each side must be at most 1000", -1},
      // Positions.
      {boxes({box("a", "\"size\": [1, 1, 1]")}), "obstacle 1 ('a'): position: ", -1},
      {boxes({box("a", "\"size\": [1, 1, 1], \"position\": [0, 0, 0, 0]")}),
       "obstacle 1 ('a'): position: ", -1},
      {boxes({box("a", kGoodBox), box("b", "\"size\": [1, 1, 1], \"position\": [0, 1e400, 0]")}),
       "obstacle 2 ('b'): position: '1e400' is out of range", -1},
      {"{\"obstacles\": [{\"size\": [1, 1, 1], \"name\": 1e999}]}",
       "obstacle 1: name: '1e999' is out of range", -1},
      {boxes({box("a", "\"size\": [1, 1, 1], \"position\": [0, 0, -5000]")}),
       "obstacle 1 ('a'): position: ", -1},
      // Rotations: wrong lengths, not finite, not unit, both.
      {boxes({box("a", "\"size\": [1, 1, 1], \"position\": [0, 0, 0], \"rpy\": [0, 1]")}),
       "obstacle 1 ('a'): rpy: ", -1},
      {boxes({box("a", "\"size\": [1, 1, 1], \"position\": [0, 0, 0], \"rpy\": [0, 1e999, 0]")}),
       "obstacle 1 ('a'): rpy: '1e999' is out of range", -1},
      {boxes({box("a", "\"size\": [1, 1, 1], \"position\": [0, 0, 0], \"quat_xyzw\": [0, 0, 1]")}),
       "obstacle 1 ('a'): quat_xyzw: ", -1},
      {boxes({box("a",
                  "\"size\": [1, 1, 1], \"position\": [0, 0, 0], "
                  "\"quat_xyzw\": [0, 0, 0, 1.000002]")}),
       "obstacle 1 ('a'): quat_xyzw: not a unit quaternion", -1},
      {boxes({box("a",
                  "\"size\": [1, 1, 1], \"position\": [0, 0, 0], "
                  "\"quat_xyzw\": [0, 0, 1e300, 1e300]")}),
       "obstacle 1 ('a'): quat_xyzw: not a unit quaternion", -1},
      {boxes({box("a",
                  "\"size\": [1, 1, 1], \"position\": [0, 0, 0], "
                  "\"quat_xyzw\": [0, 0, 0, -1e999]")}),
       "obstacle 1 ('a'): quat_xyzw: '-1e999' is out of range", -1},
      {boxes({box("a",
                  "\"size\": [1, 1, 1], \"position\": [0, 0, 0], \"rpy\": [0, 0, 0], "
                  "\"quat_xyzw\": [0, 0, 0, 1]")}),
       "obstacle 1 ('a'): rpy and quat_xyzw: ", -1},
      // Too large to be a workcell file.
      {huge, "larger than", -1},
      // Read well, refused by the dialogs' tests for the scene's type.
      {"{\"goal\": [9, 9, 0]}", "goal out of reach for robot type 1", 0},
      {"{\"type\": 3, \"goal\": [0, 0, 40]}", "goal out of reach for robot type 3", 2},
      {"{\"wall\": 3.3}", "wall too far", 1},
      {"{\"wall\": 3.3}", "wall too far", 3},
      {"{\"wall\": 3.3}", "wall too far", 4},
  };
  int turn = 0;
  for (const Case& fault : cases) {
    write_file(file, fault.text);
    const std::vector<const char*>& mode =
        modes[fault.mode >= 0 ? fault.mode : turn++ % static_cast<int>(modes.size())];
    std::vector<const char*> arguments = mode;
    arguments.insert(arguments.end(), {"--workcell", file.c_str()});
    SCOPED_TRACE(testing::Message() << mode[0] << " with " << fault.text.substr(0, 200));
    const Output output = run_as_main(arguments);
    EXPECT_EQ(output.status, 2);
    // With --json a scene refused for its goal or wall is also a document with the reason.
    const bool json = std::find(mode.begin(), mode.end(), std::string("--json")) != mode.end();
    if (json && fault.mode >= 0)
      EXPECT_EQ(nlohmann::json::parse(output.out)["refused"], true) << output.out;
    else
      EXPECT_EQ(output.out, "");
    EXPECT_EQ(output.err.rfind("armsim: " + file + ": ", 0), 0u) << output.err;
    EXPECT_NE(output.err.find(fault.mentions), std::string::npos) << output.err;
    EXPECT_EQ(std::count(output.err.begin(), output.err.end(), '\n'), 1) << output.err;
    EXPECT_EQ(directory_entries(dir.path), std::vector<std::string>{"bad.json"});
  }
  // No file, a directory, an empty name.
  unlink(file.c_str());
  for (const std::string& path : {file, dir.path}) {
    const Output output = run_as_main({"--map", "--out", png.c_str(), "--workcell", path.c_str()});
    EXPECT_EQ(output.status, 2);
    EXPECT_EQ(output.err.rfind("armsim: " + path + ": cannot be read: ", 0), 0u) << output.err;
    EXPECT_TRUE(directory_entries(dir.path).empty());
  }
  EXPECT_EQ(run_as_main({"--solve", "--workcell", ""}).err,
            "armsim: --workcell: the file name is empty\n");
}

// The file's type, goal and wall as the JSON reports them, exactly, and each overridden by the
// command line alone when given there.
TEST(WorkcellOption, CommandLineOverridesTheFile) {
  TemporaryDirectory dir;
  const std::string file = dir.path + "/cell.json";
  write_file(file, "{\"type\": 3, \"goal\": [-0.5, 2.1, 0.05], \"wall\": 1.1, \"obstacles\": [" +
                       box("post", kGoodBox) + "]}");
  struct Case {
    std::vector<const char*> options;
    int type;
    double goal[3];
    double wallY;
  };
  const Case cases[] = {
      {{}, 3, {-0.5, 2.1, 0.05}, 1.1},
      {{"--type", "2"}, 2, {-0.5, 2.1, 0.05}, 1.1},
      {{"--goal", "-0.6", "2.2", "0"}, 3, {-0.6, 2.2, 0}, 1.1},
      {{"--wall", "1.3"}, 3, {-0.5, 2.1, 0.05}, 1.3},
      {{"--wall", "1.3", "--type", "1", "--goal", "-0.7", "2", "0"}, 1, {-0.7, 2, 0}, 1.3},
  };
  for (const char* mode : {"--solve", "--method-b", "--plan"}) {
    for (const Case& c : cases) {
      std::vector<const char*> arguments = {mode, "--json", "--workcell", file.c_str()};
      if (mode[2] == 'p') arguments.insert(arguments.end(), {"--time-limit", "0.2"});
      arguments.insert(arguments.end(), c.options.begin(), c.options.end());
      SCOPED_TRACE(testing::Message() << mode << " " << c.options.size() << " options");
      const Output output = run_as_main(arguments);
      ASSERT_NE(output.status, 2) << output.err;
      const nlohmann::json document = nlohmann::json::parse(output.out);
      EXPECT_EQ(document["type"], c.type);
      for (int k = 0; k < 3; k++) EXPECT_EQ(document["goal"][k].get<double>(), c.goal[k]) << k;
      EXPECT_EQ(document["wall"][1].get<double>(), c.wallY);
    }
  }
  // The map draws the file's type with its wall.
  const std::string png = dir.path + "/map.png";
  const Output map =
      run_as_main({"--map", "--step", "0.5", "--out", png.c_str(), "--workcell", file.c_str()});
  ASSERT_EQ(map.status, 0) << map.err;
  EXPECT_EQ(map.out.rfind("type 3 (", 0), 0u) << map.out;
  EXPECT_NE(map.out.find("wall 1.100"), std::string::npos) << map.out;
}

// The boxes reach the command's scene and the window's, as the file gives them; the window's
// scene takes the file's type in its initial pose and the wall rectangle from the file's edge.
TEST(WorkcellOption, BoxesReachBothScenes) {
  TemporaryDirectory dir;
  const std::string file = dir.path + "/cell.json";
  write_file(file, "{\"type\": 2, \"wall\": 0.9, \"obstacles\": [" + box("post", kGoodBox) + ", " +
                       box("turned",
                           "\"size\": [1, 2, 0.5], \"position\": [-1, 2.5, 0.25], "
                           "\"rpy\": [0, 0, 1.5707963267948966]") +
                       "]}");
  CommandLine command;
  const char* argv[] = {"armsim", "--urdf", "--scene", "--workcell", file.c_str(), nullptr};
  ASSERT_EQ(parse_command_line(5, argv, command), kCommandLineRun) << command.message;
  CommandScene s = {};
  std::string why;
  ASSERT_EQ(command_scene(command, s, why), 1) << why;
  EXPECT_EQ(s.robot.type, 2);
  expect_near(s.cell.rh, {0, 0.9, 0}, 0);

  const char* windowArgv[] = {"armsim", "--workcell", file.c_str(), nullptr};
  CommandLine window;
  ASSERT_EQ(parse_command_line(3, windowArgv, window), kCommandLineRun) << window.message;
  EXPECT_EQ(window.mode, kModeWindow);
  start_scene();
  ASSERT_EQ(apply_workcell_scene(window.workcell, why), 1) << why;
  EXPECT_EQ(robot.type, 2);
  EXPECT_STREQ(robot.jrtypeText, s.robot.jrtypeText);
  for (int i = 1; i <= robot.N; i++) EXPECT_EQ(scene.methodB.qr[i], robot.qInit[i]) << i;
  expect_near(scene.wallCorner[0], {0, 0.9, 0}, 0);
  expect_near(scene.wallCorner[2], {-kWallPlateSize, 0.9, kWallPlateSize}, 0);

  for (const Workcell* c : {&s.cell, &cell}) {
    ASSERT_EQ(c->obstacleCount, 2);
    EXPECT_STREQ(c->obstacles[0].name, "post");
    EXPECT_EQ(c->obstacles[0].size[2], 1.5);
    expect_near(c->obstacles[0].centre, {1.6, 1.6, 0.75}, 0);
    expect_near(c->obstacles[0].R, {{1, 0, 0, 0, 1, 0, 0, 0, 1}}, 0);
    EXPECT_STREQ(c->obstacles[1].name, "turned");
    // A quarter turn about z: the box's x axis along the base's y, its y axis along -x.
    expect_near(column(c->obstacles[1].R, 0), {0, 1, 0}, 1e-16);
    expect_near(column(c->obstacles[1].R, 1), {-1, 0, 0}, 1e-16);
    expect_near(column(c->obstacles[1].R, 2), {0, 0, 1}, 0);
  }

  // Refused by the window's scene: why names the file and the field.
  write_file(file, "{\"type\": 4, \"goal\": [5, 5, 0]}");
  ASSERT_EQ(parse_command_line(3, windowArgv, window), kCommandLineRun) << window.message;
  start_scene();
  EXPECT_EQ(apply_workcell_scene(window.workcell, why), 0);
  EXPECT_EQ(why.rfind(file + ": goal out of reach for robot type 4", 0), 0u) << why;
  start_scene();
}

// The window takes --workcell and the toolkit's options, nothing else; the toolkit is left its
// own options and their values, in order.
TEST(WorkcellOption, WindowTakesTheFileAndLeavesTheToolkitItsOptions) {
  TemporaryDirectory dir;
  const std::string file = dir.path + "/cell.json";
  write_file(file, "{}");
  const std::string inline_ = "--workcell=" + file;
  CommandLine command;
  const char* argv[] = {"armsim", "-display", ":7", inline_.c_str(), "-iconic", nullptr};
  ASSERT_EQ(parse_command_line(5, argv, command), kCommandLineRun) << command.message;
  EXPECT_EQ(command.mode, kModeWindow);
  EXPECT_EQ(command.workcell.source, file);
  std::vector<char*> copy;
  for (const char* argument : argv) copy.push_back(const_cast<char*>(argument));
  const int count = toolkit_arguments(5, copy.data());
  ASSERT_EQ(count, 4);
  EXPECT_STREQ(copy[1], "-display");
  EXPECT_STREQ(copy[2], ":7");
  EXPECT_STREQ(copy[3], "-iconic");
  EXPECT_EQ(copy[4], nullptr);

  const char* withType[] = {"armsim", "--workcell", file.c_str(), "--type", "2", nullptr};
  EXPECT_EQ(parse_command_line(5, withType, command), kCommandLineError);
  EXPECT_EQ(command.message.rfind("--type needs one of --solve", 0), 0u) << command.message;
  const char* help[] = {"armsim", "--help", nullptr};
  ASSERT_EQ(parse_command_line(2, help, command), kCommandLineHelp);
  EXPECT_NE(command.message.find("--workcell FILE.json"), std::string::npos);
}

}  // namespace
