#include "contact/line_contact4.h"

#include <algorithm>
#include <cstdio>
#include <random>

#include "contact_support.h"
#include "core_state.h"
#include "math/angles.h"
#include "support.h"

namespace {

constexpr double kDd = 0.1;

// Whether some candidate's joint K lies in [lo, hi] (radians, modulo 2 pi).
bool has_candidate_in(int n, const double cand[4][kJointSlots], int K, double lo, double hi) {
  for (int r = 0; r < n; r++) {
    const double mid = 0.5 * (lo + hi);
    if (std::fabs(angle_wrap_diff(cand[r][K], mid)) <= 0.5 * (hi - lo)) return true;
  }
  return false;
}

// Contacts a sweep of joint K finds (|distance| crossing dd between neighbouring samples, away
// from the vertical-arm band and from jumps), and those no candidate accounts for; apart for
// contacts within about 0.3 rad of joint K at 0 or pi, where cos K is flat.
struct SweepCounts {
  int found, missed, foundFlat, missedFlat;
};

void sweep_contacts(const double q[], int K, int M, int n, const double cand[4][kJointSlots],
                    SweepCounts& counts) {
  constexpr int kSamples = 360;
  double qs[kJointSlots];
  for (int k = 0; k < kJointSlots; k++) qs[k] = q[k];
  double prevTh = 0, prevGap = 0;
  bool prevSmooth = false;
  for (int j = 0; j <= kSamples; j++) {
    const double th = -PI + 2 * PI * j / kSamples;
    qs[K] = th;
    forward_kinematics(robot, qs, kin);
    const double gap = std::fabs(edge_gap(M).dist);
    const bool smooth = std::fabs(std::fabs(kin.LU[M + 1].z) - 1) > 1e-4;
    if (j > 0 && smooth && prevSmooth && std::fabs(gap - prevGap) < 0.2 &&
        (gap - kDd) * (prevGap - kDd) < 0) {
      const bool flat = std::fabs(std::sin(th)) < 0.3 || std::fabs(std::sin(prevTh)) < 0.3;
      const bool missed = !has_candidate_in(n, cand, K, prevTh - 1e-3, th + 1e-3);
      (flat ? counts.foundFlat : counts.found)++;
      if (missed) (flat ? counts.missedFlat : counts.missed)++;
    }
    prevTh = th;
    prevGap = gap;
    prevSmooth = smooth;
  }
}

// Every candidate over random poses of all types, joints 1..5 and arms from the joint to 5 is a
// contact by an independent measure, differs from q in joint K only, reports its own distance
// and contact parameter, and together they account for every contact a sweep of joint K finds.
// Catches wrong frames or signs in the contact equation, lost or spurious roots, and
// candidates whose other joints were disturbed.
TEST(LineContact4, EveryCandidateIsAContact) {
  const unsigned seed = 5150;
  std::mt19937 rng(seed);
  std::uniform_real_distribution<double> coord(-2, 2), height(0, 1);
  ContactPolishCounts counts = {0, 0};
  long candidates = 0, solved = 0;
  SweepCounts sweep = {0, 0, 0, 0};
  for (int type = 1; type <= 4; type++) {
    setup_robot(type);
    for (int pose = 0; pose < 25; pose++) {
      double q[kJointSlots];
      random_pose(rng, robot.N, q);
      cell.rh = {coord(rng), coord(rng), height(rng)};
      for (int K = 1; K <= 5; K++) {
        for (int M = K; M <= 5; M++) {
          SCOPED_TRACE(testing::Message() << "seed " << seed << " type " << type << " pose " << pose
                                          << " K " << K << " M " << M);
          double cand[4][kJointSlots], dist[4], tpar[4];
          const int n =
              line_contact4(robot, cell.rh, q, K, M, kin, cand, dist, tpar, nullptr, &counts);
          ASSERT_GE(n, 0);
          ASSERT_LE(n, 4);
          solved++;
          candidates += n;
          for (int r = 0; r < n; r++) {
            SCOPED_TRACE(testing::Message() << "candidate " << r);
            for (int k = 0; k <= robot.N; k++) {
              if (k == K) continue;
              EXPECT_EQ(cand[r][k], q[k]) << "joint " << k;
            }
            forward_kinematics(robot, cand[r], kin);
            const EdgeGap gap = edge_gap(M);
            // The drop rule keeps only contacts within 1e-6.
            EXPECT_NEAR(std::fabs(gap.dist), kDd, 1e-6);
            // Two computations of one well-conditioned distance.
            EXPECT_NEAR(dist[r], gap.dist, 1e-9);
            // The reported arm point lies at that distance (horizontally) from the edge.
            const Vec3 foot = {kin.Jpos[M].x + tpar[r] * kin.LU[M + 1].x,
                               kin.Jpos[M].y + tpar[r] * kin.LU[M + 1].y, 0};
            EXPECT_NEAR(std::hypot(foot.x - cell.rh.x, foot.y - cell.rh.y), std::fabs(dist[r]),
                        1e-7);
          }
          sweep_contacts(q, K, M, n, cand, sweep);
        }
      }
    }
  }
  std::printf(
      "%ld solves, %ld candidates kept, %ld polished, %ld dropped; sweep: %d of %d "
      "contacts missed, %d of %d near joint K at 0 or pi\n",
      solved, candidates, counts.polished, counts.dropped, sweep.missed, sweep.found,
      sweep.missedFlat, sweep.foundFlat);
  EXPECT_GT(candidates, 1000);
  EXPECT_EQ(sweep.missed, 0);
  // Two contacts either side of 0 or pi have nearly equal cosines: a near double root of the
  // quartic in cos, which must still come back accurate enough for TRI2's residual test.
  EXPECT_EQ(sweep.missedFlat, 0);
}

// An arm above 5 is not solved; an arm below joint K does not move with it, nor does any arm
// with a joint number below 1: no candidates, nothing logged, candidates left equal to q.
TEST(LineContact4, ArmsItDoesNotSolve) {
  setup_robot(1);
  cell.rh = {0.5, 0.5, 0};
  double q[kJointSlots];
  std::mt19937 rng(7);
  random_pose(rng, robot.N, q);
  const int cases[][3] = {{1, 6, 10}, {2, 7, 10}, {3, 2, 0}, {5, 1, 0}, {0, 3, 0}, {-1, 2, 0}};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "K " << c[0] << " M " << c[1]);
    double cand[4][kJointSlots], dist[4] = {7, 7, 7, 7}, tpar[4] = {7, 7, 7, 7};
    MessageLog log;
    log_clear(log);
    EXPECT_EQ(line_contact4(robot, cell.rh, q, c[0], c[1], kin, cand, dist, tpar, &log), c[2]);
    EXPECT_STREQ(log.text, "");
    for (int r = 0; r < 4; r++) {
      for (int k = 0; k <= robot.N; k++) EXPECT_EQ(cand[r][k], q[k]);
      EXPECT_EQ(dist[r], 7);
      EXPECT_EQ(tpar[r], 7);
    }
  }
}

// A non-finite joint that places arm M yields no candidate on either solving path: no NaN
// leaves as a solution or distance. (Joints above M do not move the arm and do not matter.)
TEST(LineContact4, NonFinitePoseGivesNoCandidates) {
  cell.rh = {0.5, 0.8, 0};
  for (int type : {1, 3}) {
    setup_robot(type);
    for (int bad = 1; bad <= 3; bad++) {
      double q[kJointSlots] = {0, 0.3, 0.4, 0.5, 0.6};
      q[bad] = std::nan("");
      double cand[4][kJointSlots], dist[4], tpar[4];
      for (int M = std::max(robot.Lcont, bad); M <= 5; M++) {
        if (bad == robot.Lcont) continue;
        EXPECT_EQ(line_contact4(robot, cell.rh, q, robot.Lcont, M, kin, cand, dist, tpar), 0)
            << "type " << type << " joint " << bad << " M " << M;
      }
    }
  }
}

// A vertical joint axis makes the arm-to-edge angle independent of the joint: the linear path
// finds two contacts on each side of the edge, silently. Type 1, joint 1, arm 2 laid horizontal
// through the axis; the edge 0.8 from the axis along y: contacts where 0.8 |cos| = 0.1.
TEST(LineContact4, VerticalAxisGivesTwoContactsPerSide) {
  setup_robot(1);
  cell.rh = {0, 0.8, 0};
  double q[kJointSlots] = {0, 0.3, PI / 2};
  double cand[4][kJointSlots], dist[4], tpar[4];
  MessageLog log;
  log_clear(log);
  ASSERT_EQ(line_contact4(robot, cell.rh, q, 1, 2, kin, cand, dist, tpar, &log), 4);
  EXPECT_STREQ(log.text, "");
  int freeSide = 0;
  for (int r = 0; r < 4; r++) {
    EXPECT_NEAR(std::fabs(dist[r]), kDd, 1e-12);
    // The arm (length 1) passes the edge 0.8 cos(asin(1/8)) from joint 2, ahead or behind.
    EXPECT_NEAR(std::fabs(tpar[r]), 0.8 * std::sqrt(1 - 1.0 / 64), 1e-12);
    if (dist[r] > 0) freeSide++;
  }
  EXPECT_EQ(freeSide, 2);
}

// An arm within 1e-6 of vertical is measured as vertical, so the contacts of its slightly
// tilted line lie 1.3 (the edge's distance) away by that measure: all four are dropped, and the
// count says so. Type 2, joint 1, arm 2 tilted by 1e-4 through the joint 1 axis.
TEST(LineContact4, CandidatesThatAreNoContactsAreDropped) {
  setup_robot(2);
  cell.rh = {1.3, 0, 0};
  double q[kJointSlots] = {0, 0.3, 1e-4};
  double cand[4][kJointSlots], dist[4], tpar[4];
  ContactPolishCounts counts = {0, 0};
  MessageLog log;
  log_clear(log);
  EXPECT_EQ(line_contact4(robot, cell.rh, q, 1, 2, kin, cand, dist, tpar, &log, &counts), 0);
  EXPECT_EQ(counts.dropped, 4);
  EXPECT_STREQ(log.text, "");
}

// Arm and edge both perpendicular to joint K's axis: the arm sweeps a plane parallel to the
// edge, which is reported, not solved. Type 3, joint 2 (horizontal axis) in the zero pose.
TEST(LineContact4, ArmAndEdgePerpendicularToAxis) {
  setup_robot(3);
  cell.rh = {0.5, 0.5, 0};
  double q[kJointSlots] = {0};
  double cand[4][kJointSlots], dist[4], tpar[4];
  MessageLog log;
  log_clear(log);
  EXPECT_EQ(line_contact4(robot, cell.rh, q, 2, 2, kin, cand, dist, tpar, &log), 0);
  EXPECT_STREQ(log.text, "\nline_contact4() (JK軸,mhsK)が直角かつ(JK軸,mK)が直角 no solution");
}

// An edge no turn of the joint can bring the arm to: the squared equation has no root and the
// joint is reported. Type 3, joint 2; arm 4 bent sideways sweeps a bounded hyperboloid.
TEST(LineContact4, UnreachableEdgeIsReported) {
  setup_robot(3);
  cell.rh = {0.2, 50, 0};
  double q[kJointSlots] = {0, 0, 0, PI / 4, PI / 2};
  double cand[4][kJointSlots], dist[4], tpar[4];
  MessageLog log;
  log_clear(log);
  EXPECT_EQ(line_contact4(robot, cell.rh, q, 2, 4, kin, cand, dist, tpar, &log), 0);
  EXPECT_STREQ(log.text, "\nline_contact4() qK no solution");
}

// Sign convention and the special lines: an arm west of the edge (wall side) is negative, east
// (free side) positive; a vertical arm gives the horizontal distance with t = 0; crossing lines
// give 0, not NaN; a link of length 0 is measured as its joint; arm numbers naming no arm are
// far away and touch no link data. Type 1: arm 2 laid along +-y through joint 2 at (0, 0, 1).
TEST(ArmLineDistance, SignAndSpecialLines) {
  setup_robot(1);
  double q[kJointSlots] = {0, PI / 2, PI / 2};
  for (int k = robot.N + 1; k < kJointSlots; k++) q[k] = 9;
  double t;
  forward_kinematics(robot, q, kin);
  const double ahead = 1 / kin.LU[3].y;  // arm parameter at y = 1
  cell.rh = {0.5, 1, 0};
  EXPECT_NEAR(arm_line_distance(robot, cell.rh, 2, q, kin, t), -0.5, 1e-12);
  EXPECT_NEAR(t, ahead, 1e-12);
  for (int k = robot.N + 1; k < kJointSlots; k++) EXPECT_EQ(q[k], 0);
  cell.rh = {-0.5, 1, 0};
  EXPECT_NEAR(arm_line_distance(robot, cell.rh, 2, q, kin, t), 0.5, 1e-12);
  cell.rh = {0, 1, 0};
  const double crossing = arm_line_distance(robot, cell.rh, 2, q, kin, t);
  EXPECT_FALSE(std::isnan(crossing));
  EXPECT_NEAR(crossing, 0, 1e-12);

  double upright[kJointSlots] = {0};
  cell.rh = {0.3, 0.4, 0};
  EXPECT_NEAR(arm_line_distance(robot, cell.rh, 2, upright, kin, t), -0.5, 1e-12);
  EXPECT_EQ(t, 0);
  cell.rh = {-0.3, 0.4, 0};
  EXPECT_NEAR(arm_line_distance(robot, cell.rh, 2, upright, kin, t), 0.5, 1e-12);
  // Arm 0 of type 1 runs from the base to joint 1, both at the origin.
  EXPECT_NEAR(arm_line_distance(robot, cell.rh, 0, upright, kin, t), 0.5, 1e-12);

  for (int M : {-1, 7, 12}) {
    t = 5;
    EXPECT_EQ(arm_line_distance(robot, cell.rh, M, upright, kin, t), kNoArmDistance) << "arm " << M;
    EXPECT_EQ(t, 0);
  }
}

}  // namespace
