// Issue 11: line_contact4 returns every contact of the arm with the edge line that a scan of the
// joint finds, each at the contact distance to 1e-10. The scan measures by forward kinematics
// and edge_gap alone, independently of the solver's equations.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <random>
#include <vector>

#include "contact/line_contact4.h"
#include "contact_support.h"
#include "core_state.h"
#include "model/forward_kinematics.h"
#include "model/robot_catalogue.h"
#include "support.h"

namespace {

constexpr double kDd = 0.1;

// |distance| - dd of arm M for joint K at th, the other joints at q; smooth is false for an arm
// within 1e-4 of vertical, where edge_gap switches to the horizontal distance.
double contact_miss(const double q[], int K, int M, double th, bool& smooth) {
  double qs[kJointSlots];
  for (int k = 0; k < kJointSlots; k++) qs[k] = q[k];
  qs[K] = th;
  forward_kinematics(robot, qs, kin);
  smooth = std::fabs(std::fabs(kin.LU[M + 1].z) - 1) > 1e-4;
  return std::fabs(edge_gap(M).dist) - kDd;
}

// The contacts of a scan of joint K over a full turn in `samples` steps: every sign change of
// |distance| - dd between neighbouring smooth samples, bisected to 1e-13 rad and kept where
// |distance| - dd is then within 1e-9 of 0 (steep contacts included, a jump left out).
std::vector<double> scanned_contacts(const double q[], int K, int M, int samples) {
  std::vector<double> found;
  bool prevSmooth;
  double prevTh = -PI, prev = contact_miss(q, K, M, prevTh, prevSmooth);
  for (int j = 1; j <= samples; j++) {
    const double th = -PI + 2 * PI * j / samples;
    bool smooth;
    const double miss = contact_miss(q, K, M, th, smooth);
    if (smooth && prevSmooth && prev * miss < 0) {
      double a = prevTh, b = th, fa = prev;
      while (b - a > 1e-13) {
        const double mid = 0.5 * (a + b);
        bool midSmooth;
        const double fm = contact_miss(q, K, M, mid, midSmooth);
        if ((fm < 0) == (fa < 0)) {
          a = mid;
          fa = fm;
        } else {
          b = mid;
        }
      }
      bool rootSmooth;
      const double root = 0.5 * (a + b);
      if (std::fabs(contact_miss(q, K, M, root, rootSmooth)) <= 1e-9 && rootSmooth)
        found.push_back(root);
    }
    prev = miss;
    prevTh = th;
    prevSmooth = smooth;
  }
  return found;
}

struct ContactTally {
  long scanned = 0, missed = 0, candidates = 0;
  double worstDistance = 0;
};

// Runs line_contact4 for q, K, M and checks it against the scan: every scanned contact has a
// candidate within 1e-7 rad, every candidate lies at dd from the edge line to 1e-10.
void check_contacts(const double q[], int K, int M, int samples, ContactTally& tally) {
  double cand[4][kJointSlots], dist[4], tpar[4];
  const int n = line_contact4(robot, cell.rh, q, K, M, kin, cand, dist, tpar);
  ASSERT_GE(n, 0);
  ASSERT_LE(n, 4);
  tally.candidates += n;
  for (int r = 0; r < n; r++) {
    forward_kinematics(robot, cand[r], kin);
    const double miss = std::fabs(std::fabs(edge_gap(M).dist) - kDd);
    EXPECT_LE(miss, 1e-10) << "candidate " << r << " at " << cand[r][K];
    tally.worstDistance = std::max(tally.worstDistance, miss);
  }
  for (double th : scanned_contacts(q, K, M, samples)) {
    tally.scanned++;
    double nearest = 1e9;
    for (int r = 0; r < n; r++) nearest = std::min(nearest, angle_gap(cand[r][K], th));
    EXPECT_LE(nearest, 1e-7) << "contact at " << th << " has no candidate (" << n << " in all)";
    tally.missed += nearest > 1e-7;
  }
}

// The issue's input: the quartic in cos(joint 2) returned its real roots -0.99770296 and
// -0.95101228 as complex, and arm 4 (and arm 5, on the same line) lost both contacts.
TEST(LineContact4Exact, IssueInputKeepsBothContacts) {
  setup_robot(3);
  const double q[kJointSlots] = {0,
                                 -0.337649592148916,
                                 -1.5399801517076135,
                                 2.0936701067019357,
                                 2.6970248385090247,
                                 -0.7540305858247405,
                                 3.003016153521581,
                                 3.1221954216024805};
  cell.rh = {0.6652075127942885, -0.8862159843316033, 0.5821221599091201};
  for (int M : {4, 5}) {
    SCOPED_TRACE(testing::Message() << "M " << M);
    double cand[4][kJointSlots], dist[4], tpar[4];
    const int n = line_contact4(robot, cell.rh, q, 2, M, kin, cand, dist, tpar);
    for (double expected : {-2.827290, 3.073800}) {
      double nearest = 1e9;
      for (int r = 0; r < n; r++) nearest = std::min(nearest, angle_gap(cand[r][2], expected));
      EXPECT_LE(nearest, 1e-6) << "contact near " << expected;
    }
    ContactTally tally;
    check_contacts(q, 2, M, 2000, tally);
    EXPECT_EQ(tally.scanned, 2);
  }
}

// Four inputs a round trip found: a squared equation whose cross and sine terms nearly vanish,
// so that the sine recomputed for each root lost its digits and TRI2 dropped all four contacts
// (type 3); a quartic with coefficients near 1e-10, whose every x passed the absolute test for
// the factored form, which then replaced the exact roots by ones 2e-3 rad off (type 1); an arm
// within 1.3 degrees of the edge's direction, for which the length in the contact equation
// counts as constant, whose roots then miss by more than the refinement reached (type 4; in
// this and the type 1 input the distance changes by some 60 per radian); and an equation with
// all coefficients below 2e-4, whose quadratic terms TRI2's absolute threshold took for 0
// (type 4).
TEST(LineContact4Exact, ContactsARoundTripLost) {
  // Type, joint K, arm M, contacts, how many of them the scan finds (it leaves out an arm
  // within 1e-4 of vertical); the pose; the edge point.
  struct Case {
    int setup[5];
    double q[8];
    Vec3 rh;
  };
  const Case cases[4] = {
      {{3, 3, 4, 4, 4},
       {0, 1.5707754196083501, 0.40697385279949572, -0.025959321581289441, 0.45658913872498985,
        1.062548530016926, 2.4158998437445662, -1.2195382942566089},
       {0.30697771566722354, -0.56659635944198583, 0.17077267218730935}},
      {{1, 3, 4, 4, 4},
       {0, 2.4008696342020555, 1.9144038401794115, 0.41423448195098223, 1.2870878762927109,
        2.2435512739823817, 1.6217432350202525, 1.6167535748850899},
       {1.8734445970170022, -1.8306722664517676, 0.83789607883511052}},
      {{4, 2, 4, 3, 2},
       {0, 1.549155048838303, -1.9941449849705011, -1.3619208337399813, -1.5434945253570875,
        1.6896603251761118, -3.002238497918861, -2.6245882091661361},
       {1.8571368622045132, -1.4721797316869418, 0.0011800646208755504}},
      {{4, 3, 4, 2, 2},
       {0, 1.3850019741970589, 0.61679590043859234, 2.131097558104285, 1.5131148331398174,
        0.77357770130930747, -2.9948864120834431, 2.8721958554274378},
       {-1.6646231025786726, -0.65343662732137919, 0.32292636400055358}}};
  for (const Case& c : cases) {
    const int type = c.setup[0], K = c.setup[1], M = c.setup[2];
    SCOPED_TRACE(testing::Message() << "type " << type);
    setup_robot(type);
    cell.rh = c.rh;
    double q[kJointSlots] = {};
    for (int i = 1; i <= 7; i++) q[i] = c.q[i];
    ContactTally tally;
    check_contacts(q, K, M, 4000, tally);
    EXPECT_EQ(tally.candidates, c.setup[3]);
    EXPECT_EQ(tally.scanned, c.setup[4]);
  }
}

// Seeded random poses and edges of all four types, every joint K = 1..5 and arm M = K..5: every
// contact the scan finds is among the candidates, and every candidate is a contact to 1e-10.
TEST(LineContact4Exact, RoundTripFindsEveryScannedContact) {
  for (int type = 1; type <= 4; type++) {
    setup_robot(type);
    std::mt19937 rng(1700 + type);
    std::uniform_real_distribution<double> coord(-2, 2), height(0, 1);
    ContactTally tally;
    for (int pose = 0; pose < 300; pose++) {
      double q[kJointSlots];
      random_pose(rng, robot.N, q);
      cell.rh = {coord(rng), coord(rng), height(rng)};
      for (int K = 1; K <= 5; K++)
        for (int M = K; M <= 5; M++) {
          SCOPED_TRACE(testing::Message() << "type " << type << " seed " << 1700 + type << " pose "
                                          << pose << " K " << K << " M " << M);
          check_contacts(q, K, M, 500, tally);
          if (HasFailure()) return;
        }
    }
    std::printf(
        "type %d: %ld contacts scanned, %ld missed, %ld candidates, worst |distance - 0.1| "
        "%.2e\n",
        type, tally.scanned, tally.missed, tally.candidates, tally.worstDistance);
  }
}

}  // namespace
