#include "app/command_modes.h"

#include <pthread.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cmath>
#include <csignal>
#include <cstring>
#include <memory>
#include <new>
#include <nlohmann/json.hpp>
#include <vector>

#include "app/progress_bar.h"
#include "film/motion_film.h"
#include "ik/poinv.h"
#include "math/angles.h"
#include "math/number_text.h"
#include "model/joint_names.h"
#include "model/robot_catalogue.h"
#include "model/urdf_export.h"
#include "planning/joint_path.h"
#include "planning/trajectory.h"
#include "render/map_picture.h"
#include "task/contact_arm_rules.h"
#include "task/feasibility_map.h"
#include "task/map_shares.h"
#include "task/method_b_run.h"
#include "task/motion/map_evaluation.h"
#include "task/motion/motion_choice.h"
#include "task/placement_trace.h"
#include "task/workcell_file.h"
#include "task/workcell_notes.h"
#include "task/workcell_setup.h"
#include "util/atomic_file.h"

namespace {

using nlohmann::json;

// A fresh scene, zeroed as the program's scene is when it starts; on the heap, for the placement
// list is large.
std::unique_ptr<CommandScene> new_scene() {
  return std::make_unique<CommandScene>();
}

// The robot model of type 1..4 standing at the origin, with the contact arm guessed from the
// wall, as a robot choice and the 'B' key do.
void rebuild_robot(int type, CommandScene& s) {
  robot_setup(type, s.robot);
  s.kin = Kinematics(s.robot);
  guess_contact_arm(s.robot, s.cell.rh, s.methodB.Mcont);
}

// The scene's type, goal (x, y and the underside's height: as given on the command line or in
// the workcell file, so that it reads back exactly) and wall edge (its lower end, and wall_y
// its y alone), as JSON.
json scene_json(const CommandLine& command, const CommandScene& s) {
  const double underside = command.goalGiven            ? command.goal[2]
                           : command.workcell.goalGiven ? command.workcell.goal[2]
                                                        : goal_underside(s.robot, s.cell.rwG);
  return {{"type", s.robot.type},
          {"goal", {s.cell.rwG.x, s.cell.rwG.y, underside}},
          {"wall", {s.cell.rh.x, s.cell.rh.y, s.cell.rh.z}},
          {"wall_y", s.cell.rh.y}};
}

// A number as given on the command line reads: up to 6 significant digits.
std::string shown_number(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%g", value);
  return text;
}

json joints_json(int N, const double q[]) {
  json joints = json::array();
  for (int i = 1; i <= N; i++) joints.push_back(q[i]);
  return joints;
}

// One solution of --solve or --method-b, with the same keys from either. The edge's clearance
// goes out under its old name, `clearance`, which scripts read, and under the name that says what
// it measures.
json solution_json(int N, const double q[], const char* kind, int arm, double clearance,
                   double distanceFromInitial, double positionError, double orientationError) {
  return {{"q", joints_json(N, q)},
          {"kind", kind},
          {"arm", arm},
          {"clearance", clearance},
          {"edge_clearance", clearance},
          {"distance_from_initial", distanceFromInitial},
          {"position_error", positionError},
          {"orientation_error", orientationError}};
}

// The least box clearance of a pose with the nearest box's name (null without boxes).
void add_obstacle_json(const WorkcellClearance& c, const Workcell& cell, json& pose) {
  const bool boxes = c.obstacleIndex >= 0;
  pose["obstacle_clearance"] = boxes ? json(c.obstacle) : json(nullptr);
  pose["nearest_obstacle"] = boxes ? json(nearest_box_name(c, cell)) : json(nullptr);
}

// The same for pose q of the scene (null also without a pose).
void add_obstacle_json(const CommandScene& s, const double q[], json& pose) {
  WorkcellClearance c = {};
  c.obstacleIndex = -1;
  if (q != nullptr) {
    Kinematics workspace(s.robot);
    pose_check(s.robot, s.cell, q, workspace, c);
  }
  add_obstacle_json(c, s.cell, pose);
}

// A pose's verdict in the workcell: whether it is valid, its wall, floor and box clearances
// and whether it touches the wall's edge.
void add_clearance_json(const WorkcellClearance& c, const Workcell& cell, bool touchesEdge,
                        json& pose) {
  pose["valid"] = c.valid != 0;
  pose["wall_clearance"] = c.wall;
  pose["floor_clearance"] = c.floor;
  add_obstacle_json(c, cell, pose);
  pose["touches"] = touchesEdge ? json("edge") : json(nullptr);
}

// A pose against the workcell: its wall, floor and box clearances (the least over the boxes with
// the nearest box's name; null without boxes), whether it touches the wall's edge, and the check
// of the straight motion to it from the initial pose.
void add_workcell_json(const CommandScene& s, const double q[], bool touchesEdge, json& solution) {
  Kinematics workspace(s.robot);
  WorkcellClearance c;
  pose_check(s.robot, s.cell, q, workspace, c);
  MotionCheck straight;
  motion_check(s.robot, s.cell, s.robot.qInit, q, workspace, straight);
  add_clearance_json(c, s.cell, touchesEdge, solution);
  solution["straight_motion"] = {
      {"collides", straight.collides != 0},
      {"first_collision", straight.collides ? json(straight.firstCollision) : json(nullptr)}};
}

// Why pose q is not valid in the scene's workcell, naming what it cuts most, the body and the
// depth: "<pose> cuts into the wall: the workpiece by 0.1500", "<pose> lies below the floor: arm 4
// by 0.0100", "<pose> cuts into 'post': arm 3 by 0.0500". Empty for a valid pose.
std::string pose_cut_reason(const char* pose, const CommandScene& s, const double q[]) {
  Kinematics workspace(s.robot);
  WorkcellClearance c;
  if (pose_check(s.robot, s.cell, q, workspace, c)) return "";
  const WorkcellCut cut = deepest_cut(c);
  const int bodyIndex = cut == kCutBox     ? c.obstacleBody
                        : cut == kCutFloor ? c.floorBody
                                           : c.wallBody;
  const double depth = cut == kCutBox ? -c.obstacle : cut == kCutFloor ? -c.floor : -c.wall;
  char body[16], text[96];
  body_name(bodyIndex, body);
  std::snprintf(text, sizeof text, ": %s%s by %.4f",
                bodyIndex == kBodyHand || bodyIndex == kBodyWorkpiece ? "the " : "", body, depth);
  const std::string what = cut == kCutBox
                               ? "cuts into '" + std::string(nearest_box_name(c, s.cell)) + "'"
                           : cut == kCutFloor ? std::string("lies below the floor")
                                              : std::string("cuts into the wall");
  return std::string(pose) + " " + what + text;
}

// pose_cut_reason for a pose the planner refused, when what it cuts most is one of the scene's
// boxes; otherwise `otherwise`.
std::string box_cut_reason(const char* pose, const CommandScene& s, const double q[],
                           const std::string& otherwise) {
  if (q == nullptr) return otherwise;
  Kinematics workspace(s.robot);
  WorkcellClearance c;
  if (pose_check(s.robot, s.cell, q, workspace, c) || deepest_cut(c) != kCutBox) return otherwise;
  return pose_cut_reason(pose, s, q);
}

void print_json(FILE* out, const json& document) {
  std::fprintf(out, "%s\n", document.dump(2).c_str());
  std::fflush(out);
}

// A scene the dialogs refuse: with --json a document with the type, the goal and the wall as
// given and the reason, so that a script reads every outcome from one shape; then the reason to
// err. Returns 2.
int refuse_scene(const CommandLine& command, const std::string& why, FILE* out, FILE* err) {
  if (command.json) {
    const WorkcellFile& file = command.workcell;
    const bool goal = command.goalGiven || file.goalGiven;
    const bool wall = command.wallGiven || file.wallGiven;
    const double* g = command.goalGiven ? command.goal : file.goal;
    json document = {
        {"type", command.type},
        {"goal", goal ? json({g[0], g[1], g[2]}) : json(nullptr)},
        {"wall_y", wall ? json(command.wallGiven ? command.wallY : file.wallY) : json(nullptr)},
        {"refused", true},
        {"reason", why}};
    print_json(out, document);
  }
  return command_line_error(why, err);
}

// Why the wall dialog refuses a wall for robot type `type`.
std::string wall_too_far(int type) {
  return "wall too far: no arm 2..5 of robot type " + std::to_string(type) + " reaches its edge";
}

// One line per map: of the cells in reach, the shares with a touching pose, with clear poses
// only, blocked by the wall, placeable with a collision-free motion, and solved by Method B.
void print_map_summary(const FeasibilityMap& map, FILE* out) {
  MapShares shares;
  map_shares(map, shares);
  std::fprintf(out,
               "type %d (%s), wall %.3f: %ld goals in reach: touch %.1f %%, clear only %.1f %%, "
               "blocked %.1f %%, placeable with a collision-free motion %.1f %%, Method B final "
               "%.1f %%\n",
               map.type, map.jointLetters, map.wallY, shares.reach, shares.touch, shares.clear,
               shares.blocked, shares.moved, shares.methodB);
}

const char* kind_name(PlacementKind kind) {
  return kind == kPlacementTouch ? "touch" : "clear";
}

// The motion sampled in kMotionSteps steps of equal joint-space length, as a table with the
// joints named as in the robot's description. Returns 1, or 0 with why set.
int write_motion_csv(int N, const JointPath& path, const char* file, std::string& why) {
  JointPath samples;
  sample_path(N, path, kMotionSteps, samples);
  AtomicFile csv;
  if (!atomic_file_open(file, csv, why)) return 0;
  std::fprintf(csv.stream, "step");
  for (int i = 1; i <= N; i++) std::fprintf(csv.stream, ",%s", kJointNames[i]);
  std::fprintf(csv.stream, "\n");
  for (size_t k = 0; k < samples.size(); k++) {
    std::fprintf(csv.stream, "%zu", k);
    for (int i = 1; i <= N; i++) std::fprintf(csv.stream, ",%.17g", samples[k][i]);
    std::fprintf(csv.stream, "\n");
  }
  return atomic_file_commit(csv, why);
}

// Most rows of the timed motion's table: beyond it the limits or the rate are unreasonable.
constexpr double kMaxTrajectoryRows = 1e6;

// Whether the table of the timed motion at `rate` rows a second keeps within kMaxTrajectoryRows;
// why says it when not.
bool trajectory_rows_fit(const Trajectory& trajectory, double rate, std::string& why) {
  if (trajectory.duration * rate < kMaxTrajectoryRows) return true;
  char text[160];
  std::snprintf(text, sizeof text,
                "the motion's %.6g s at %.6g rows a second would take more than a million rows",
                trajectory.duration, rate);
  why = text;
  return false;
}

// Appends the values of joints 1..N, each after a comma, in the C locale, as they read back.
void append_joints(std::string& row, int N, const double values[]) {
  for (int i = 1; i <= N; i++) {
    row += ',';
    append_number(row, values[i], 17);
  }
}

// The timed motion as a table: a row every 1 / rate seconds from 0 (time k / rate, not a running
// sum) while before the duration, then a row at the duration (the goal, at rest); each row the
// time, then the joints' values, speeds and accelerations. Returns 1, or 0 with why set.
int write_trajectory_csv(const Trajectory& trajectory, double rate, const char* file,
                         std::string& why) {
  const int N = trajectory.N;
  AtomicFile csv;
  if (!atomic_file_open(file, csv, why)) return 0;
  std::string row = "time";
  const char* const suffixes[3] = {"", "_velocity", "_acceleration"};
  for (const char* suffix : suffixes)
    for (int i = 1; i <= N; i++) row += std::string(",") + kJointNames[i] + suffix;
  std::fprintf(csv.stream, "%s\n", row.c_str());
  double q[kJointSlots], qd[kJointSlots], qdd[kJointSlots];
  for (long k = 0;; k++) {
    const double t = std::fmin(k / rate, trajectory.duration);
    trajectory_at(trajectory, t, q, qd, qdd);
    row.clear();
    append_number(row, t, 15);
    append_joints(row, N, q);
    append_joints(row, N, qd);
    append_joints(row, N, qdd);
    std::fprintf(csv.stream, "%s\n", row.c_str());
    if (t >= trajectory.duration) break;
  }
  return atomic_file_commit(csv, why);
}

// The goal pose of --plan and its motion. Returns the exit status so far: 0 with a motion, 1
// without (reason set), 2 for a pose number beyond the list (reason set).
struct PlanOutcome {
  const char* source = "complete-solver";
  int index = -1;  // 1-based pose number, or -1
  const double* q = nullptr;
  const char* kind = "clear";
  int arm = 0;
  MotionChoice motion;
  std::string reason;
  // The poses the planner ran toward (0 when none was planned) and the whole search's time.
  int posesPlanned = 0;
  double searchMs = 0;
};

int plan_goal(const CommandLine& command, const PlanRequest& request, CommandScene& s,
              PlanOutcome& o) {
  const RobotModel& robot = s.robot;
  Workcell& cell = s.cell;
  const double* qInit = robot.qInit;
  if (command.planToMethodB) {
    rebuild_robot(robot.type, s);
    MethodBRun run;
    method_b_run(robot, cell, kMethodBMaxSteps, nullptr, s.kin, s.methodB, run);
    o.source = "method-b";
    if (!run.final) {
      o.reason = "Method B reached no final pose";
      return 1;
    }
    o.q = s.methodB.qGoal;
    o.kind = s.methodB.sgnCONTACT == kContactTouches ? "touch" : "clear";
    o.arm = s.methodB.Mcont;
    const std::string cut = pose_cut_reason("Method B's final pose", s, o.q);
    if (!cut.empty()) {
      o.reason = "goal pose invalid: " + cut;
      return 1;
    }
    motion_to_pose(robot, cell, qInit, o.q, request, o.motion);
  } else {
    PlacementResult& result = s.placements;
    placement_solve(robot, cell, qInit, PlacementOptions(), result);
    if (result.count == 0) {
      o.reason = "no valid goal pose: " + placement_reason(result, cell);
      return 1;
    }
    if (command.planIndex > result.count) {
      o.reason = "--to: pose " + std::to_string(command.planIndex) + " is beyond the " +
                 std::to_string(result.count) + " listed";
      return 2;
    }
    if (command.planIndex > 0) {
      motion_to_pose(robot, cell, qInit, result.poses[command.planIndex - 1].q, request, o.motion);
      o.motion.index = command.planIndex - 1;
    } else {
      const auto started = std::chrono::steady_clock::now();
      motion_to_placements(robot, cell, qInit, result, request, o.motion);
      o.searchMs =
          std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - started)
              .count();
      // The straight lines are checked first; the planner then runs toward each pose in turn
      // up to the first it reaches.
      const int listed = std::min(result.count, kMaxPlacements);
      o.posesPlanned = o.motion.how == kMotionPlanned ? o.motion.index + 1
                       : o.motion.how == kMotionNone  ? listed
                                                      : 0;
    }
    const int k = o.motion.index >= 0 ? o.motion.index : 0;
    o.index = k + 1;
    o.q = result.poses[k].q;
    o.kind = kind_name(result.poses[k].kind);
    o.arm = result.poses[k].arm;
  }
  if (o.motion.how == kMotionNone) {
    o.reason = std::string("no path within the limit: ") +
               plan_status_text(o.motion.plan.status, cell.obstacleCount);
    const PlanStatus status = o.motion.plan.status;
    if (status == kPlanStartInvalid)
      o.reason = box_cut_reason("the start pose", s, qInit, o.reason);
    if (status == kPlanGoalInvalid) o.reason = box_cut_reason("the goal pose", s, o.q, o.reason);
    return 1;
  }
  return 0;
}

json plan_json(const CommandLine& command, const CommandScene& s, const PlanOutcome& o) {
  const int N = s.robot.N;
  json document = scene_json(command, s);
  const MotionChoice& m = o.motion;
  json pose = {{"source", o.source},
               {"index", o.index > 0 ? json(o.index) : json(nullptr)},
               {"q", o.q != nullptr ? joints_json(N, o.q) : json(nullptr)},
               {"kind", o.q != nullptr ? json(o.kind) : json(nullptr)},
               {"arm", o.q != nullptr ? json(o.arm) : json(nullptr)}};
  if (o.q != nullptr) {
    Kinematics workspace(s.robot);
    WorkcellClearance c;
    pose_check(s.robot, s.cell, o.q, workspace, c);
    add_clearance_json(c, s.cell, std::strcmp(o.kind, "touch") == 0, pose);
  } else {
    for (const char* field : {"valid", "wall_clearance", "floor_clearance", "touches"})
      pose[field] = nullptr;
    add_obstacle_json(s, nullptr, pose);
  }
  document["goal_pose"] = pose;
  // Without a goal pose there is no straight motion to check, and the planner runs only when
  // the straight motion collides.
  document["straight_motion"] =
      o.q == nullptr
          ? json(nullptr)
          : json({{"collides", m.straight.collides != 0},
                  {"first_collision",
                   m.straight.collides ? json(m.straight.firstCollision) : json(nullptr)}});
  document["how"] = m.how == kMotionStraight  ? json("straight")
                    : m.how == kMotionPlanned ? json("planned")
                                              : json(nullptr);
  const bool plannerRan = o.q != nullptr && m.how != kMotionStraight;
  document["planner"] = plannerRan ? json(command.planner) : json(nullptr);
  document["seed"] = command.seed;
  document["planning_time_ms"] = m.plan.planningMs;
  const bool best = !command.planToMethodB && command.planIndex == 0 && o.q != nullptr;
  document["poses_planned"] = best ? json(o.posesPlanned) : json(nullptr);
  document["search_time_ms"] = best ? json(o.searchMs) : json(nullptr);
  json path = json::array();
  for (const JointVector& q : m.plan.path) path.push_back(joints_json(N, q.data()));
  document["path"] = path;
  const bool found = m.how != kMotionNone;
  document["path_length"] = found ? json(m.plan.length) : json(nullptr);
  document["min_wall_clearance"] = found ? json(m.plan.minWall) : json(nullptr);
  document["min_floor_clearance"] = found ? json(m.plan.minFloor) : json(nullptr);
  document["min_obstacle_clearance"] =
      found && s.cell.obstacleCount > 0 ? json(m.plan.minObstacle) : json(nullptr);
  document["reason"] = o.reason.empty() ? json(nullptr) : json(o.reason);
  return document;
}

// The timed motion's duration, rate and limits, added to --plan's JSON; null without a motion.
void add_trajectory_json(const CommandLine& command, const PlanOutcome& o,
                         const Trajectory& trajectory, json& document) {
  if (o.motion.how == kMotionNone) {
    document["trajectory"] = nullptr;
    return;
  }
  const int N = trajectory.N;
  document["trajectory"] = {{"duration", trajectory.duration},
                            {"rate", command.rate},
                            {"max_velocity", joints_json(N, command.limits.velocity)},
                            {"max_acceleration", joints_json(N, command.limits.acceleration)},
                            {"max_jerk", joints_json(N, command.limits.jerk)}};
}

// A clearance as printed to 4 decimals: those that round to zero print as 0.0000, never -0.0000.
double four_places(double clearance) {
  return std::fabs(clearance) < 0.00005 ? 0.0 : clearance;
}

// The outcome as text; with boxes in the workcell (boxes true) the motion is said free of them
// too, with their least clearance.
void print_plan_text(const CommandLine& command, const PlanOutcome& o, bool boxes, FILE* out) {
  const MotionChoice& m = o.motion;
  if (o.index > 0)
    std::fprintf(out, "goal pose: %d of the complete solver's list (%s, arm %d)\n", o.index, o.kind,
                 o.arm);
  else if (o.q != nullptr)
    std::fprintf(out, "goal pose: Method B's final pose (%s, arm %d)\n", o.kind, o.arm);
  if (m.how == kMotionStraight)
    std::fprintf(out, "motion: the straight joint line, free of the wall and the floor%s\n",
                 boxes ? " and the boxes" : "");
  else if (m.how == kMotionPlanned)
    std::fprintf(out,
                 "motion: planned with %s (seed %u) in %.3f ms, the straight line colliding at "
                 "%.4f of its length\n",
                 command.planner.c_str(), command.seed, m.plan.planningMs,
                 m.straight.firstCollision);
  if (o.posesPlanned > 1)
    std::fprintf(out, "search: planned toward %d poses in %.3f s\n", o.posesPlanned,
                 o.searchMs / 1000);
  if (m.how == kMotionNone) return;
  std::fprintf(out,
               "path: %zu waypoints, length %.4f rad; least clearance from the wall %.4f, "
               "from the floor %.4f",
               m.plan.path.size(), m.plan.length, four_places(m.plan.minWall),
               four_places(m.plan.minFloor));
  if (boxes) std::fprintf(out, ", from the boxes %.4f", four_places(m.plan.minObstacle));
  std::fprintf(out, "\n");
}

// The robot type as the window's label names it, "JTYPE1= RPRPRPR", for the film's caption.
std::string type_title(const CommandScene& s) {
  std::string letters = s.robot.jrtypeText;
  while (!letters.empty() && (letters.back() == '\n' || letters.back() == ' ')) letters.pop_back();
  return "JTYPE" + std::to_string(s.robot.type) + "=" + letters;
}

// The temporary file of the film being written: a signal that ends the program removes it, so
// an interrupted render leaves nothing behind. Empty when none is pending.
char pendingFilm[PATH_MAX + 1];
const int kEndingSignals[3] = {SIGINT, SIGTERM, SIGHUP};

void remove_pending_film(int signal) {
  if (pendingFilm[0] != '\0') unlink(pendingFilm);
  std::signal(signal, SIG_DFL);
  std::raise(signal);
}

// While alive, the ending signals remove `temporary` before the program ends as they would.
class PendingFilm {
 public:
  explicit PendingFilm(const std::string& temporary) {
    if (temporary.empty() || temporary.size() > PATH_MAX) return;
    std::memcpy(pendingFilm, temporary.c_str(), temporary.size() + 1);
    for (int k = 0; k < 3; k++) previous_[k] = std::signal(kEndingSignals[k], remove_pending_film);
  }
  ~PendingFilm() {
    if (pendingFilm[0] == '\0') return;
    for (int k = 0; k < 3; k++) std::signal(kEndingSignals[k], previous_[k]);
    pendingFilm[0] = '\0';
  }
  PendingFilm(const PendingFilm&) = delete;
  PendingFilm& operator=(const PendingFilm&) = delete;

 private:
  void (*previous_[3])(int) = {SIG_DFL, SIG_DFL, SIG_DFL};
};

// The film of the timed motion into command.film, whole or not at all, with a progress bar on
// err when it is a terminal. Returns 1, or 0 with why set.
int write_film_file(const CommandLine& command, const CommandScene& s, const Trajectory& motion,
                    FILE* err, std::string& why) {
  FilmOptions options;
  options.format = command.filmFormat;
  options.fps = command.fps;
  options.width = command.filmWidth;
  options.height = command.filmHeight;
  options.title = type_title(s);
  // The ending signals wait while the temporary file is made and registered, so that none comes
  // between the two.
  sigset_t ending, unblocked;
  sigemptyset(&ending);
  for (int signal : kEndingSignals) sigaddset(&ending, signal);
  pthread_sigmask(SIG_BLOCK, &ending, &unblocked);
  AtomicFile file;
  const int opened = atomic_file_open(command.film.c_str(), file, why);
  const PendingFilm pending(opened ? file.temporary : std::string());
  pthread_sigmask(SIG_SETMASK, &unblocked, nullptr);
  if (!opened) return 0;
  const long frames =
      options.format == kFilmPng ? 1 : film_frame_count(motion.duration, options.fps);
  ProgressBar bar(frames, err, "frames");
  const int written =
      write_film(s.robot, s.cell, motion, options, file.stream, ProgressBar::callback, &bar, why);
  bar.finish();
  if (!written) {
    atomic_file_abandon(file);
    return 0;
  }
  return atomic_file_commit(file, why);
}

// plan_goal with the command's planner, time limit and seed (the process's planning seeded).
int plan_command_goal(const CommandLine& command, CommandScene& s, PlanOutcome& o) {
  PlanRequest request;
  request.planner = command.planner;
  request.timeLimit = command.timeLimit;
  request.seed = command.seed;
  seed_planning_process(command.seed);
  return plan_goal(command, request, s, o);
}

}  // namespace

int run_animate_command(const CommandLine& command, FILE* out, FILE* err) {
  std::string why;
  const std::unique_ptr<CommandScene> s = new_scene();
  if (!command_scene(command, *s, why)) return command_line_error(why, err);
  PlanOutcome outcome;
  const int status = plan_command_goal(command, *s, outcome);
  if (status == 2) return command_line_error(outcome.reason, err);
  if (status == 1) {
    std::fprintf(err, "armsim: no motion to film: %s\n", outcome.reason.c_str());
    std::fflush(err);
    return 1;
  }
  Trajectory motion;
  if (time_trajectory(s->robot.N, outcome.motion.plan.path, command.limits, motion) !=
      kTrajectoryOk)
    return command_line_error("the motion cannot be timed", err);
  if (!write_film_file(command, *s, motion, err, why))
    return command_line_error("--animate: " + why, err);
  print_plan_text(command, outcome, s->cell.obstacleCount > 0, out);
  if (command.filmFormat == kFilmPng)
    std::fprintf(out, "film: %s, the goal pose after %.3f s of motion, %dx%d\n",
                 command.film.c_str(), motion.duration, command.filmWidth, command.filmHeight);
  else
    std::fprintf(out, "film: %s, %ld frames at %d fps of a %.3f s motion, %dx%d\n",
                 command.film.c_str(), film_frame_count(motion.duration, command.fps), command.fps,
                 motion.duration, command.filmWidth, command.filmHeight);
  std::fflush(out);
  return 0;
}

int run_plan_command(const CommandLine& command, FILE* out, FILE* err) {
  std::string why;
  const std::unique_ptr<CommandScene> s = new_scene();
  if (!command_scene(command, *s, why)) return refuse_scene(command, why, out, err);
  PlanOutcome outcome;
  const int status = plan_command_goal(command, *s, outcome);
  if (status == 2) return command_line_error(outcome.reason, err);
  // Timed before any file is written, so that a table too long leaves none.
  Trajectory trajectory;
  if (status == 0 && (command.timingGiven || command.json) &&
      time_trajectory(s->robot.N, outcome.motion.plan.path, command.limits, trajectory) !=
          kTrajectoryOk)
    return command_line_error("the motion cannot be timed", err);
  if (status == 0 && !command.trajectory.empty() &&
      !trajectory_rows_fit(trajectory, command.rate, why))
    return command_line_error("--trajectory: " + why, err);
  if (status == 0 && !command.csv.empty() &&
      !write_motion_csv(s->robot.N, outcome.motion.plan.path, command.csv.c_str(), why))
    return command_line_error("--csv: " + why, err);
  if (status == 0 && !command.trajectory.empty() &&
      !write_trajectory_csv(trajectory, command.rate, command.trajectory.c_str(), why))
    return command_line_error("--trajectory: " + why, err);
  if (command.json) {
    json document = plan_json(command, *s, outcome);
    add_trajectory_json(command, outcome, trajectory, document);
    print_json(out, document);
  } else {
    print_plan_text(command, outcome, s->cell.obstacleCount > 0, out);
    if (status == 0 && command.timingGiven)
      std::fprintf(out, "timed motion: %.3f s, at rest at every corner%s%s\n", trajectory.duration,
                   command.trajectory.empty() ? "" : "; table: ", command.trajectory.c_str());
  }
  std::fflush(out);
  if (status != 0) {
    std::fprintf(err, "armsim: %s\n", outcome.reason.c_str());
    std::fflush(err);
  }
  return status;
}

int run_solve_command(const CommandLine& command, FILE* out, FILE* err) {
  std::string why;
  const std::unique_ptr<CommandScene> s = new_scene();
  if (!command_scene(command, *s, why)) return refuse_scene(command, why, out, err);
  const PlacementOptions options;
  PlacementResult& result = s->placements;
  placement_solve(s->robot, s->cell, s->robot.qInit, options, result);
  if (command.json) {
    json document = scene_json(command, *s);
    json solutions = json::array();
    for (int k = 0; k < result.count; k++) {
      const PlacementPose& p = result.poses[k];
      json solution = solution_json(s->robot.N, p.q, kind_name(p.kind), p.arm, p.edgeClearance,
                                    p.distanceFromInitial, p.positionError, p.orientationError);
      add_workcell_json(*s, p.q, p.kind == kPlacementTouch, solution);
      solutions.push_back(solution);
    }
    document["solutions"] = solutions;
    document["reason"] = result.count > 0 ? json(nullptr) : json(placement_reason(result, s->cell));
    print_json(out, document);
  } else {
    print_placement_table(result, s->cell, out);
  }
  if (result.count == 0) {
    std::fprintf(err, "armsim: no solution: %s\n", placement_reason(result, s->cell).c_str());
    std::fflush(err);
  }
  return result.count > 0 ? 0 : 1;
}

int command_scene(const CommandLine& command, CommandScene& s, std::string& why) {
  // The start-up scene first, as the window builds it: type 1, then the type chosen.
  robot_setup(1, s.robot);
  s.kin = Kinematics(s.robot);
  start_workcell(s.robot, s.cell);
  s.methodB.Mcont = kStartupContactArm;
  method_b_reset(s.methodB);
  if (command.typeGiven) rebuild_robot(command.type, s);
  const int type = s.robot.type;
  if (!apply_workcell_file(command.workcell, s.robot, s.cell, s.methodB.Mcont, why)) return 0;
  if (command.goalGiven) {
    s.cell.rwG = goal_centre(s.robot, command.goal[0], command.goal[1], command.goal[2]);
    double LL1, LL2;
    const bool inReach = goal_reach(s.robot, s.cell.EwG, s.cell.rwG, LL1, LL2);
    if (!inReach && command.goal[2] < 0) {
      why = "goal below the floor: the workpiece's underside at z = " +
            shown_number(command.goal[2]) + " (out of reach for robot type " +
            std::to_string(type) + ")";
      return 0;
    }
    if (!inReach) {
      why = "goal out of reach for robot type " + std::to_string(type) + " (distance " +
            std::to_string(LL1) + " > reach " + std::to_string(LL2) + ")";
      return 0;
    }
  }
  if (command.wallGiven) {
    const Vec3 rh = {s.cell.rh.x, command.wallY, s.cell.rh.z};
    if (!wall_accepted(s.robot, rh, s.methodB.Mcont)) {
      why = wall_too_far(type);
      return 0;
    }
    s.cell.rh = rh;
  }
  qcopy(s.robot.N, s.robot.qInit, s.methodB.qr);
  return 1;
}

int run_method_b_command(const CommandLine& command, FILE* out, FILE* err) {
  std::string why;
  const std::unique_ptr<CommandScene> scene = new_scene();
  CommandScene& s = *scene;
  if (!command_scene(command, s, why)) return refuse_scene(command, why, out, err);
  // As the 'B' key does: the model rebuilt and the contact arm guessed, then the steps.
  rebuild_robot(s.robot.type, s);
  const RobotModel& robot = s.robot;
  const Workcell& cell = s.cell;
  const MethodBState& state = s.methodB;
  MethodBRun run;
  method_b_run(robot, s.cell, command.maxSteps, command.json ? nullptr : out, s.kin, s.methodB,
               run);
  // A final pose that cuts the workcell is no success: Method B finished, but a script must not
  // take the pose.
  const std::string reason =
      run.final   ? pose_cut_reason("Method B's final pose", s, state.qGoal)
      : run.stuck ? "Method B cannot progress: a pair of steps leaves its pose as it was"
                  : "Method B reached no final pose within the step limit";
  if (command.json) {
    json document = scene_json(command, s);
    json solutions = json::array();
    if (run.final) {
      const double* q = state.qGoal;
      const bool touch = state.sgnCONTACT == kContactTouches;
      json solution =
          solution_json(robot.N, q, touch ? "touch" : "clear", state.Mcont, state.gapArm,
                        joint_distance(robot.N, q, robot.qInit),
                        pos_error(robot, cell.rwG, q, s.kin), ori_error(robot, cell.EwG, q, s.kin));
      add_workcell_json(s, q, touch, solution);
      solutions.push_back(solution);
    }
    document["solutions"] = solutions;
    document["reason"] = reason.empty() ? json(nullptr) : json(reason);
    document["steps"] = run.steps;
    document["final"] = run.final;
    print_json(out, document);
  } else {
    std::fprintf(out, "\n");
    std::fflush(out);
  }
  if (reason.empty()) return 0;
  std::fprintf(err, "armsim: %s\n", reason.c_str());
  std::fflush(err);
  return 1;
}

int run_map_command(const CommandLine& command, FILE* out, FILE* err) {
  const WorkcellFile& file = command.workcell;
  const double wallY = command.wallGiven ? command.wallY
                       : file.wallGiven  ? file.wallY
                                         : kDefaultWallY;
  const int first = command.allTypes ? 1 : (command.typeGiven ? command.type : 1);
  const int last = command.allTypes ? kRobotTypes : first;
  std::vector<FeasibilityMap> maps(last - first + 1);
  for (int type = first; type <= last; type++) {
    RobotModel model;
    robot_setup(type, model);
    int arm;
    if (!wall_accepted(model, {0, wallY, 0}, arm)) {
      const std::string why = wall_too_far(type);
      return command_line_error(file.wallGiven ? file.source + ": " + why : why, err);
    }
    if (!map_grid(type, wallY, command.step, maps[type - first]))
      return command_line_error("the map's grid cannot be built with this step", err);
    maps[type - first].boxes.assign(file.obstacles, file.obstacles + file.obstacleCount);
  }
  const int count = static_cast<int>(maps.size());
  ProgressBar bar(map_pending_cells(maps.data(), count), err);
  const int evaluated = evaluate_maps(maps.data(), count, evaluate_map_cell, command.threads,
                                      ProgressBar::callback, &bar);
  bar.finish();
  if (!evaluated) return command_line_error("the map's evaluation failed", err);
  std::string why;
  if (!write_map_png(maps.data(), count, file.obstacles, file.obstacleCount, command.out.c_str(),
                     &why))
    return command_line_error("--out: " + why, err);
  if (!command.csv.empty() && !write_map_csv(maps.data(), count, command.csv.c_str(), &why))
    return command_line_error("--csv: " + why, err);
  for (const FeasibilityMap& map : maps) print_map_summary(map, out);
  std::fprintf(out, "picture: %s%s%s\n", command.out.c_str(),
               command.csv.empty() ? "" : ", table: ", command.csv.c_str());
  std::fflush(out);
  return 0;
}

int run_urdf_command(const CommandLine& command, FILE* out, FILE* err) {
  std::string why;
  const std::unique_ptr<CommandScene> s = new_scene();
  if (!command_scene(command, *s, why)) return command_line_error(why, err);
  const std::string name = "armsim_type" + std::to_string(s->robot.type);
  std::string text;
  try {
    const int written = command.scene ? workcell_urdf(s->robot, name.c_str(), s->cell, text, why)
                                      : robot_urdf(s->robot, name.c_str(), nullptr, text, why);
    if (!written) return command_line_error("the robot cannot be written as URDF: " + why, err);
  } catch (const std::bad_alloc&) {
    return command_line_error("not enough memory for the URDF", err);
  }
  if (command.out.empty()) {
    errno = 0;
    if (std::fwrite(text.data(), 1, text.size(), out) != text.size() || std::fflush(out) != 0)
      return command_line_error(
          std::string("cannot write the URDF: ") + std::strerror(errno != 0 ? errno : EIO), err);
    return 0;
  }
  if (!atomic_file_write(command.out.c_str(), text, why))
    return command_line_error("--out: " + why, err);
  return 0;
}

int run_command(const CommandLine& command, FILE* out, FILE* err) {
  switch (command.mode) {
    case kModeSolve:
      return run_solve_command(command, out, err);
    case kModeMethodB:
      return run_method_b_command(command, out, err);
    case kModeMap:
      return run_map_command(command, out, err);
    case kModePlan:
      return run_plan_command(command, out, err);
    case kModeUrdf:
      return run_urdf_command(command, out, err);
    case kModeAnimate:
      return run_animate_command(command, out, err);
    default:
      return -1;
  }
}
