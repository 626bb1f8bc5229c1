// --urdf on the command line: its options, the document it prints (the export of the command's
// robot, with the scene's own wall rectangle), the file it writes whole or not at all, and bad
// input refused with one line and exit status 2, leaving no file behind.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <initializer_list>
#include <string>
#include <vector>

#include "app/command_line.h"
#include "app/command_modes.h"
#include "app/scene_state.h"
#include "console_capture.h"
#include "model/robot_catalogue.h"
#include "model/urdf_export.h"
#include "support.h"

namespace {

int parse(std::initializer_list<const char*> arguments, CommandLine& command) {
  std::vector<const char*> argv = {"armsim"};
  argv.insert(argv.end(), arguments.begin(), arguments.end());
  argv.push_back(nullptr);
  return parse_command_line(static_cast<int>(argv.size()) - 1, argv.data(), command);
}

struct Output {
  int status;
  std::string out, err;
};

Output run(const CommandLine& command) {
  CapturedStream out, err;
  const int status = run_command(command, out.stream(), err.stream());
  return {status, out.text(), err.text()};
}

// The command line parsed, then run as main runs it: a parse error is printed as main prints it.
Output run_line(std::initializer_list<const char*> arguments) {
  CommandLine command;
  const int parsed = parse(arguments, command);
  if (parsed != kCommandLineRun) {
    CapturedStream out, err;
    const int status = finish_command_line(parsed, command, out.stream(), err.stream());
    return {status, out.text(), err.text()};
  }
  return run(command);
}

// What the export writes for robot type `type`, with the wall edge at y = wallY when scene.
std::string expected_urdf(int type, bool scene, double wallY = kDefaultWallY) {
  RobotModel model;
  robot_setup(type, model);
  const Vec3 rh = {0, wallY, 0};
  std::string text, why;
  EXPECT_EQ(robot_urdf(model, ("armsim_type" + std::to_string(type)).c_str(), scene ? &rh : nullptr,
                       text, why),
            1)
      << why;
  return text;
}

std::string read_file(const std::string& path) {
  std::string text;
  FILE* file = fopen(path.c_str(), "rb");
  if (file == nullptr) return text;
  char buffer[4096];
  size_t n;
  while ((n = fread(buffer, 1, sizeof buffer, file)) > 0) text.append(buffer, n);
  fclose(file);
  return text;
}

std::string temporary_directory() {
  char name[] = "/tmp/armsim-urdf-XXXXXX";
  return mkdtemp(name);
}

}  // namespace

TEST(UrdfCommandLine, OptionsOfTheMode) {
  const std::string dir = temporary_directory();
  const std::string file = dir + "/robot.urdf";
  CommandLine c;
  ASSERT_EQ(parse({"--urdf"}, c), kCommandLineRun) << c.message;
  EXPECT_EQ(c.mode, kModeUrdf);
  EXPECT_FALSE(c.typeGiven || c.wallGiven || c.scene);
  EXPECT_EQ(c.out, "");  // stdout, not the map's default picture
  ASSERT_EQ(parse({"--urdf", "--type", "4", "--scene", "--wall", "-0.5", "--out", file.c_str()}, c),
            kCommandLineRun)
      << c.message;
  EXPECT_EQ(c.mode, kModeUrdf);
  EXPECT_EQ(c.type, 4);
  EXPECT_TRUE(c.scene);
  EXPECT_TRUE(c.wallGiven);
  EXPECT_EQ(c.wallY, -0.5);
  EXPECT_EQ(c.out, file);
  ASSERT_EQ(parse({"--scene", "--urdf"}, c), kCommandLineRun) << c.message;
  EXPECT_TRUE(c.scene);
  EXPECT_EQ(access(file.c_str(), F_OK), -1);  // the check of --out creates nothing
  ASSERT_EQ(parse({"--help"}, c), kCommandLineHelp);
  for (const char* option : {"--urdf", "--scene", "--out FILE"})
    EXPECT_NE(c.message.find(option), std::string::npos) << option;
  rmdir(dir.c_str());
}

// Bad input, in parsing or in the run: exit status 2, one line on stderr naming what is wrong,
// nothing on stdout, and no file.
TEST(UrdfCommandLine, BadInputGetsStatus2AndNoFile) {
  const std::string dir = temporary_directory();
  const std::string file = dir + "/robot.urdf";
  const std::string missing = dir + "/missing/robot.urdf";
  struct Bad {
    std::vector<const char*> arguments;
    const char* mentions;
  };
  const Bad cases[] = {
      {{"--urdf", "--type", "9", "--out", file.c_str()}, "--type"},
      {{"--urdf", "--type", "0"}, "--type"},
      {{"--urdf", "--type", "all", "--out", file.c_str()}, "all"},
      {{"--urdf", "--out", missing.c_str()}, "missing"},
      {{"--urdf", "--out", dir.c_str()}, "--out"},
      {{"--urdf", "--out", ""}, "--out"},
      {{"--urdf", "--wall", "1", "--out", file.c_str()}, "--scene"},
      {{"--urdf", "--scene", "--wall", "3.3", "--out", file.c_str()}, "wall too far"},
      {{"--urdf", "--scene", "--wall", "nan", "--out", file.c_str()}, "'nan'"},
      {{"--urdf", "--csv", file.c_str()}, "--csv"},
      {{"--urdf", "--json"}, "--json"},
      {{"--urdf", "--goal", "1", "2", "0"}, "--goal"},
      {{"--urdf", "--step", "0.5"}, "--step"},
      {{"--urdf", "--map"}, "cannot be used together"},
      {{"--solve", "--urdf"}, "cannot be used together"},
      {{"--urdf", "--scene", "--scene"}, "--scene"},
      {{"--scene"}, "--scene"},
      {{"--map", "--scene"}, "--scene"},
      {{"--solve", "--scene"}, "--scene"},
      {{"--urdf", "-display", ":1"}, "-display"},
  };
  for (const Bad& bad : cases) {
    std::vector<const char*> argv = {"armsim"};
    std::string shown;
    for (const char* argument : bad.arguments) {
      argv.push_back(argument);
      shown += std::string(" ") + argument;
    }
    argv.push_back(nullptr);
    CommandLine c;
    const int parsed = parse_command_line(static_cast<int>(argv.size()) - 1, argv.data(), c);
    Output output;
    if (parsed == kCommandLineRun) {
      output = run(c);
    } else {
      CapturedStream out, err;
      output.status = finish_command_line(parsed, c, out.stream(), err.stream());
      output.out = out.text();
      output.err = err.text();
    }
    EXPECT_EQ(output.status, 2) << shown;
    EXPECT_EQ(output.out, "") << shown;
    EXPECT_EQ(std::count(output.err.begin(), output.err.end(), '\n'), 1) << shown << output.err;
    EXPECT_NE(output.err.find(bad.mentions), std::string::npos) << shown << ": " << output.err;
    EXPECT_TRUE(directory_entries(dir).empty()) << shown;
  }
  rmdir(dir.c_str());
}

// Every type, with and without the scene: stdout holds the export of the type's model, named
// after the type; --out writes the same text to the file and nothing else anywhere.
TEST(UrdfCommand, PrintsOrWritesTheExport) {
  const std::string dir = temporary_directory();
  const std::string file = dir + "/robot.urdf";
  for (int type = 1; type <= 4; type++) {
    const std::string typeText = std::to_string(type);
    for (bool scene : {false, true}) {
      SCOPED_TRACE(typeText + (scene ? " with the scene" : ""));
      const std::string expected = expected_urdf(type, scene);
      Output printed = scene ? run_line({"--urdf", "--type", typeText.c_str(), "--scene"})
                             : run_line({"--urdf", "--type", typeText.c_str()});
      EXPECT_EQ(printed.status, 0) << printed.err;
      EXPECT_EQ(printed.err, "");
      EXPECT_EQ(printed.out, expected);
      EXPECT_NE(printed.out.find("<robot name=\"armsim_type" + typeText + "\">"),
                std::string::npos);
      EXPECT_EQ(printed.out.find("name=\"wall\"") != std::string::npos, scene);

      Output written =
          scene ? run_line({"--urdf", "--type", typeText.c_str(), "--scene", "--out", file.c_str()})
                : run_line({"--urdf", "--type", typeText.c_str(), "--out", file.c_str()});
      EXPECT_EQ(written.status, 0) << written.err;
      EXPECT_EQ(written.out + written.err, "");
      EXPECT_EQ(read_file(file), expected);
      EXPECT_EQ(directory_entries(dir), std::vector<std::string>{"robot.urdf"});
    }
  }
  // The default type is 1; a file already there is replaced whole.
  Output written = run_line({"--urdf", "--out", file.c_str()});
  EXPECT_EQ(written.status, 0) << written.err;
  EXPECT_EQ(read_file(file), expected_urdf(1, false));
  unlink(file.c_str());
  rmdir(dir.c_str());
}

// --wall moves the wall as the wall dialog does: its box in the URDF covers the scene's own wall
// rectangle (wall_corners of the edge the dialog sets), and the floor lies under z = 0.
TEST(UrdfCommand, WallWhereTheSceneHasIt) {
  for (const char* wall : {"0.9", "-1"}) {
    SCOPED_TRACE(wall);
    const Output output = run_line({"--urdf", "--type", "2", "--scene", "--wall", wall});
    ASSERT_EQ(output.status, 0) << output.err;
    EXPECT_EQ(output.out, expected_urdf(2, true, std::stod(wall)));
    // run_line left the scene the command built.
    EXPECT_EQ(cell.rh.y, std::stod(wall));
    const UrdfBox box = urdf_wall_box(cell.rh);
    Vec3 low = scene.wallCorner[0], high = scene.wallCorner[0];
    for (const Vec3& corner : scene.wallCorner) {
      low = {std::min(low.x, corner.x), std::min(low.y, corner.y), std::min(low.z, corner.z)};
      high = {std::max(high.x, corner.x), std::max(high.y, corner.y), std::max(high.z, corner.z)};
    }
    EXPECT_DOUBLE_EQ(box.centre.x - box.size.x / 2, low.x);
    EXPECT_DOUBLE_EQ(box.centre.x + box.size.x / 2, high.x);
    EXPECT_DOUBLE_EQ(box.centre.z - box.size.z / 2, low.z);
    EXPECT_DOUBLE_EQ(box.centre.z + box.size.z / 2, high.z);
    EXPECT_EQ(box.centre.y, low.y);
    EXPECT_EQ(low.y, high.y);
    const UrdfBox floor = urdf_floor_box();
    EXPECT_EQ(floor.centre.z + floor.size.z / 2, 0);
  }
}

// Output that fails late: stdout that cannot take the text, a directory gone between the check
// and the write. Status 2, one line, and nothing left behind.
TEST(UrdfCommand, FailedOutputIsStatus2) {
  CommandLine c;
  ASSERT_EQ(parse({"--urdf", "--scene"}, c), kCommandLineRun);
  FILE* full = fopen("/dev/full", "w");
  ASSERT_NE(full, nullptr);
  CapturedStream err;
  EXPECT_EQ(run_urdf_command(c, full, err.stream()), 2);
  fclose(full);
  const std::string line = err.text();
  EXPECT_NE(line.find("cannot write the URDF"), std::string::npos) << line;
  EXPECT_EQ(std::count(line.begin(), line.end(), '\n'), 1);

  const std::string dir = temporary_directory();
  const std::string file = dir + "/robot.urdf";
  ASSERT_EQ(parse({"--urdf", "--out", file.c_str()}, c), kCommandLineRun) << c.message;
  rmdir(dir.c_str());
  const Output output = run(c);
  EXPECT_EQ(output.status, 2);
  EXPECT_EQ(output.out, "");
  EXPECT_NE(output.err.find("--out"), std::string::npos) << output.err;
  EXPECT_NE(access(dir.c_str(), F_OK), 0);
}
