// --urdf: stdout or --out holds the export of the command's robot and wall, whole; bad input and
// failed output end with status 2, one line on stderr and no file.
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <sstream>
#include <vector>

#include "app/command_modes.h"
#include "app/scene_state.h"
#include "command_run.h"
#include "model/robot_catalogue.h"
#include "model/urdf_export.h"
#include "support.h"

namespace {

std::string file_text(const std::string& path) {
  std::ostringstream text;
  text << std::ifstream(path).rdbuf();
  return text.str();
}

}  // namespace

// Every type with and without the scene, to stdout and to a file; the wall box on the wall
// rectangle the scene draws.
TEST(UrdfCommand, WritesTheExportOfTheScene) {
  char name[] = "/tmp/armsim-urdf-XXXXXX";
  const std::string dir = mkdtemp(name), file = dir + "/robot.urdf";
  const std::string missing = dir + "/missing/robot.urdf";
  for (const char* type : {"1", "2", "3", "4"}) {
    for (bool withScene : {false, true}) {
      SCOPED_TRACE(testing::Message() << "type " << type << (withScene ? " --scene" : ""));
      std::vector<const char*> arguments = {"--urdf", "--type", type};
      if (withScene) arguments.insert(arguments.end(), {"--scene", "--wall", "0.9"});
      const Output printed = run_as_main(arguments);
      RobotModel model;
      robot_setup(type[0] - '0', model);
      const Vec3 rh = {0, 0.9, 0};
      std::string expected, why;
      robot_urdf(model, (std::string("armsim_type") + type).c_str(), withScene ? &rh : nullptr,
                 expected, why);
      EXPECT_EQ(printed.status, 0) << printed.err;
      EXPECT_EQ(printed.out, expected);
      arguments.insert(arguments.end(), {"--out", file.c_str()});
      const Output written = run_as_main(arguments);
      EXPECT_EQ(written.status, 0) << written.err;
      EXPECT_EQ(written.out + written.err, "");
      EXPECT_EQ(file_text(file), expected);
      EXPECT_EQ(directory_entries(dir), std::vector<std::string>{"robot.urdf"});
    }
  }
  const Vec3 rh = {0, 0.9, 0};
  Vec3 wallCorner[4];
  wall_corners(rh, wallCorner);
  const UrdfBox wall = urdf_wall_box(rh);
  EXPECT_EQ(wall.centre.x - wall.size.x / 2, wallCorner[1].x);
  EXPECT_EQ(wall.centre.z + wall.size.z / 2, wallCorner[2].z);
  EXPECT_EQ(wall.centre.y, wallCorner[2].y);

  unlink(file.c_str());
  for (const std::vector<const char*>& bad : std::vector<std::vector<const char*>>{
           {"--urdf", "--type", "9", "--out", file.c_str()},
           {"--urdf", "--out", missing.c_str()},
           {"--urdf", "--out", dir.c_str()},
           {"--urdf", "--wall", "1", "--out", file.c_str()},  // no --scene: no wall to move
           {"--urdf", "--scene", "--wall", "3.3", "--out", file.c_str()},
           {"--solve", "--scene"}}) {
    const Output output = run_as_main(bad);
    EXPECT_EQ(output.status, 2) << bad[0] << " " << bad[1];
    EXPECT_EQ(output.out, "");
    EXPECT_EQ(std::count(output.err.begin(), output.err.end(), '\n'), 1) << output.err;
    EXPECT_TRUE(directory_entries(dir).empty());
  }
  FILE* full = fopen("/dev/full", "w");
  ASSERT_NE(full, nullptr);
  EXPECT_EQ(run_as_main({"--urdf"}, full).status, 2);
  fclose(full);
  rmdir(dir.c_str());
}
