// Motion planning on seeded scenes whose straight joint line from the initial pose to the best
// goal pose collides. OMPL's planners side by side through plan_motion (the workcell's pose check
// and certified motion check), then plan_motion's RRTConnect beside the common setup: OMPL's
// RRTConnect on the same seven SO2 joints with FCL pose checks (collision/fcl_workcell.h), OMPL's
// discrete motion validator at its default resolution and its default path simplifier. The two
// RRTConnects meet again on a second set of scenes with 3 to 8 random boxes, which the common
// setup checks as FCL boxes, each box drawn clear of a path found before it was placed, so that
// every scene is known to be solvable. Every path returned is sampled densely and judged by
// tests/workcell_judge.h, and by FCL for the boxes.
//
// Each benchmark runs once over the scene set (Iterations(1)) and reports counters; the tables
// are printed to stdout when the program ends. Times cover every run, a failure counted at the
// time it took (about the limit), so a median stays meaningful below full success.
#include <benchmark/benchmark.h>
#include <ompl/base/PlannerTerminationCondition.h>
#include <ompl/base/ScopedState.h>
#include <ompl/base/StateSampler.h>
#include <ompl/base/StateValidityChecker.h>
#include <ompl/base/spaces/SO2StateSpace.h>
#include <ompl/geometric/PathGeometric.h>
#include <ompl/geometric/SimpleSetup.h>
#include <ompl/geometric/planners/rrt/RRTConnect.h>
#include <ompl/util/Console.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <functional>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "collision/fcl_workcell.h"
#include "collision/motion_check.h"
#include "contact/placement.h"
#include "math/angles.h"
#include "model/forward_kinematics.h"
#include "model/robot_catalogue.h"
#include "planning/joint_path.h"
#include "planning/motion_plan.h"
#include "task/workcell_setup.h"
#include "workcell_judge.h"

namespace ob = ompl::base;
namespace og = ompl::geometric;

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kScenesPerType = 20;
constexpr int kMaxDraws = 600;        // per type, before settling for fewer scenes
constexpr double kTimeLimit = 1.0;    // seconds per plan
constexpr double kDenseStep = 0.002;  // rad: the largest joint change between judged samples
constexpr unsigned kSceneSeed = 3100;
constexpr unsigned kBoxSceneSeed = 3200;
constexpr int kMinBoxes = 3, kMaxBoxes = 8;
constexpr int kBoxTries = 20;            // draws of one box before it is left out
constexpr double kWitnessMargin = 0.05;  // m: each box's least distance from a witness pose

double ms_since(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// CPU time of the calling thread: a busy machine stretches wall-clock time, not this.
double thread_cpu_ms() {
  timespec t;
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return 1e3 * t.tv_sec + 1e-6 * t.tv_nsec;
}

struct Scene {
  int type;
  RobotModel robot;
  Workcell cell;
  JointVector start, goal;
  double straight;  // Euclidean norm of the plain joint difference goal - start
};

struct SceneSet {
  std::vector<Scene> scenes;
  int draws[kRobotTypes + 1] = {};
  int kept[kRobotTypes + 1] = {};
  double ms = 0;
};

// A floor goal drawn at random (the workpiece put down from above at x, y, its underside at height
// z) and a wall edge at (0, wallY, 0); the start is the initial pose and the goal the best pose,
// kept when both are valid.
bool draw_goal(int type, std::mt19937& rng, Scene& s) {
  std::uniform_real_distribution<double> xs(-1.5, 1.5), ys(-0.5, 2.5), zs(0.0, 1.2),
      walls(0.8, 2.2);
  const double x = xs(rng), y = ys(rng), z = zs(rng), wallY = walls(rng);
  static PlacementResult placements;
  s.type = type;
  robot_setup(type, s.robot);
  s.cell = {};
  s.cell.rwG = goal_centre(s.robot, x, y, z);
  s.cell.EwG = kGoalOrientation;
  s.cell.rh = {0, wallY, 0};
  const double* qInit = s.robot.qInit;
  if (placement_solve(s.robot, s.cell, qInit, PlacementOptions(), placements) != kPlacementFound)
    return false;
  Kinematics kin(s.robot);
  WorkcellClearance c;
  const double* qGoal = placements.poses[0].q;
  if (!pose_check(s.robot, s.cell, qInit, kin, c) || !pose_check(s.robot, s.cell, qGoal, kin, c))
    return false;
  s.start = {};
  s.goal = {};
  double d2 = 0;
  for (int i = 1; i <= s.robot.N; i++) {
    s.start[i] = qInit[i];
    s.goal[i] = qGoal[i];
    d2 += (qGoal[i] - qInit[i]) * (qGoal[i] - qInit[i]);
  }
  s.straight = std::sqrt(d2);
  return true;
}

// draw_goal's scene, kept when the straight line to the goal collides.
bool draw_scene(int type, std::mt19937& rng, Scene& s) {
  if (!draw_goal(type, rng, s)) return false;
  Kinematics kin(s.robot);
  MotionCheck line;
  return motion_check(s.robot, s.cell, s.start.data(), s.goal.data(), kin, line) != 0;
}

// kScenesPerType scenes of each robot type from `draw`, its generator seeded by seed + type,
// within kMaxDraws draws a type.
void build_scene_set(unsigned seed, bool (*draw)(int, std::mt19937&, Scene&), SceneSet& set) {
  ompl::msg::setLogLevel(ompl::msg::LOG_NONE);
  seed_planning_process(1);
  const Clock::time_point start = Clock::now();
  for (int type = 1; type <= kRobotTypes; type++) {
    std::mt19937 rng(seed + type);
    Scene s;
    while (set.kept[type] < kScenesPerType && set.draws[type] < kMaxDraws) {
      set.draws[type]++;
      if (draw(type, rng, s)) {
        set.scenes.push_back(s);
        set.kept[type]++;
      }
    }
  }
  set.ms = ms_since(start);
}

// Whether scene_set() has built the wall scenes.
bool wallScenesBuilt = false;

const SceneSet& scene_set() {
  static SceneSet set;
  if (!wallScenesBuilt) build_scene_set(kSceneSeed, draw_scene, set);
  wallScenesBuilt = true;
  return set;
}

// A rotation drawn uniformly: a unit quaternion of four normal deviates, as a row-major matrix.
Mat3 random_rotation(std::mt19937& rng) {
  std::normal_distribution<double> n;
  double w = n(rng), x = n(rng), y = n(rng), z = n(rng);
  const double len = std::sqrt(w * w + x * x + y * y + z * z);
  w /= len, x /= len, y /= len, z /= len;
  return {{1 - 2 * (y * y + z * z), 2 * (x * y - w * z), 2 * (x * z + w * y),  //
           2 * (x * y + w * z), 1 - 2 * (x * x + z * z), 2 * (y * z - w * x),  //
           2 * (x * z - w * y), 2 * (y * z + w * x), 1 - 2 * (x * x + y * y)}};
}

// Calls visit with each pose along the path: its unwrapped waypoints joined by their plain
// differences, each segment sampled with no joint moving more than `step` (rad); stops when
// visit returns false.
void sampled_poses(int N, const JointPath& path, double step,
                   const std::function<bool(const double q[])>& visit) {
  for (size_t k = 1; k < path.size(); k++) {
    double largest = 0;
    for (int i = 1; i <= N; i++)
      largest = std::max(largest, std::fabs(path[k][i] - path[k - 1][i]));
    const long steps = std::max(1L, static_cast<long>(std::ceil(largest / step)));
    for (long j = k == 1 ? 0 : 1; j <= steps; j++) {
      double q[kJointSlots] = {};
      const double t = static_cast<double>(j) / steps;
      for (int i = 1; i <= N; i++) q[i] = path[k - 1][i] + t * (path[k][i] - path[k - 1][i]);
      if (!visit(q)) return;
    }
  }
}

// sampled_poses at the judge's step, kDenseStep.
void dense_poses(int N, const JointPath& path, const std::function<bool(const double q[])>& visit) {
  sampled_poses(N, path, kDenseStep, visit);
}

// How deep the judge finds the path cutting into the wall, the floor or a box (> 0), or 0 when
// every sample is valid.
double judged_depth(const Scene& s, const JointPath& path) {
  double depth = 0;
  dense_poses(s.robot.N, path, [&](const double q[]) {
    if (judge::valid_pose(s.robot, s.cell, q)) return true;
    const judge::Verdict v = judge::judge_pose(s.robot, s.cell, q);
    depth = std::max(depth, -std::min({v.wall, v.floor, v.obstacle}));
    return true;
  });
  return depth;
}

// Whether FCL finds a body meeting one of the scene's boxes at a pose along the path, sampled
// as judged_depth samples it.
bool cuts_box(const Scene& s, const JointPath& path) {
  if (s.cell.obstacleCount == 0 || path.empty()) return false;
  Kinematics kin(s.robot);
  forward_kinematics(s.robot, path[0].data(), kin);
  FclWorkcell fcl(s.robot, kin, s.cell.rh);
  fcl.set_obstacles(s.cell);
  bool cut = false;
  dense_poses(s.robot.N, path, [&](const double q[]) {
    forward_kinematics(s.robot, q, kin);
    fcl.set_pose(kin);
    cut = fcl.obstacle_hit();
    return !cut;
  });
  return cut;
}

// One run of a planner on one scene.
struct Run {
  int type;
  bool solved;
  double ms;           // wall clock: plan_motion's planningMs, or the common setup's whole run
  double lengthRatio;  // path length / straight line length (solved runs)
  bool colliding;      // the judge found a pose cutting in along the path, or FCL one in a box
  bool boxCut;         // FCL found a pose along the path meeting a box (a second opinion)
  double depth;        // how deep the deepest such pose cuts in
  double cpuMs;        // the planning thread's CPU time
  bool goalRefused;    // the common setup's pose check refused the start or the goal
  bool error;          // the planner reported an error
  double checkMs;      // time in the pose and motion checks
  long poseChecks, motionChecks, motionPoses;
};

struct Stats {
  int runs = 0, solved = 0, colliding = 0, boxCuts = 0, refused = 0, errors = 0;
  double median = 0, p90 = 0, max = 0, lengthRatio = 0, depth = 0, cpuMedian = 0;
  double planMs = 0, checkMs = 0;
  double poseChecks = 0, motionChecks = 0, motionPoses = 0;  // per run
};

double nearest_rank(std::vector<double> v, double p) {
  if (v.empty()) return NAN;
  std::sort(v.begin(), v.end());
  const size_t rank = static_cast<size_t>(std::ceil(p * v.size()));
  return v[std::min(v.size(), std::max<size_t>(rank, 1)) - 1];
}

// Statistics of the runs of robot type `type` (0: every type).
Stats stats_of(const std::vector<Run>& runs, int type) {
  Stats st;
  std::vector<double> ms, ratio, cpu;
  for (const Run& r : runs) {
    if (type != 0 && r.type != type) continue;
    st.runs++;
    ms.push_back(r.ms);
    cpu.push_back(r.cpuMs);
    st.planMs += r.ms;
    st.checkMs += r.checkMs;
    st.poseChecks += r.poseChecks;
    st.motionChecks += r.motionChecks;
    st.motionPoses += r.motionPoses;
    st.refused += r.goalRefused;
    st.errors += r.error;
    if (!r.solved) continue;
    st.solved++;
    st.colliding += r.colliding;
    st.boxCuts += r.boxCut;
    st.depth = std::max(st.depth, r.depth);
    ratio.push_back(r.lengthRatio);
  }
  if (st.runs == 0) return st;
  st.median = nearest_rank(ms, 0.5);
  st.cpuMedian = nearest_rank(cpu, 0.5);
  st.p90 = nearest_rank(ms, 0.9);
  st.max = nearest_rank(ms, 1.0);
  st.lengthRatio = nearest_rank(ratio, 0.5);
  st.poseChecks /= st.runs;
  st.motionChecks /= st.runs;
  st.motionPoses /= st.runs;
  return st;
}

// The first error text of each planner, for the tables.
std::map<std::string, std::string> plannerErrors;

// One plan through workspace, which the scenes' plans share as a caller planning many motions does.
Run plan_ours(const Scene& s, const char* planner, unsigned seed, PlanWorkspace& workspace) {
  PlanRequest request;
  request.start = s.start;
  request.goal = s.goal;
  request.planner = planner;
  request.timeLimit = kTimeLimit;
  request.seed = seed;
  // The common setup reports no clearances: neither does this run (BM_PlanReport times them).
  request.measureClearances = false;
  PlanResult result;
  const double cpu = thread_cpu_ms();
  const PlanStatus status = plan_motion(s.robot, s.cell, request, workspace, result);
  Run r{};
  r.cpuMs = thread_cpu_ms() - cpu;
  r.type = s.type;
  r.solved = status == kPlanFound;
  r.error = status == kPlanPlannerError;
  if (r.error && plannerErrors[planner].empty()) plannerErrors[planner] = result.message;
  r.ms = result.planningMs;
  r.lengthRatio = r.solved ? result.length / s.straight : NAN;
  r.depth = r.solved ? judged_depth(s, result.path) : 0;
  r.boxCut = r.solved && cuts_box(s, result.path);
  r.colliding = r.depth > 0 || r.boxCut;
  r.checkMs = result.checkMs;
  r.poseChecks = result.validityChecks;
  r.motionChecks = result.motionChecks;
  r.motionPoses = result.motionPoses;
  return r;
}

// The common setup's pose check: forward kinematics, the FCL bodies moved there, collide with
// the plate, the floor and the boxes.
class FclValidity : public ob::StateValidityChecker {
 public:
  FclValidity(const ob::SpaceInformationPtr& si, const Scene& s)
      : ob::StateValidityChecker(si), robot_(s.robot) {
    kin_ = Kinematics(robot_);
    forward_kinematics(robot_, s.start.data(), kin_);
    fcl_ = std::make_unique<FclWorkcell>(robot_, kin_, s.cell.rh);
    fcl_->set_obstacles(s.cell);
  }

  bool isValid(const ob::State* state) const override {
    const Clock::time_point start = Clock::now();
    const auto* cs = state->as<ob::CompoundState>();
    double q[kJointSlots] = {};
    for (int i = 1; i <= robot_.N; i++) q[i] = cs->as<ob::SO2StateSpace::StateType>(i - 1)->value;
    forward_kinematics(robot_, q, kin_);
    fcl_->set_pose(kin_);
    const bool valid = !fcl_->wall_hit() && !fcl_->floor_hit() && !fcl_->obstacle_hit();
    checks++;
    ms += ms_since(start);
    return valid;
  }

  mutable long checks = 0;
  mutable double ms = 0;

 private:
  const RobotModel& robot_;
  mutable Kinematics kin_;
  std::unique_ptr<FclWorkcell> fcl_;
};

// The solution's states as unwrapped waypoints from the start, each step the short way round
// as the SO2 interpolation moves.
JointPath unwrapped(int N, const og::PathGeometric& path, const JointVector& start) {
  JointPath out(1, start);
  for (size_t k = 1; k < path.getStateCount(); k++) {
    const auto* a = path.getState(k - 1)->as<ob::CompoundState>();
    const auto* b = path.getState(k)->as<ob::CompoundState>();
    JointVector next = out.back();
    for (int i = 1; i <= N; i++)
      next[i] += wrap_angle(b->as<ob::SO2StateSpace::StateType>(i - 1)->value -
                            a->as<ob::SO2StateSpace::StateType>(i - 1)->value);
    out.push_back(next);
  }
  return out;
}

// Uniform joint samples from a generator of its own, seeded: unlike OMPL's default samplers,
// which draw their seeds from one process-wide sequence, it samples the same whichever plans ran
// before.
class OwnSeedSampler : public ob::StateSampler {
 public:
  OwnSeedSampler(const ob::StateSpace* space, unsigned seed) : ob::StateSampler(space) {
    rng_.setLocalSeed(seed);
  }
  void sampleUniform(ob::State* state) override {
    auto* s = state->as<ob::CompoundState>();
    for (unsigned i = 0; i < space_->as<ob::CompoundStateSpace>()->getSubspaceCount(); i++)
      s->as<ob::SO2StateSpace::StateType>(i)->value = rng_.uniformReal(-M_PI, M_PI);
  }
  // RRTConnect samples uniformly only.
  void sampleUniformNear(ob::State* state, const ob::State*, double) override {
    sampleUniform(state);
  }
  void sampleGaussian(ob::State* state, const ob::State*, double) override { sampleUniform(state); }
};

// The common setup's RRTConnect on scene s within kTimeLimit, its path simplified when asked,
// its samples drawn as OMPL draws them (seed 0) or by an OwnSeedSampler. Writes r's times,
// check counts and verdict on the start and goal, and the unwrapped path when solved; returns
// whether it solved.
bool solve_common(const Scene& s, bool simplify, unsigned seed, Run& r, JointPath& path) {
  const int N = s.robot.N;
  const Clock::time_point start = Clock::now();
  const double cpu = thread_cpu_ms();
  auto space = std::make_shared<ob::CompoundStateSpace>();
  for (int i = 1; i <= N; i++) space->addSubspace(std::make_shared<ob::SO2StateSpace>(), 1.0);
  if (seed != 0)
    space->setStateSamplerAllocator(
        [seed](const ob::StateSpace* sp) { return std::make_shared<OwnSeedSampler>(sp, seed); });
  og::SimpleSetup ss(space);
  auto validity = std::make_shared<FclValidity>(ss.getSpaceInformation(), s);
  ss.setStateValidityChecker(validity);
  ob::ScopedState<> from(space), to(space);
  for (int i = 1; i <= N; i++) {
    from->as<ob::CompoundState>()->as<ob::SO2StateSpace::StateType>(i - 1)->value =
        wrap_angle(s.start[i]);
    to->as<ob::CompoundState>()->as<ob::SO2StateSpace::StateType>(i - 1)->value =
        wrap_angle(s.goal[i]);
  }
  ss.setStartAndGoalStates(from, to);
  ss.setPlanner(std::make_shared<og::RRTConnect>(ss.getSpaceInformation()));
  ss.setup();
  r = {};
  r.type = s.type;
  r.goalRefused = !validity->isValid(from.get()) || !validity->isValid(to.get());
  const Clock::time_point deadline = start + std::chrono::duration_cast<Clock::duration>(
                                                 std::chrono::duration<double>(kTimeLimit));
  const ob::PlannerStatus status =
      ss.solve(ob::PlannerTerminationCondition([deadline] { return Clock::now() >= deadline; }));
  r.solved = status == ob::PlannerStatus::EXACT_SOLUTION;
  if (r.solved && simplify) ss.simplifySolution();
  r.ms = ms_since(start);
  r.cpuMs = thread_cpu_ms() - cpu;
  r.checkMs = validity->ms;
  r.poseChecks = validity->checks;
  if (r.solved) path = unwrapped(N, ss.getSolutionPath(), s.start);
  return r.solved;
}

Run plan_common(const Scene& s) {
  Run r;
  JointPath path;
  if (solve_common(s, true, 0, r, path)) {
    r.lengthRatio = path_length(s.robot.N, path) / s.straight;
    r.depth = judged_depth(s, path);
    r.boxCut = cuts_box(s, path);
    r.colliding = r.depth > 0 || r.boxCut;
  }
  return r;
}

// How far any point of the robot can move per radian of the largest joint change: the sum over
// the joints of the farthest any point lies from the joint (the links beyond it, the hand, half
// the workpiece's diagonal and the tube radius), which bounds its distance from the joint's axis.
double lever_sum(const RobotModel& robot) {
  const double reach = robot.handLength + robot.linkRadius +
                       0.5 * std::sqrt(robot.workSize[0] * robot.workSize[0] +
                                       robot.workSize[1] * robot.workSize[1] +
                                       robot.workSize[2] * robot.workSize[2]);
  double sum = 0;
  for (int i = 1; i <= robot.N; i++) {
    double beyond = reach;
    for (int j = i + 1; j <= robot.N; j++) beyond += robot.Llen[j];
    sum += beyond;
  }
  return sum;
}

// The poses of a path that shows a box scene solvable: the common setup's RRTConnect path on the
// scene before any box is placed, its samples seeded by kBoxSceneSeed (so that the scenes are the
// same whichever benchmarks ran before), not simplified (so it wanders as a planner's path does)
// and judged clear of the plate and the floor; sampled so densely that no point of the robot
// moves more than kWitnessMargin / 2 between two samples. Empty when there is no such path.
std::vector<judge::Pose> witness_poses(const Scene& s) {
  Run r;
  JointPath path;
  if (!solve_common(s, false, kBoxSceneSeed, r, path) || judged_depth(s, path) > 0) return {};
  std::vector<judge::Pose> poses;
  sampled_poses(s.robot.N, path, kWitnessMargin / lever_sum(s.robot), [&](const double q[]) {
    poses.push_back(judge::fk(s.robot, q));
    return true;
  });
  return poses;
}

// Whether the judge finds every body at least kWitnessMargin from `box` at each witness pose, so
// at least half that all along the witness path. A body whose bounding sphere lies that far from
// the box's is not measured.
bool clear_of_witness(const RobotModel& robot, const std::vector<judge::Pose>& witness,
                      const Obstacle& box) {
  const judge::Box b = judge::obstacle_of(box);
  const judge::P c = judge::of(box.centre);
  const double boxReach = 0.5 * std::sqrt(box.size[0] * box.size[0] + box.size[1] * box.size[1] +
                                          box.size[2] * box.size[2]) +
                          kWitnessMargin;
  const double workReach = 0.5 * std::sqrt(robot.workSize[0] * robot.workSize[0] +
                                           robot.workSize[1] * robot.workSize[1] +
                                           robot.workSize[2] * robot.workSize[2]);
  for (const judge::Pose& f : witness)
    for (int k = 1; k <= 8; k++) {
      double far = judge::norm(f.work - c) - workReach;
      if (k < 8) {
        judge::P a, e;
        judge::tube_ends(f, k, a, e);
        far = judge::segment_distance(c, c, a, e) - robot.linkRadius;
      }
      if (far >= boxReach) continue;
      if (judge::body_box(robot, f, k, b) < kWitnessMargin) return false;
    }
  return true;
}

// draw_goal's scene with 3..8 boxes of sides 0.1..0.5 centred at random in the robot's reach and
// turned at random, each drawn again (kBoxTries times at most) while it comes nearer the witness
// path than kWitnessMargin, so that the scene is known to be solvable. Kept when the straight
// line cuts the wall, the floor or a box by the dense independent checks.
bool draw_box_scene(int type, std::mt19937& rng, Scene& s) {
  std::uniform_real_distribution<double> side(0.1, 0.5), bx(-1.5, 1.5), by(-1.5, 2.0), bz(0.0, 1.5);
  std::uniform_int_distribution<int> boxes(kMinBoxes, kMaxBoxes);
  if (!draw_goal(type, rng, s)) return false;
  const std::vector<judge::Pose> witness = witness_poses(s);
  if (witness.empty()) return false;
  const int count = boxes(rng);
  for (int b = 0; b < count; b++) {
    for (int tries = 0; tries < kBoxTries; tries++) {
      Obstacle& o = s.cell.obstacles[s.cell.obstacleCount];
      o = {};
      std::snprintf(o.name, sizeof o.name, "box%d", b + 1);
      for (double& l : o.size) l = side(rng);
      o.centre = {bx(rng), by(rng), bz(rng)};
      o.R = random_rotation(rng);
      if (!clear_of_witness(s.robot, witness, o)) continue;
      s.cell.obstacleCount++;
      break;
    }
  }
  if (s.cell.obstacleCount < kMinBoxes) return false;
  const JointPath line = {s.start, s.goal};
  return cuts_box(s, line) || judged_depth(s, line) > 0;  // FCL first: quicker than the judge
}

// The box scenes, kScenesPerType of each robot type, drawn from kBoxSceneSeed.
const SceneSet& box_scenes() {
  static SceneSet set;
  static bool built = false;
  if (!built) build_scene_set(kBoxSceneSeed, draw_box_scene, set);
  built = true;
  return set;
}

// Results kept for the tables printed at exit.
std::map<std::string, std::vector<Run>> plannerRuns;
std::vector<Run> oursRuns, commonRuns;
std::vector<Run> boxOursRuns, boxCommonRuns;

// The runs of `runs` on scenes whose start and goal the common setup accepts.
std::vector<Run> accepted(const std::vector<Run>& runs) {
  std::vector<Run> out;
  for (size_t k = 0; k < runs.size() && k < commonRuns.size(); k++)
    if (!commonRuns[k].goalRefused) out.push_back(runs[k]);
  return out;
}

void print_type(int t) {
  if (t == 0)
    std::printf("%4s", "all");
  else
    std::printf("%4d", t);
}

// The box scenes' table: ours and the common setup side by side, per robot type.
void print_box_table() {
  const SceneSet& set = box_scenes();
  std::printf("\nBox scenes (%d to %d boxes; start and goal clear, the straight line cuts in): ",
              kMinBoxes, kMaxBoxes);
  for (int t = 1; t <= kRobotTypes; t++)
    std::printf("type %d: %d of %d draws%s", t, set.kept[t], set.draws[t],
                t < kRobotTypes ? ", " : "\n");
  std::printf(
      "RRTConnect, ours vs the common setup (FCL boxes), %.0f s limit. ms: wall clock over all "
      "runs; length: median path length / straight line length; judged: found paths cutting the "
      "wall, the floor or a box (the judge, or FCL for the boxes, sampled densely); fcl_box: "
      "found paths FCL finds meeting a box; speed: median ms common / median ms ours (cpu: thread "
      "CPU time)\n",
      kTimeLimit);
  std::printf("%4s %6s %8s %8s %8s %7s %6s %7s | %6s %8s %8s %8s %7s %6s %7s | %6s %6s\n", "type",
              "ours", "med_ms", "p90_ms", "max_ms", "length", "judged", "fcl_box", "common",
              "med_ms", "p90_ms", "max_ms", "length", "judged", "fcl_box", "speed", "cpu");
  for (int t = 0; t <= kRobotTypes; t++) {
    const Stats x = stats_of(boxOursRuns, t), y = stats_of(boxCommonRuns, t);
    if (x.runs == 0) continue;
    print_type(t);
    for (const Stats* st : {&x, &y})
      std::printf(" %3d/%-2d %8.1f %8.1f %8.1f %7.2f %6d %7d%s", st->solved, st->runs, st->median,
                  st->p90, st->max, st->lengthRatio, st->colliding, st->boxCuts, " |");
    std::printf(" %6.2f %6.2f\n", y.median / x.median, y.cpuMedian / x.cpuMedian);
  }
}

// Every planner plan_motion lists, in its order (RRTConnect first), for the README's table.
std::vector<std::string> listed_planners() {
  std::vector<std::string> names;
  const std::string all = planner_names();
  for (size_t start = 0; start < all.size();) {
    const size_t end = std::min(all.find(", ", start), all.size());
    names.push_back(all.substr(start, end - start));
    start = end + 2;
  }
  return names;
}

void print_tables() {
  if (wallScenesBuilt) {
    const SceneSet& set = scene_set();
    std::printf("\nScenes (straight line to the best pose collides): ");
    for (int t = 1; t <= kRobotTypes; t++)
      std::printf("type %d: %d of %d draws%s", t, set.kept[t], set.draws[t],
                  t < kRobotTypes ? ", " : "\n");
  }
  if (!plannerRuns.empty()) {
    std::printf(
        "\nPlanners through plan_motion, %.0f s limit. ms: wall clock over all runs (a failure at "
        "its time); cpu_med: median CPU ms of the planning thread; length: median of path length / "
        "straight line length; judged: found paths the judge finds colliding; checks: share of "
        "planning time in pose and motion checks; poses, motions: checks per run; seg_poses: "
        "poses per motion check\n",
        kTimeLimit);
    std::printf("%-10s %4s %6s %6s %8s %8s %8s %8s %7s %6s %6s %7s %7s %9s\n", "planner", "type",
                "solved", "errors", "med_ms", "p90_ms", "max_ms", "cpu_med", "length", "judged",
                "checks", "poses", "motions", "seg_poses");
    for (const std::string& planner : listed_planners()) {
      const char* name = planner.c_str();
      const auto found = plannerRuns.find(planner);
      if (found == plannerRuns.end()) continue;
      for (int t = 0; t <= kRobotTypes; t++) {
        const Stats st = stats_of(found->second, t);
        if (st.runs == 0) continue;
        std::printf("%-10s ", name);
        print_type(t);
        std::printf(" %3d/%-2d %6d %8.2f %8.2f %8.2f %8.2f %7.2f %6d %5.0f%% %7.0f %7.0f %9.1f\n",
                    st.solved, st.runs, st.errors, st.median, st.p90, st.max, st.cpuMedian,
                    st.lengthRatio, st.colliding, st.planMs > 0 ? 100 * st.checkMs / st.planMs : 0,
                    st.poseChecks, st.motionChecks,
                    st.motionChecks > 0 ? st.motionPoses / st.motionChecks : 0);
      }
    }
    for (const auto& e : plannerErrors)
      if (!e.second.empty()) std::printf("%s error: %s\n", e.first.c_str(), e.second.c_str());
  }
  if (!commonRuns.empty()) {
    const std::vector<Run> ours = accepted(oursRuns), common = accepted(commonRuns);
    const Stats a = stats_of(oursRuns, 0), b = stats_of(commonRuns, 0);
    std::printf(
        "\nRRTConnect, ours (certified motions and shortcuts) vs the common setup "
        "(FCL pose checks, DiscreteMotionValidator, simplifyMax), on the scenes whose start and "
        "goal FCL accepts. speed: median ms common / median ms ours (wall clock; cpu: thread CPU "
        "time); checks: share of time in "
        "pose (and our motion) checks\n");
    std::printf("%4s %6s %8s %7s %6s %6s | %6s %8s %7s %6s %6s | %6s %6s\n", "type", "ours",
                "med_ms", "length", "judged", "checks", "common", "med_ms", "length", "judged",
                "checks", "speed", "cpu");
    for (int t = 0; t <= kRobotTypes; t++) {
      const Stats x = stats_of(ours, t), y = stats_of(common, t);
      if (x.runs == 0) continue;
      print_type(t);
      std::printf(
          " %3d/%-2d %8.1f %7.2f %6d %5.0f%% | %3d/%-2d %8.1f %7.2f %6d %5.0f%% | %6.2f %6.2f\n",
          x.solved, x.runs, x.median, x.lengthRatio, x.colliding, 100 * x.checkMs / x.planMs,
          y.solved, y.runs, y.median, y.lengthRatio, y.colliding, 100 * y.checkMs / y.planMs,
          y.median / x.median, y.cpuMedian / x.cpuMedian);
    }
    std::printf(
        "Every scene (%d): ours solved %d, median %.1f ms; common solved %d, refused %d (start or "
        "goal touching the wall: FCL calls it colliding, the planner waits out the limit), median "
        "%.1f ms; speed %.2f\n",
        a.runs, a.solved, a.median, b.solved, b.refused, b.median, b.median / a.median);
    std::printf("Deepest cut the judge finds on a path: ours %.3g, common %.3g (model units)\n",
                a.depth, b.depth);
  }
  if (!boxOursRuns.empty()) print_box_table();
  std::fflush(stdout);
}

void remember_for_tables() {
  static bool registered = false;
  if (!registered) std::atexit(print_tables);
  registered = true;
}

void BM_PlanScenes(benchmark::State& state) {
  const SceneSet* set = nullptr;
  for (auto _ : state) set = &scene_set();
  for (int t = 1; t <= kRobotTypes; t++) {
    state.counters["t" + std::to_string(t) + "_scenes"] = set->kept[t];
    state.counters["t" + std::to_string(t) + "_draws"] = set->draws[t];
  }
  state.counters["build_s"] = set->ms / 1000;
  remember_for_tables();
}
BENCHMARK(BM_PlanScenes)->Iterations(1)->Unit(benchmark::kSecond);

// Ours and the common setup on each scene in turn, so that both meet the same machine load. It
// runs before the other planners, so that the common setup draws the same seeds from OMPL's
// process-wide generator whichever benchmarks the filter selects.
void BM_PlanCommonSetup(benchmark::State& state) {
  const SceneSet& set = scene_set();
  PlanWorkspace workspace;
  for (auto _ : state) {
    oursRuns.clear();
    commonRuns.clear();
    for (size_t k = 0; k < set.scenes.size(); k++) {
      oursRuns.push_back(
          plan_ours(set.scenes[k], "RRTConnect", static_cast<unsigned>(1 + k), workspace));
      commonRuns.push_back(plan_common(set.scenes[k]));
    }
  }
  // The speed on the scenes the common setup accepts, and on every scene.
  const Stats a = stats_of(accepted(oursRuns), 0), b = stats_of(accepted(commonRuns), 0);
  const Stats allOurs = stats_of(oursRuns, 0), allCommon = stats_of(commonRuns, 0);
  state.counters["speed_ratio"] = b.median / a.median;
  state.counters["speed_ratio_all"] = allCommon.median / allOurs.median;
  state.counters["cpu_speed_ratio"] = b.cpuMedian / a.cpuMedian;
  state.counters["ours_solved"] = allOurs.solved;
  state.counters["common_solved"] = allCommon.solved;
  state.counters["common_refused"] = allCommon.refused;
  state.counters["ours_colliding"] = allOurs.colliding;
  state.counters["common_colliding"] = allCommon.colliding;
  state.counters["common_deepest"] = allCommon.depth;
  state.counters["ours_check_share"] = a.planMs > 0 ? a.checkMs / a.planMs : 0;
  state.counters["common_check_share"] = b.planMs > 0 ? b.checkMs / b.planMs : 0;
  remember_for_tables();
}
BENCHMARK(BM_PlanCommonSetup)->Iterations(1)->Unit(benchmark::kSecond);

void BM_PlanPlanner(benchmark::State& state, const char* planner) {
  const SceneSet& set = scene_set();
  std::vector<Run>& runs = plannerRuns[planner];
  PlanWorkspace workspace;
  for (auto _ : state) {
    runs.clear();
    for (size_t k = 0; k < set.scenes.size(); k++)
      runs.push_back(plan_ours(set.scenes[k], planner, static_cast<unsigned>(1 + k), workspace));
  }
  for (int t = 1; t <= kRobotTypes; t++) {
    const Stats st = stats_of(runs, t);
    const std::string p = "t" + std::to_string(t) + "_";
    state.counters[p + "solved"] = st.runs ? static_cast<double>(st.solved) / st.runs : 0;
    state.counters[p + "med_ms"] = st.median;
    state.counters[p + "p90_ms"] = st.p90;
    state.counters[p + "max_ms"] = st.max;
    state.counters[p + "length"] = st.lengthRatio;
  }
  const Stats all = stats_of(runs, 0);
  state.counters["judged_colliding"] = all.colliding;
  state.counters["errors"] = all.errors;
  state.counters["check_share"] = all.planMs > 0 ? all.checkMs / all.planMs : 0;
  state.counters["pose_checks"] = all.poseChecks;
  state.counters["motion_checks"] = all.motionChecks;
  remember_for_tables();
}

// BM_PlanPlanner/<name> for every listed planner.
const bool plannersRegistered = [] {
  static const std::vector<std::string> names = listed_planners();
  for (const std::string& name : names)
    benchmark::RegisterBenchmark(("BM_PlanPlanner/" + name).c_str(), BM_PlanPlanner, name.c_str())
        ->Iterations(1)
        ->Unit(benchmark::kSecond);
  return true;
}();

// Ours and the common setup on the box scenes, each scene in turn. Registered last, so that the
// other benchmarks draw OMPL's process-wide seeds as before.
void BM_PlanBoxScenes(benchmark::State& state) {
  const SceneSet& set = box_scenes();
  PlanWorkspace workspace;
  for (auto _ : state) {
    boxOursRuns.clear();
    boxCommonRuns.clear();
    for (size_t k = 0; k < set.scenes.size(); k++) {
      boxOursRuns.push_back(
          plan_ours(set.scenes[k], "RRTConnect", static_cast<unsigned>(1 + k), workspace));
      boxCommonRuns.push_back(plan_common(set.scenes[k]));
    }
  }
  const Stats a = stats_of(boxOursRuns, 0), b = stats_of(boxCommonRuns, 0);
  state.counters["scenes"] = static_cast<double>(set.scenes.size());
  state.counters["build_s"] = set.ms / 1000;
  state.counters["ours_solved"] = a.solved;
  state.counters["common_solved"] = b.solved;
  state.counters["ours_med_ms"] = a.median;
  state.counters["common_med_ms"] = b.median;
  state.counters["speed_ratio"] = b.median / a.median;
  state.counters["cpu_speed_ratio"] = b.cpuMedian / a.cpuMedian;
  state.counters["ours_colliding"] = a.colliding;
  state.counters["common_colliding"] = b.colliding;
  remember_for_tables();
}
BENCHMARK(BM_PlanBoxScenes)->Iterations(1)->Unit(benchmark::kSecond);

// RRTConnect through plan_motion over the scene set, repeated for a steady mean: with the found
// path's clearances measured (state.range(0) = 1), as the command line and the window ask, and
// without, as the other benchmarks and the map plan. Reports the mean time per plan. Last, as
// BM_PlanBoxScenes, for OMPL's process-wide seeds.
void BM_PlanReport(benchmark::State& state) {
  const SceneSet& set = scene_set();
  PlanWorkspace workspace;
  long plans = 0;
  for (auto _ : state) {
    for (size_t k = 0; k < set.scenes.size(); k++) {
      const Scene& s = set.scenes[k];
      PlanRequest request;
      request.start = s.start;
      request.goal = s.goal;
      request.seed = static_cast<unsigned>(1 + k);
      request.measureClearances = state.range(0) != 0;
      PlanResult result;
      plan_motion(s.robot, s.cell, request, workspace, result);
      plans++;
    }
  }
  state.counters["s_per_plan"] = benchmark::Counter(
      static_cast<double>(plans), benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_PlanReport)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

}  // namespace
