#include "app/startup.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "app/scene_state.h"
#include "model/robot_catalogue.h"
#include "model/state.h"
#include "support.h"

namespace {

// Start-up gives the documented defaults whatever state came before: type 1 in its initial
// pose, goal, wall edge and rectangle, contact arm 4, modes, status and view.
TEST(StartScene, DefaultsWhateverCameBefore) {
  robot_setup(4, robot);
  scene.methodB.Mcont = 6;
  cell.rh = {1, 2, 3};
  scene.menuState = '4';
  scene.setMode = 'D';
  scene.calcMode = 'C';
  scene.methodB.lcontFlag = kContactStepFailed;
  scene.viewRot[1] = 40;
  scene.qZero[3] = 1;
  start_scene();

  EXPECT_EQ(robot.type, 1);
  EXPECT_EQ(robot.N, 7);
  EXPECT_STREQ(robot.jrtypeText, " RQRPRPR\n");
  expect_near(cell.rwG, {-0.6, 2.2, 0.1}, 0);
  expect_near(cell.EwG, {{1, 0, 0, 0, -1, 0, 0, 0, -1}}, 0);
  expect_near(cell.rh, {0, 1.3, 0}, 0);
  EXPECT_EQ(scene.methodB.Mcont, 4);
  const Vec3 corners[4] = {{0, 1.3, 0}, {-4, 1.3, 0}, {-4, 1.3, 4}, {0, 1.3, 4}};
  for (int k = 0; k < 4; k++) expect_near(scene.wallCorner[k], corners[k], 0);
  EXPECT_EQ(scene.setMode, '0');
  EXPECT_EQ(scene.calcMode, '0');
  EXPECT_EQ(scene.menuState, '1');
  EXPECT_EQ(scene.methodB.lcontFlag, 5);
  EXPECT_EQ(scene.methodB.tolPos, 1e-5);
  for (int k = 0; k < 3; k++) {
    EXPECT_EQ(scene.viewRot[k], 2.0);
    EXPECT_EQ(scene.viewShift[k], k < 2 ? -1.0 : -2.0);
  }
  for (int i = 0; i <= 7; i++) {
    EXPECT_EQ(scene.methodB.qr[i], i == 2 ? PI / 2 : 0.0) << i;
    EXPECT_EQ(scene.qZero[i], 0.0) << i;
  }
}

// The wall rectangle follows its edge point: 4 wide towards -x, 4 high, in the plane y = rh.y.
TEST(WallCorners, FollowTheEdgePoint) {
  Vec3 corners[4];
  wall_corners({0.5, -2.0, 0.25}, corners);
  expect_near(corners[0], {0.5, -2.0, 0.25}, 0);
  expect_near(corners[1], {-3.5, -2.0, 0.25}, 0);
  expect_near(corners[2], {-3.5, -2.0, 4.25}, 0);
  expect_near(corners[3], {0.5, -2.0, 4.25}, 0);
}

// A closed standard input is reopened on /dev/null, so the next file opened cannot become
// descriptor 0 (the X connection would otherwise be read as the console).
TEST(StandardDescriptors, ClosedInputIsReopenedOnDevNull) {
  const pid_t child = fork();
  if (child == 0) {
    close(0);
    guard_standard_descriptors();
    struct stat input, null;
    const bool isNull = fstat(0, &input) == 0 && stat("/dev/null", &null) == 0 &&
                        input.st_rdev == null.st_rdev && S_ISCHR(input.st_mode);
    const int next = open("/dev/zero", O_RDONLY);
    _exit(isNull && next > 2 ? 0 : 1);
  }
  int status = 0;
  waitpid(child, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

}  // namespace
