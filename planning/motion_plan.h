// Collision-free motions between two poses, planned with OMPL over seven wrapping joints and
// certified by the workcell (collision/): every pose a planner keeps is valid, every motion it
// keeps is a certified straight joint segment, and the shortened path is certified again.
//
// A path is a list of joint vectors (joints 1..N in slots 1..N) with unwrapped values:
// consecutive waypoints are joined by the straight line of their plain differences. The first
// waypoint is the start as given, the last equals the goal modulo whole turns. OMPL's headers,
// classes and exceptions stay behind this header. A call uses the OMPL objects and kinematic
// workspace of its PlanWorkspace (or its own), so calls with their own workspaces may run on
// several threads at once.
#pragma once

#include <array>
#include <memory>
#include <string>
#include <vector>

#include "collision/motion_check.h"

using JointVector = std::array<double, kJointSlots>;
using JointPath = std::vector<JointVector>;

// The planner's defaults, which the command line shows and the window uses.
constexpr double kDefaultPlanTimeLimit = 1.0;  // seconds per goal pose
constexpr const char* kDefaultPlanner = "RRTConnect";
constexpr unsigned kDefaultPlanSeed = 1;

// The most planning time per goal pose in seconds: a day. The planners' clocks
// count nanoseconds in 64 bits, so a limit far beyond it would overflow and end at once.
constexpr double kMaxTimeLimit = 86400;

// The planners with which one seed need not give one path, and why: PRM and PRMstar grow their
// roadmap on a thread of their own, and RRTstar and PRMstar refine their path until the time
// limit, so what they return depends on how far they got. Every other planner is repeatable.
constexpr const char* kUnrepeatablePlanners[] = {"PRM", "PRMstar", "RRTstar"};
constexpr const char* kUnrepeatableWhy =
    "PRM and PRMstar grow their roadmap on a thread of their own, and RRTstar and PRMstar refine "
    "their path until the time limit";

enum PlanStatus {
  kPlanFound,           // path holds a certified collision-free motion
  kPlanNoPath,          // no path within the time limit
  kPlanStartInvalid,    // the start pose cuts into the wall, the floor or a box
  kPlanGoalInvalid,     // the goal pose cuts into the wall, the floor or a box
  kPlanUnknownPlanner,  // no OMPL geometric planner of that name
  kPlanBadInput,        // a joint value that is no number, or a time limit not in 0..kMaxTimeLimit
  kPlanPlannerError,    // OMPL reported an error (its text in `message`)
};

struct PlanRequest {
  JointVector start{};
  JointVector goal{};
  std::string planner = kDefaultPlanner;
  double timeLimit = kDefaultPlanTimeLimit;  // seconds, > 0
  unsigned seed = kDefaultPlanSeed;          // seeds the state sampler: one seed, one path
  // Poses the planner's checks may evaluate (each pose check one, each segment check as many as
  // it takes) before it gives up (0: no bound): a limit that, unlike time, gives the same answer
  // on a busy machine.
  long maxPoseChecks = 0;
  // Whether the found path's clearances are measured (PlanResult's minWall, minFloor and
  // minObstacle, else NAN): the full check of every pose, where the path's certificate alone
  // needs only the yes/no check.
  bool measureClearances = true;
};

struct PlanResult {
  PlanStatus status = kPlanBadInput;
  JointPath path;           // kPlanFound: the waypoints
  double length = 0;        // sum of the waypoints' Euclidean joint distances, radians
  double planningMs = 0;    // wall-clock time of the planner and the shortcuts
  double minWall = 0;       // least wall, floor and box clearance of the poses the
  double minFloor = 0;      // certification checked along the path (minObstacle INFINITY
  double minObstacle = 0;   // without boxes); NAN when not measured
  long validityChecks = 0;  // pose checks the planner asked for
  long motionChecks = 0;    // segment checks the planner and the shortcuts asked for
  long motionPoses = 0;     // poses those segment checks evaluated
  double checkMs = 0;       // time spent in those checks
  std::string message;      // kPlanPlannerError: OMPL's text
};

// OMPL's objects kept from one plan to the next: the joint space with the workcell's checks, and
// the last planner when it is RRTConnect, cleared before it plans again. A caller who plans many
// motions (a goal's poses in turn, a map) spares building them each time; the paths are the same as
// without it. One thread at a time.
struct PlanWorkspace {
  PlanWorkspace();
  ~PlanWorkspace();
  PlanWorkspace(const PlanWorkspace&) = delete;
  PlanWorkspace& operator=(const PlanWorkspace&) = delete;

  struct Parts;  // behind this header
  std::unique_ptr<Parts> parts;
};

// Plans a motion from request.start to request.goal for robot in cell, with the OMPL objects of
// workspace. Writes result and returns its status.
PlanStatus plan_motion(const RobotModel& robot, const Workcell& cell, const PlanRequest& request,
                       PlanWorkspace& workspace, PlanResult& result);

// The same with a workspace of its own.
PlanStatus plan_motion(const RobotModel& robot, const Workcell& cell, const PlanRequest& request,
                       PlanResult& result);

// The planners' motion check on the motion from a to b (finite joint values; each joint the short
// way round, as the planners move). Returns 1 when the motion is certified free; otherwise writes
// the state it reports to a planner as the last valid one (joints 1..N, each within one turn of
// zero) and its fraction along the motion, 0..1, and returns 0. Kept for the tests: only this
// layer can build the check as OMPL's planners call it.
int planner_motion_check(const RobotModel& robot, const Workcell& cell, const JointVector& a,
                         const JointVector& b, JointVector& lastValid, double& fraction);

// Whether `name` is a planner plan_motion knows.
bool planner_known(const std::string& name);

// The planner names plan_motion knows, separated by ", ".
std::string planner_names();

// Seeds OMPL's process-wide random numbers, which planners other than the default may also
// draw from. Only the first call in a process takes effect; call it before planning.
void seed_planning_process(unsigned seed);

// A short English sentence for a status, in a workcell with `boxes` boxes (an invalid start or
// goal may cut into one of them). Never null.
const char* plan_status_text(PlanStatus status, int boxes);
