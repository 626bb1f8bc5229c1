#include "planning/motion_plan.h"

#include <ompl/base/MotionValidator.h>
#include <ompl/base/SpaceInformation.h>
#include <ompl/base/StateSampler.h>
#include <ompl/base/StateValidityChecker.h>
#include <ompl/geometric/SimpleSetup.h>
#include <ompl/geometric/planners/est/EST.h>
#include <ompl/geometric/planners/fmt/FMT.h>
#include <ompl/geometric/planners/kpiece/BKPIECE1.h>
#include <ompl/geometric/planners/kpiece/KPIECE1.h>
#include <ompl/geometric/planners/kpiece/LBKPIECE1.h>
#include <ompl/geometric/planners/prm/LazyPRM.h>
#include <ompl/geometric/planners/prm/PRM.h>
#include <ompl/geometric/planners/prm/PRMstar.h>
#include <ompl/geometric/planners/rrt/BiTRRT.h>
#include <ompl/geometric/planners/rrt/LazyRRT.h>
#include <ompl/geometric/planners/rrt/RRT.h>
#include <ompl/geometric/planners/rrt/RRTConnect.h>
#include <ompl/geometric/planners/rrt/RRTstar.h>
#include <ompl/geometric/planners/rrt/TRRT.h>
#include <ompl/geometric/planners/sbl/SBL.h>
#include <ompl/geometric/planners/stride/STRIDE.h>
#include <ompl/util/Console.h>
#include <ompl/util/RandomNumbers.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>

#include "math/angles.h"
#include "model/forward_kinematics.h"
#include "planning/joint_path.h"
#include "planning/joint_space.h"
#include "planning/path_shortcut.h"

namespace ob = ompl::base;
namespace og = ompl::geometric;

namespace {

using Clock = std::chrono::steady_clock;

// Segment checks the shortcuts of a found path may make.
constexpr int kShortcutChecks = 16;

// Samplers a plan workspace keeps for its next plans.
constexpr unsigned kPooledSamplers = 4;

double ms_since(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// An angle as an SO2 state holds it: within OMPL's bounds, which use the library's pi, a hair
// under the program's PI (a value between the two would be out of bounds, and a goal there
// never accepted).
double so2_value(double angle) {
  return wrap_library_turn(angle);
}

void to_joints(int N, const ob::State* state, double q[]) {
  const double* s = joint_values(state);
  q[0] = 0;
  for (int i = 1; i <= N; i++) q[i] = s[i - 1];
  for (int i = N + 1; i < kJointSlots; i++) q[i] = 0;
}

void from_joints(int N, const double q[], ob::State* state) {
  double* s = joint_values(state);
  for (int i = 1; i <= N; i++) s[i - 1] = so2_value(q[i]);
}

// What the checks share: the robot, the workcell, a kinematic workspace and their tallies. The
// pose tallies are atomic: the budget reads them from a planner's own threads (PRM checks for a
// solution on a thread of its own while it grows its roadmap).
struct CheckContext {
  const RobotModel* robot = nullptr;
  const Workcell* cell = nullptr;
  Kinematics kin;
  QuarterTurns turns;  // the robot's, for the segment checks' kinematics
  std::atomic<long> poses{0};
  long motions = 0;
  std::atomic<long> motionPoses{0};  // poses the segment checks evaluated
  double ms = 0;

  // Ready for a plan of robot in cell: the tallies at zero.
  void start(const RobotModel& planRobot, const Workcell& planCell) {
    robot = &planRobot;
    cell = &planCell;
    kin = Kinematics(planRobot);
    quarter_turns(planRobot, turns);
    poses = 0;
    motions = 0;
    motionPoses = 0;
    ms = 0;
  }
};

class PoseValidity : public ob::StateValidityChecker {
 public:
  PoseValidity(const ob::SpaceInformationPtr& si, CheckContext& context)
      : ob::StateValidityChecker(si), context_(context) {}

  bool isValid(const ob::State* state) const override {
    const Clock::time_point start = Clock::now();
    double q[kJointSlots];
    to_joints(context_.robot->N, state, q);
    const int valid = pose_valid(*context_.robot, *context_.cell, q, context_.kin);
    context_.poses++;
    context_.ms += ms_since(start);
    return valid != 0;
  }

 private:
  CheckContext& context_;
};

// The workcell's certified segment check on the SO2 interpolation (each joint the short way).
class CertifiedMotion : public ob::MotionValidator {
 public:
  CertifiedMotion(const ob::SpaceInformationPtr& si, CheckContext& context)
      : ob::MotionValidator(si), context_(context) {}

  // Among boxes a motion a planner tries often ends inside one, or passes through one half way:
  // the check of that one pose then settles it, before the steps that would creep up to the box.
  // Without boxes it does not pay.
  bool checkMotion(const ob::State* s1, const ob::State* s2) const override {
    MotionVerdict verdict;
    double a[kJointSlots], b[kJointSlots];
    if (context_.cell->obstacleCount > 0 && (!probe_valid(s1, s2, 1) || !probe_valid(s1, s2, 0.5)))
      return false;
    return run(s1, s2, a, b, verdict);
  }

  // A motion that collides reports the last pose the check found clear of contact before the
  // collision, which KPIECE1 and its kin add to their trees: it and every pose before it are
  // certified valid, and it does not sit at the contact band's limit, where every motion towards
  // the obstacle would stop at once. Without such a pose the start is reported, at fraction 0.
  bool checkMotion(const ob::State* s1, const ob::State* s2,
                   std::pair<ob::State*, double>& lastValid) const override {
    MotionVerdict verdict;
    double a[kJointSlots], b[kJointSlots];
    if (run(s1, s2, a, b, verdict)) return true;
    const double t = std::fmax(0.0, verdict.lastFree);
    lastValid.second = t;
    if (lastValid.first != nullptr) {
      double q[kJointSlots] = {};
      for (int i = 1; i <= context_.robot->N; i++) q[i] = a[i] + t * (b[i] - a[i]);
      from_joints(context_.robot->N, q, lastValid.first);
    }
    return false;
  }

 private:
  // Checks the motion from s1 to s2, the joints' path a + t (b - a) written to a and b.
  bool run(const ob::State* s1, const ob::State* s2, double a[], double b[],
           MotionVerdict& check) const {
    const Clock::time_point start = Clock::now();
    const int N = context_.robot->N;
    to_joints(N, s1, a);
    to_joints(N, s2, b);
    for (int i = 1; i <= N; i++) b[i] = a[i] + wrap_angle(b[i] - a[i]);
    motion_verdict(*context_.robot, context_.turns, *context_.cell, a, b, context_.kin, check);
    context_.motions++;
    context_.motionPoses += check.poses;
    context_.ms += ms_since(start);
    if (check.collides)
      invalid_++;
    else
      valid_++;
    return !check.collides;
  }

  // Whether the pose at fraction t of the motion from s1 to s2 is valid, tallied as a motion
  // that evaluated one pose.
  bool probe_valid(const ob::State* s1, const ob::State* s2, double t) const {
    const Clock::time_point start = Clock::now();
    const int N = context_.robot->N;
    double q[kJointSlots], b[kJointSlots];
    to_joints(N, s1, q);
    to_joints(N, s2, b);
    for (int i = 1; i <= N; i++) q[i] += t * wrap_angle(b[i] - q[i]);
    const int valid = pose_valid(*context_.robot, *context_.cell, q, context_.kin);
    context_.motions++;
    context_.motionPoses++;
    context_.ms += ms_since(start);
    if (!valid) invalid_++;
    return valid != 0;
  }

  CheckContext& context_;
};

// Uniform and local samples of the joints from a generator seeded by the request, so that a
// seed gives the same samples in every call and on every thread.
class SeededJointSampler : public ob::StateSampler {
 public:
  SeededJointSampler(const ob::StateSpace* space, unsigned seed) : ob::StateSampler(space) {
    rng_.setLocalSeed(seed);
  }

  // The samples of a new sampler of this seed (the generator's cached values dropped too).
  void reseed(unsigned seed) { rng_.setLocalSeed(seed); }

  void sampleUniform(ob::State* state) override {
    double* s = joint_values(state);
    for (unsigned i = 0; i < space_->getDimension(); i++)
      s[i] = rng_.uniformReal(-kLibraryPi, kLibraryPi);
  }

  void sampleUniformNear(ob::State* state, const ob::State* near, double distance) override {
    sample_around(state, near, [&](double) { return rng_.uniformReal(-distance, distance); });
  }

  void sampleGaussian(ob::State* state, const ob::State* mean, double stdDev) override {
    sample_around(state, mean, [&](double) { return rng_.gaussian(0, stdDev); });
  }

 private:
  void sample_around(ob::State* state, const ob::State* centre,
                     const std::function<double(double)>& offset) {
    double* s = joint_values(state);
    const double* c = joint_values(centre);
    for (unsigned i = 0; i < space_->getDimension(); i++) s[i] = so2_value(c[i] + offset(c[i]));
  }
};

using PlannerFactory = ob::PlannerPtr (*)(const ob::SpaceInformationPtr&);

template <class Planner>
ob::PlannerPtr make(const ob::SpaceInformationPtr& si) {
  return std::make_shared<Planner>(si);
}

struct NamedPlanner {
  const char* name;
  PlannerFactory factory;
};

const NamedPlanner kPlanners[] = {
    {"RRTConnect", make<og::RRTConnect>},
    {"RRT", make<og::RRT>},
    {"BiTRRT", make<og::BiTRRT>},
    {"TRRT", make<og::TRRT>},
    {"LazyRRT", make<og::LazyRRT>},
    {"RRTstar", make<og::RRTstar>},
    {"KPIECE1", make<og::KPIECE1>},
    {"BKPIECE1", make<og::BKPIECE1>},
    {"LBKPIECE1", make<og::LBKPIECE1>},
    {"PRM", make<og::PRM>},
    {"PRMstar", make<og::PRMstar>},
    {"LazyPRM", make<og::LazyPRM>},
    {"EST", make<og::EST>},
    {"SBL", make<og::SBL>},
    {"STRIDE", make<og::STRIDE>},
    {"FMT", make<og::FMT>},
};

PlannerFactory find_planner(const std::string& name) {
  for (const NamedPlanner& p : kPlanners)
    if (name == p.name) return p.factory;
  return nullptr;
}

bool finite_joints(int N, const JointVector& q) {
  for (int i = 1; i <= N; i++)
    if (!std::isfinite(q[i])) return false;
  return true;
}

// The OMPL path as unwrapped waypoints from the request's start: each step the short way round,
// as the SO2 interpolation moves.
void unwrap_path(int N, const og::PathGeometric& geometric, const JointVector& start,
                 JointPath& path) {
  path.assign(1, start);
  double prev[kJointSlots];
  to_joints(N, geometric.getState(0), prev);
  for (size_t k = 1; k < geometric.getStateCount(); k++) {
    double q[kJointSlots];
    to_joints(N, geometric.getState(k), q);
    JointVector next = path.back();
    for (int i = 1; i <= N; i++) next[i] += wrap_angle(q[i] - prev[i]);
    path.push_back(next);
    for (int i = 1; i <= N; i++) prev[i] = q[i];
  }
}

void quiet_ompl() {
  static std::once_flag once;
  std::call_once(once, [] { ompl::msg::setLogLevel(ompl::msg::LOG_NONE); });
}

}  // namespace

struct PlanWorkspace::Parts {
  CheckContext context;
  int N = 0;                        // the joints the space was built for (0: none yet)
  unsigned seed = 0, samplers = 0;  // the plan's seed, and the samplers seeded from it so far
  // The samplers handed out in the last plans, in order: one that its planner let go is seeded
  // anew instead of built again (its generator's state is large).
  std::vector<std::shared_ptr<SeededJointSampler>> samplerPool;
  std::shared_ptr<JointSpace> space;
  ob::SpaceInformationPtr si;
  std::string plannerName;
  ob::PlannerPtr planner;  // the last planner, or null
};

PlanWorkspace::PlanWorkspace() : parts(std::make_unique<Parts>()) {}

PlanWorkspace::~PlanWorkspace() = default;

namespace {

// The plan's next sampler, seeded from the plan's seed and its place among the plan's samplers.
std::shared_ptr<SeededJointSampler> next_sampler(const ob::StateSpace* space,
                                                 PlanWorkspace::Parts& p) {
  const unsigned k = p.samplers++;
  const unsigned seed = p.seed + k;
  if (k < p.samplerPool.size() && p.samplerPool[k].use_count() == 1) {
    p.samplerPool[k]->reseed(seed);
    return p.samplerPool[k];
  }
  auto sampler = std::make_shared<SeededJointSampler>(space, seed);
  if (k == p.samplerPool.size() && k < kPooledSamplers) p.samplerPool.push_back(sampler);
  return sampler;
}

// The joint space of N joints with the workcell's checks; samplers seeded from the plan's seed.
void build_space(int N, PlanWorkspace::Parts& p) {
  p.N = 0;
  p.planner.reset();
  p.samplerPool.clear();
  p.space = std::make_shared<JointSpace>(N);
  p.space->setStateSamplerAllocator([&p](const ob::StateSpace* s) { return next_sampler(s, p); });
  p.si = std::make_shared<ob::SpaceInformation>(p.space);
  p.si->setStateValidityChecker(std::make_shared<PoseValidity>(p.si, p.context));
  p.si->setMotionValidator(std::make_shared<CertifiedMotion>(p.si, p.context));
  p.si->setup();
  p.N = N;
}

// The request's planner on the problem from `from` to `to`: the last one cleared when it is the
// same RRTConnect, which clear() leaves as new; else a new one (other planners keep random
// generators or grids of their own from plan to plan).
void set_planner(const std::string& name, PlannerFactory factory, const ob::ScopedState<>& from,
                 const ob::ScopedState<>& to, PlanWorkspace::Parts& p) {
  if (p.planner && p.plannerName == name && name == "RRTConnect") {
    p.planner->clear();
  } else {
    p.planner = factory(p.si);
    p.plannerName = name;
  }
  const auto pdef = std::make_shared<ob::ProblemDefinition>(p.si);
  pdef->setStartAndGoalStates(from, to);
  p.planner->setProblemDefinition(pdef);
  if (!p.planner->isSetup()) p.planner->setup();
}

}  // namespace

PlanStatus plan_motion(const RobotModel& robot, const Workcell& cell, const PlanRequest& request,
                       PlanWorkspace& workspace, PlanResult& result) {
  result = PlanResult();
  const int N = robot.N;
  if (!finite_joints(N, request.start) || !finite_joints(N, request.goal) ||
      !(request.timeLimit > 0) || !(request.timeLimit <= kMaxTimeLimit))
    return result.status = kPlanBadInput;
  const PlannerFactory factory = find_planner(request.planner);
  if (factory == nullptr) return result.status = kPlanUnknownPlanner;
  quiet_ompl();

  PlanWorkspace::Parts& p = *workspace.parts;
  CheckContext& context = p.context;
  context.start(robot, cell);
  WorkcellClearance c;
  if (!pose_check(robot, cell, request.start.data(), context.kin, c))
    return result.status = kPlanStartInvalid;
  if (!pose_check(robot, cell, request.goal.data(), context.kin, c))
    return result.status = kPlanGoalInvalid;

  const Clock::time_point start = Clock::now();
  try {
    if (p.N != N) build_space(N, p);
    p.seed = request.seed;
    p.samplers = 0;
    ob::ScopedState<> from(p.space), to(p.space);
    from_joints(N, request.start.data(), from.get());
    from_joints(N, request.goal.data(), to.get());
    set_planner(request.planner, factory, from, to, p);
    // A deadline read in the planner's own loop: no timer thread.
    const Clock::time_point deadline =
        start + std::chrono::duration_cast<Clock::duration>(
                    std::chrono::duration<double>(request.timeLimit));
    const long budget = request.maxPoseChecks;
    const ob::PlannerTerminationCondition ptc([deadline, budget, &context] {
      return Clock::now() >= deadline ||
             (budget > 0 && context.poses + context.motionPoses >= budget);
    });
    const ob::PlannerStatus solved = p.planner->solve(ptc);
    if (solved != ob::PlannerStatus::EXACT_SOLUTION) {
      result.status = kPlanNoPath;
    } else {
      const ob::PathPtr found = p.planner->getProblemDefinition()->getSolutionPath();
      JointPath raw;
      unwrap_path(N, *found->as<og::PathGeometric>(), request.start, raw);
      result.path = raw;
      ShortcutTally tally;
      shortcut_path(robot, cell, kShortcutChecks, result.path, context.kin, tally);
      context.motions += tally.checks;
      context.motionPoses += tally.poses;
      // The shortened path certified again, by the full check where its clearances are to be
      // measured, else its segments that the shortcuts did not certify as they stand; should
      // it fail, the planner's own path is kept.
      certify_or_fall_back(robot, cell, raw, request.measureClearances, tally.certified,
                           result.path, context.kin, result.minWall, result.minFloor,
                           result.minObstacle);
      result.status = result.path.empty() ? kPlanNoPath : kPlanFound;
    }
  } catch (const std::exception& error) {
    result.status = kPlanPlannerError;
    result.message = error.what();
    result.path.clear();
    p.planner.reset();  // in whatever state the error left it, and the space built anew
    p.N = 0;
  }
  result.planningMs = ms_since(start);
  result.length = path_length(N, result.path);
  result.validityChecks = context.poses;
  result.motionChecks = context.motions;
  result.motionPoses = context.motionPoses;
  result.checkMs = context.ms;
  return result.status;
}

PlanStatus plan_motion(const RobotModel& robot, const Workcell& cell, const PlanRequest& request,
                       PlanResult& result) {
  PlanWorkspace workspace;
  return plan_motion(robot, cell, request, workspace, result);
}

int planner_motion_check(const RobotModel& robot, const Workcell& cell, const JointVector& a,
                         const JointVector& b, JointVector& lastValid, double& fraction) {
  const int N = robot.N;
  PlanWorkspace workspace;
  PlanWorkspace::Parts& p = *workspace.parts;
  p.context.start(robot, cell);
  build_space(N, p);
  ob::ScopedState<> from(p.space), to(p.space), last(p.space);
  from_joints(N, a.data(), from.get());
  from_joints(N, b.data(), to.get());
  std::pair<ob::State*, double> reported(last.get(), -1);
  const bool free = p.si->getMotionValidator()->checkMotion(from.get(), to.get(), reported);
  fraction = free ? 1 : reported.second;
  to_joints(N, free ? to.get() : last.get(), lastValid.data());
  return free;
}

bool planner_known(const std::string& name) {
  return find_planner(name) != nullptr;
}

std::string planner_names() {
  std::string names;
  for (const NamedPlanner& p : kPlanners)
    names += (names.empty() ? "" : ", ") + std::string(p.name);
  return names;
}

void seed_planning_process(unsigned seed) {
  static std::once_flag once;
  std::call_once(once, [seed] {
    quiet_ompl();
    ompl::RNG::setSeed(seed);
  });
}

const char* plan_status_text(PlanStatus status, int boxes) {
  switch (status) {
    case kPlanFound:
      return "a collision-free motion was found";
    case kPlanNoPath:
      return "no collision-free motion was found within the time limit";
    case kPlanStartInvalid:
      return boxes > 0 ? "the start pose cuts into the wall, the floor or a box"
                       : "the start pose cuts into the wall or the floor";
    case kPlanGoalInvalid:
      return boxes > 0 ? "the goal pose cuts into the wall, the floor or a box"
                       : "the goal pose cuts into the wall or the floor";
    case kPlanUnknownPlanner:
      return "no planner of that name";
    case kPlanBadInput:
      return "a joint value is no number, or the time limit is not positive or above a day";
    case kPlanPlannerError:
      return "the planner failed";
  }
  return "unknown planning status";
}
