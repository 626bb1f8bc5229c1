#include "contact/line_contact.h"

#include <limits>
#include <random>
#include <string>

#include "contact/line_contact4.h"
#include "contact_support.h"
#include "core_state.h"
#include "math/angles.h"
#include "support.h"

namespace {

// Type 1 with joint 2 bent by pi/2: arm 2 (length 1) and arm 3 (0.2) lie horizontal through
// joint 2 at (0, 0, 1), pointing along +y (toward > 0) or -y.
void arm_along_y(double toward, double q[kJointSlots]) {
  setup_robot(1);
  for (int k = 0; k < kJointSlots; k++) q[k] = 0;
  q[1] = PI / 2;
  q[2] = PI / 2;
  forward_kinematics(robot, q, kin);
  if ((kin.LU[3].y > 0) != (toward > 0)) q[1] = -PI / 2;
}

// No candidate, also for arm and joint numbers the solver does not take: one line logged,
// result 0, qout = q, d and t untouched. Catches a result of 10 taken as a count of candidates.
TEST(LineContact, NoSolutionKeepsTheStart) {
  setup_robot(1);
  cell.rh = {0.5, 0.5, 0};
  double q[kJointSlots];
  std::mt19937 rng(11);
  random_pose(rng, robot.N, q);
  const int cases[][2] = {{1, 6}, {1, 7}, {2, 9}, {0, 3}, {4, 2}};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "K " << c[0] << " M " << c[1]);
    double qout[kJointSlots] = {0}, d = 7, t = 7;
    MessageLog log;
    log_clear(log);
    EXPECT_EQ(line_contact(robot, cell.rh, q, c[0], c[1], kin, qout, d, t, &log), 0);
    EXPECT_STREQ(log.text, "\n直線接触の解なし");
    for (int k = 0; k <= robot.N; k++) EXPECT_EQ(qout[k], q[k]);
    EXPECT_EQ(d, 7);
    EXPECT_EQ(t, 7);
  }
  // The solver's own reason comes first.
  setup_robot(3);
  double upright[kJointSlots] = {0}, d = 7, t = 7;
  MessageLog log;
  log_clear(log);
  EXPECT_EQ(line_contact(robot, cell.rh, upright, 2, 2, kin, upright, d, t, &log), 0);
  EXPECT_STREQ(
      log.text,
      "\nline_contact4() (JK軸,mhsK)が直角かつ(JK軸,mK)が直角 no solution\n直線接触の解なし");
}

// A start value of joint K that is NaN or far beyond a turn (input found by fuzzing): no
// candidate is within the nearness bound, and the choice was read from before the candidate
// array. Now the first candidate is taken.
TEST(LineContact, StartValueNearNoCandidate) {
  setup_robot(2);
  cell.rh = {1.5, 1.5, 1.5};
  const double starts[3] = {std::numeric_limits<double>::quiet_NaN(), 1000, -1e300};
  for (double start : starts) {
    SCOPED_TRACE(testing::Message() << "q[4] " << start);
    double q[kJointSlots] = {0, 1.3490368453650321, 2.9198331721599322, 2.9198329738915056, start};
    double cand[4][kJointSlots], dist[4], tpar[4];
    // Two free-side contacts beyond the arm's ends, two on the wall side.
    ASSERT_EQ(line_contact4(robot, cell.rh, q, 4, 4, kin, cand, dist, tpar), 4);
    double qout[kJointSlots], d = 7, t = 7;
    ASSERT_EQ(line_contact(robot, cell.rh, q, 4, 4, kin, qout, d, t), 1);
    EXPECT_EQ(qout[4], cand[0][4]);
    EXPECT_EQ(d, dist[0]);
    EXPECT_EQ(t, tpar[0]);
  }
}

// Arm 2 sweeping about the vertical joint 1 meets an edge 0.8 from the axis four times: on the
// arm from the free side, on the arm from the wall side, and twice behind joint 2. From any
// start, even the wall-side contact itself, the free-side contact on the arm is taken.
TEST(LineContact, FreeSideContactOnTheArmFirst) {
  setup_robot(1);
  cell.rh = {0, 0.8, 0};
  double q[kJointSlots] = {0, 0, PI / 2}, cand[4][kJointSlots], dist[4], tpar[4];
  ASSERT_EQ(line_contact4(robot, cell.rh, q, 1, 2, kin, cand, dist, tpar), 4);
  for (int r = 0; r < 4; r++) {
    q[1] = cand[r][1];
    double qout[kJointSlots], d, t;
    ASSERT_EQ(line_contact(robot, cell.rh, q, 1, 2, kin, qout, d, t), 1);
    EXPECT_NEAR(d, 0.1, 1e-12) << "start at candidate " << r;
    EXPECT_GT(t, 0);
    EXPECT_LT(t, 1);
  }
}

// Over random poses (arms from Lcont to 5): where two free-side contacts lie on the arm and the
// earlier is nearer the start, the later wins; where all contacts are on the wall side, the one
// nearest the start modulo 2 pi wins; the same when q is also the output. Both situations occur.
TEST(LineContact, PreferenceOrderOverRandomPoses) {
  const unsigned seed = 2718;
  std::mt19937 rng(seed);
  std::uniform_real_distribution<double> coord(-2, 2), height(0, 1);
  int laterWins = 0, wallOnly = 0;
  for (int type = 1; type <= 4; type++) {
    setup_robot(type);
    const int K = robot.Lcont;
    for (int pose = 0; pose < 150; pose++) {
      double q[kJointSlots];
      random_pose(rng, robot.N, q);
      cell.rh = {coord(rng), coord(rng), height(rng)};
      for (int M = K; M <= 5; M++) {
        SCOPED_TRACE(testing::Message()
                     << "seed " << seed << " type " << type << " pose " << pose << " M " << M);
        double cand[4][kJointSlots], dist[4], tpar[4], qout[kJointSlots], d, t;
        const int n = line_contact4(robot, cell.rh, q, K, M, kin, cand, dist, tpar);
        if (n == 0) continue;
        ASSERT_EQ(line_contact(robot, cell.rh, q, K, M, kin, qout, d, t), 1);
        double same[kJointSlots], d2, t2;
        for (int k = 0; k < kJointSlots; k++) same[k] = q[k];
        ASSERT_EQ(line_contact(robot, cell.rh, same, K, M, kin, same, d2, t2), 1);
        EXPECT_EQ(same[K], qout[K]);

        int lastOnArm = -1, freeSide = 0, nearest = 0;
        bool earlierNearer = false;
        for (int i = 0; i < n; i++) {
          const double gap = std::fabs(angle_diff(cand[i][K], q[K]));
          if (gap < std::fabs(angle_diff(cand[nearest][K], q[K]))) nearest = i;
          if (dist[i] <= 0) continue;
          freeSide++;
          if (tpar[i] < 0 || tpar[i] > robot.Llen[M + 1]) continue;
          if (lastOnArm >= 0 && std::fabs(angle_diff(cand[lastOnArm][K], q[K])) < gap)
            earlierNearer = true;
          lastOnArm = i;
        }
        if (earlierNearer) {
          laterWins++;
          EXPECT_EQ(qout[K], cand[lastOnArm][K]);
          EXPECT_EQ(t, tpar[lastOnArm]);
        }
        if (freeSide == 0 && n >= 2) {
          wallOnly++;
          EXPECT_EQ(qout[K], cand[nearest][K]);
          EXPECT_EQ(d, dist[nearest]);
        }
      }
    }
  }
  EXPECT_GT(laterWins, 0);
  EXPECT_GT(wallOnly, 0);
}

// Reach as joint 1 (vertical) turns: with joint 2 bent, joints 3, 4 and 5 circle the axis at
// radii 1.0, 1.2 and 3.0, so the first arm to reach depends on the edge's distance from the
// axis; an edge on the axis is reached by joint 2 itself; farther than joint 5, no arm.
TEST(ContactCheck, NearestArmAboutVerticalAxis) {
  setup_robot(1);
  const double radius[] = {0, 0.5, 1.1, 2.0, 3.5};
  const int arm[] = {1, 2, 3, 4, 8};
  for (int c = 0; c < 5; c++) {
    double q[kJointSlots] = {0, 0.4, PI / 2};
    cell.rh = {-radius[c] * 0.6, -radius[c] * 0.8, 0.3};
    int mc;
    ContactClass sgn;
    double d = 7, t = 7;
    EXPECT_EQ(contact_check(robot, cell.rh, 1, q, kin, mc, sgn, d, t), arm[c])
        << "edge " << radius[c] << " away";
  }
}

// Joint K's axis horizontal, perpendicular to the edge (types 3 and 4 with joint 1 at 0): the
// edge runs along the planes of the circles, and reach is the circle against the edge's trace
// in that plane. Type 3, joint 2 (axis x): joints 3, 4, 5 circle (0, 0, 1.2) at radii 1.0, 1.8
// and 2.8 in the plane x = 0; joint 1 (axis y): joint 2 circles (0, 0, 1) at radius 0.2.
TEST(ContactCheck, NearestArmWhenAxisIsPerpendicularToEdge) {
  for (int type : {3, 4}) {
    setup_robot(type);
    const double offset[] = {0.5, 1.5, 2.5, 3.0};
    const int arm[] = {2, 3, 4, 8};
    for (int c = 0; c < 4; c++) {
      double q[kJointSlots] = {0};
      cell.rh = {0.7, offset[c], 0.1};
      int mc;
      ContactClass sgn;
      double d = 7, t = 7;
      EXPECT_EQ(contact_check(robot, cell.rh, 2, q, kin, mc, sgn, d, t), arm[c])
          << "type " << type << " edge " << offset[c] << " off the plane";
    }
  }
  setup_robot(3);
  double q[kJointSlots] = {0};
  int mc;
  ContactClass sgn;
  double d, t;
  cell.rh = {0.15, 5, 0};
  EXPECT_EQ(contact_check(robot, cell.rh, 1, q, kin, mc, sgn, d, t), 1);
  cell.rh = {0.25, 5, 0};
  EXPECT_EQ(contact_check(robot, cell.rh, 1, q, kin, mc, sgn, d, t), 2);
}

// Classes at the band edges of the nearest arm's distance d: cuts in at 0.1 - 1e-5 or less
// (every wall-side distance), touches strictly inside the band, apart from 0.1 + 1e-5. Every
// distance gets a class, and the class never falls as d grows (a sweep across both edges at
// rounding level). Arm 2 lies along -y, the edge 0.5 to the other side: d = -rh.x.
TEST(ContactCheck, ClassBandEdges) {
  double q[kJointSlots];
  arm_along_y(-1, q);
  const double gaps[] = {-0.3, -1.001e-5, -0.999e-5, 0, 0.999e-5, 1.001e-5, 0.5};
  const int classes[] = {1, 1, 2, 2, 2, 3, 3};
  for (int c = 0; c < 7; c++) {
    cell.rh = {-(0.1 + gaps[c]), 0.5, 0};
    int mc = 5;
    ContactClass sgn = kContactUnknown;
    double d, t;
    testing::internal::CaptureStdout();
    const int arm = contact_check(robot, cell.rh, 1, q, kin, mc, sgn, d, t);
    const std::string printed = testing::internal::GetCapturedStdout();
    EXPECT_EQ(arm, 2);
    EXPECT_EQ(mc, 0);
    EXPECT_EQ(sgn, classes[c]) << "gap " << gaps[c];
    EXPECT_NEAR(d, 0.1 + gaps[c], 1e-12);
    EXPECT_EQ(printed, "");
  }
  for (double edge : {0.1 - 1e-5, 0.1 + 1e-5}) {
    int last = 1;
    for (int k = -400; k <= 400; k++) {
      cell.rh = {-(edge + k * 1e-17), 0.5, 0};
      int mc;
      ContactClass sgn = kContactUnknown;
      double d, t;
      contact_check(robot, cell.rh, 1, q, kin, mc, sgn, d, t);
      ASSERT_TRUE(sgn >= 1 && sgn <= 3) << "step " << k;
      EXPECT_GE(sgn, last) << "step " << k;
      last = sgn;
    }
  }
}

// Wall crossing: the first arm whose segment passes the wall plane behind the edge cuts in,
// whatever the nearest arm said; passing beyond the edge on the free side or short of the
// plane does not; an arm within 1e-5 of parallel to the plane never crosses. Also: no reach
// and no crossing leave d and t alone, and joint numbers outside 1..N reach nothing.
TEST(ContactCheck, WallCrossing) {
  double q[kJointSlots];
  arm_along_y(1, q);
  int mc;
  ContactClass sgn;
  double d = 7, t = 7;
  cell.rh = {0.5, 1.1, 0};  // plane y = 1.1: beyond arm 2's end, through arm 3
  contact_check(robot, cell.rh, 1, q, kin, mc, sgn, d, t);
  EXPECT_EQ(mc, 3);
  EXPECT_EQ(sgn, 1);
  EXPECT_NEAR(d, -0.5, 1e-12);
  EXPECT_NEAR(t, 0.1, 1e-12);
  cell.rh = {0.5, 0.5, 0};
  contact_check(robot, cell.rh, 1, q, kin, mc, sgn, d, t);
  EXPECT_EQ(mc, 2);
  EXPECT_NEAR(t, 0.5, 1e-12);
  cell.rh = {-0.5, 1.1, 0};  // the arm passes the plane on the free side
  contact_check(robot, cell.rh, 1, q, kin, mc, sgn, d, t);
  EXPECT_EQ(mc, 0);

  // Arms along x in the wall plane y = 0, the edge ahead of them out of their reach.
  setup_robot(1);
  cell.rh = {5, 0, 0};
  for (double q1 : {0.0, 5e-6, -5e-6}) {
    double flat[kJointSlots] = {0, q1, PI / 2};
    contact_check(robot, cell.rh, 1, flat, kin, mc, sgn, d, t);
    EXPECT_EQ(mc, 0) << "q1 " << q1;
  }
  double tilted[kJointSlots] = {0, 2e-5, PI / 2};
  contact_check(robot, cell.rh, 1, tilted, kin, mc, sgn, d, t);
  EXPECT_EQ(mc, 2);

  // An arm lying across the edge cuts into the wall even when no arm can turn toward the edge
  // (no joint K): its tube passes the edge 0.05 away, at 0.3 along arm 4 (x from 1.2 to 3.0).
  double level[kJointSlots] = {0, 0, PI / 2};
  cell.rh = {1.5, 0.05, 0};
  EXPECT_EQ(contact_check(robot, cell.rh, 0, level, kin, mc, sgn, d, t), robot.N + 1);
  EXPECT_EQ(mc, 4);
  EXPECT_EQ(sgn, 1);
  EXPECT_NEAR(d, 0.05, 1e-12);
  EXPECT_NEAR(t, 0.3, 1e-12);
  // Just outside the tube it stays apart.
  cell.rh = {1.5, 0.1 + 2e-5, 0};
  contact_check(robot, cell.rh, 0, level, kin, mc, sgn, d, t);
  EXPECT_EQ(mc, 0);
  EXPECT_EQ(sgn, 3);

  // Upright type 1: no arm reaches an edge 5 away, and no arm crosses.
  double upright[kJointSlots] = {0};
  cell.rh = {3, 4, 0};
  for (int K : {1, 0, 8, -2}) {
    d = 7, t = 7, sgn = kContactUnknown, mc = 5;
    EXPECT_EQ(contact_check(robot, cell.rh, K, upright, kin, mc, sgn, d, t), robot.N + 1)
        << "joint " << K;
    EXPECT_EQ(mc, 0);
    EXPECT_EQ(sgn, 3);
    EXPECT_EQ(d, 7);
    EXPECT_EQ(t, 7);
  }
}

}  // namespace
