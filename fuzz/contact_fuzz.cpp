// Fuzz target: the line contact of one arm, the contact solver and the contact check, for every
// robot type, on arbitrary poses, joint and arm numbers (also out of range) and wall edges.
// Every call must return with a result in its documented range, keep the joints it does not
// solve for, and give contacts at the contact distance and finite distances.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "contact/line_contact.h"
#include "contact/line_contact4.h"
#include "fuzz/fuzz_values.h"
#include "model/robot_catalogue.h"
#include "model/state.h"

namespace {

// The robot, kinematic state and wall the routines run on.
RobotModel robot;
Kinematics kin;
Workcell cell;
// The notes of the routine under test, emptied before each call.
MessageLog messages;

// What one input sets up: whether the routines take a message log, the robot type, the wall
// edge, the pose, joint K and arm M.
struct ContactCase {
  double values[kJointSlots + 6];  // q, then rh, then type, K, M as numbers (printed on failure)
  double* q;
  int K, M;
  MessageLog* log;  // &messages or null
  bool measurable;  // finite pose, edge within the range where distances stay finite
};

// Whether each coordinate of the edge point lies within 1e150 of the origin, the range in which
// the routines promise finite distances (squares of farther points overflow).
bool edge_in_range(const Vec3& rh) {
  return std::fabs(rh.x) <= 1e150 && std::fabs(rh.y) <= 1e150 && std::fabs(rh.z) <= 1e150;
}

void read_case(FuzzedDataProvider& in, ContactCase& c) {
  const int type = in.ConsumeIntegralInRange<int>(1, kRobotTypes);
  c.log = in.ConsumeBool() ? &messages : nullptr;
  cell.rh = fuzz_vec3(in);
  robot_setup(type, robot);
  kin = Kinematics(robot);
  c.q = c.values;
  fuzz_pose(in, c.q);
  c.K = in.ConsumeIntegralInRange<int>(-2, kMaxJoints + 3);
  c.M = in.ConsumeIntegralInRange<int>(-2, kMaxJoints + 3);
  double* tail = c.values + kJointSlots;
  tail[0] = cell.rh.x;
  tail[1] = cell.rh.y;
  tail[2] = cell.rh.z;
  tail[3] = type;
  tail[4] = c.K;
  tail[5] = c.M;
  fuzzCase = {c.values, kJointSlots + 6};
  c.measurable = finite_all(c.q, robot.N + 1) && edge_in_range(cell.rh);
}

// A contact: finite joint value, parameter and distance, the distance within 1e-6 of +-dd.
void require_contact(double qK, double d, double t, const char* what) {
  const double dd = robot.linkRadius + robot.edgeRadius;
  require(std::isfinite(qK) && std::isfinite(t) && std::fabs(std::fabs(d) - dd) <= 1e-6, what);
}

void fuzz_line_contact4(const ContactCase& c) {
  const int N = robot.N;
  double cand[4][kJointSlots], dist[4], tpar[4];
  log_clear(messages);
  const int n = line_contact4(robot, cell.rh, c.q, c.K, c.M, kin, cand, dist, tpar, c.log);
  if (c.M > 5) {
    require(n == kArmBeyondContact, "line_contact4: arm beyond 5 not 10");
    for (auto& candidate : cand)
      require(same_joints_except(N, c.q, candidate, 0), "line_contact4: candidate not q");
    return;
  }
  require(n >= 0 && n <= 4, "line_contact4 count");
  if (c.K < 1 || c.M < c.K) require(n == 0, "line_contact4 solved an arm joint K does not move");
  for (int r = 0; r < n; r++) {
    require(same_joints_except(N, c.q, cand[r], joint_bit(c.K)), "line_contact4 moved a joint");
    require_contact(cand[r][c.K], dist[r], tpar[r], "line_contact4 candidate is no contact");
  }
}

void fuzz_line_contact(FuzzedDataProvider& in, ContactCase& c) {
  const int N = robot.N;
  double q0[kJointSlots];
  std::memcpy(q0, c.q, sizeof q0);
  // qout may be q itself.
  double separate[kJointSlots];
  double* qout = in.ConsumeBool() ? c.q : separate;
  const double unset = -12345.0;
  double d = unset, t = unset;
  log_clear(messages);
  const int result = line_contact(robot, cell.rh, c.q, c.K, c.M, kin, qout, d, t, c.log);
  require(result == 0 || result == 1, "line_contact result");
  if (result == 0) {
    require(same_joints_except(N, q0, qout, 0), "line_contact failed but moved the pose");
    require(d == unset && t == unset, "line_contact failed but wrote d or t");
    return;
  }
  require(same_joints_except(N, q0, qout, joint_bit(c.K)), "line_contact moved another joint");
  require_contact(qout[c.K], d, t, "line_contact chose no contact");
}

void fuzz_contact_check(const ContactCase& c) {
  const int N = robot.N;
  double q0[kJointSlots];
  std::memcpy(q0, c.q, sizeof q0);
  const double unset = -12345.0;
  int mc = -1;
  ContactClass sgn = kContactUnknown;
  double d = unset, t = unset;
  const int m0 = contact_check(robot, cell.rh, c.K, c.q, kin, mc, sgn, d, t);
  require((m0 >= 1 && m0 <= N - 3) || m0 == N + 1, "contact_check arm out of range");
  require(mc == 0 || (mc >= 1 && mc <= N - 1), "contact_check crossing arm out of range");
  require(sgn >= 1 && sgn <= 3, "contact_check class out of range");
  require(mc == 0 || sgn == 1, "contact_check: crossing or overlapping arm not classed as cutting");
  require(same_joints_except(N, q0, c.q, 0), "contact_check changed the pose");
  if (m0 == N + 1 && mc == 0) {
    require(d == unset && t == unset, "contact_check wrote d or t with nothing classified");
    return;
  }
  if (c.measurable) require(std::isfinite(d) && std::isfinite(t), "contact_check distance");
}

void fuzz_arm_line_distance(const ContactCase& c) {
  double t;
  const double d = arm_line_distance(robot, cell.rh, c.M, c.q, kin, t);
  if (c.M < 0 || c.M > robot.N - 1) {
    require(d == kNoArmDistance && t == 0, "arm_line_distance of no arm");
    return;
  }
  if (c.measurable) require(std::isfinite(d) && std::isfinite(t), "arm_line_distance not finite");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider in(data, size);
  const int routine = in.ConsumeIntegralInRange<int>(0, 3);
  ContactCase c;
  read_case(in, c);
  switch (routine) {
    case 0:
      fuzz_line_contact4(c);
      break;
    case 1:
      fuzz_line_contact(in, c);
      break;
    case 2:
      fuzz_contact_check(c);
      break;
    default:
      fuzz_arm_line_distance(c);
      break;
  }
  return 0;
}
