// The workcell as the command line reports it: --solve lists only poses the workcell admits, a
// goal whose workpiece cuts in is refused with the reason, Method B names a final pose below the
// floor, and the JSON of --solve and --method-b reads back whole. Every verdict comes from the
// independent judge (tests/workcell_judge.h): its own forward kinematics and distances, and a
// dense sample of the straight motion from the initial pose.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <nlohmann/json.hpp>
#include <random>
#include <sstream>
#include <string>

#include "app/command_modes.h"
#include "console_capture.h"
#include "model/robot_catalogue.h"
#include "support.h"
#include "workcell_judge.h"

namespace {

using nlohmann::json;

// A scene as the command line gives it: the goal is the workpiece's underside.
struct Case {
  int type;
  bool goalGiven;
  double goal[3];
  bool wallGiven;
  double wallY;
};

// The start-up scene's goal (underside on the floor) and wall edge.
constexpr double kStartGoal[3] = {-0.6, 2.2, 0};
constexpr double kStartWallY = 1.3;
// The goal orientation: the workpiece put down from above.
const judge::Rot kDown = {{1, 0, 0, 0, -1, 0, 0, 0, -1}};
// Half the workpiece's height: the goal centre stands this far above the underside.
constexpr double kHalfHeight = 0.1;
constexpr double kBand = 1e-5;  // clearances down to minus this count as touching

Case given(int type, double x, double y, double z, double wallY) {
  return {type, true, {x, y, z}, true, wallY};
}

std::string describe(const Case& c) {
  std::ostringstream s;
  s.precision(17);
  s << "--type " << c.type;
  if (c.goalGiven) s << " --goal " << c.goal[0] << ' ' << c.goal[1] << ' ' << c.goal[2];
  if (c.wallGiven) s << " --wall " << c.wallY;
  return s.str();
}

struct Output {
  int status;
  std::string out, err;
};

Output run(const Case& c, CommandMode mode, bool asJson) {
  CommandLine command;
  command.mode = mode;
  command.type = c.type;
  command.typeGiven = true;
  command.goalGiven = c.goalGiven;
  for (int k = 0; k < 3; k++) command.goal[k] = c.goal[k];
  command.wallGiven = c.wallGiven;
  command.wallY = c.wallY;
  command.json = asJson;
  CapturedStream out, err;
  const int status = run_command(command, out.stream(), err.stream());
  return {status, out.text(), err.text()};
}

const double* goal_of(const Case& c) {
  return c.goalGiven ? c.goal : kStartGoal;
}
Vec3 wall_of(const Case& c) {
  return {0, c.wallGiven ? c.wallY : kStartWallY, 0};
}
judge::P goal_centre(const Case& c) {
  const double* g = goal_of(c);
  return {g[0], g[1], g[2] + kHalfHeight};
}

RobotModel model_of(int type) {
  RobotModel model;
  robot_setup(type, model);
  return model;
}

double least(const judge::Verdict& v) {
  return std::min(v.wall, v.floor);
}

// The height of the box's lowest corner: its clearance from the floor.
double lowest_corner(const judge::Box& box) {
  double lowest = INFINITY;
  for (int i = 0; i < 8; i++) {
    judge::P corner = box.c;
    for (int k = 0; k < 3; k++)
      corner = corner + (((i >> k) & 1 ? 1 : -1) * box.h[k]) * box.axis[k];
    lowest = std::min(lowest, corner.z);
  }
  return lowest;
}

// The signed clearance of tube a..b from the wall's free edge, the ray x = rh.x, y = rh.y,
// z >= rh.z with the half-plate behind it: the distance less the radius, or for a tube crossing
// the half-plate minus (radius + how far behind the edge it crosses).
double edge_clearance(judge::P a, judge::P b, double r, const Vec3& rh) {
  const double ha = a.y - rh.y, hb = b.y - rh.y;
  if (ha * hb <= 0 && ha != hb) {
    const judge::P x = a + (ha / (ha - hb)) * (b - a);
    if (x.x <= rh.x && x.z >= rh.z) return -(r + (rh.x - x.x));
  }
  return judge::convex_min([&](double t) {
           const judge::P p = a + t * (b - a);
           return judge::norm(p - judge::P{rh.x, rh.y, std::max(p.z, rh.z)});
         }) -
         r;
}

// The hand and the workpiece held at the goal: the bodies no pose can move. Their least wall
// and floor clearances by the judge.
judge::Verdict held_at_goal(const RobotModel& model, const Case& c) {
  judge::Pose f;
  f.work = goal_centre(c);
  f.Ew = kDown;
  // Joint 7's frame is Ew EwLoc^T; the hand reaches rwLoc in it.
  judge::Rot handFrame;
  for (int i = 0; i < 3; i++)
    for (int j = 0; j < 3; j++) handFrame.m[3 * i + j] = model.EwLoc.m[3 * j + i];
  handFrame = judge::mul(kDown, handFrame);
  const judge::P joint7 = f.work - judge::apply(handFrame, judge::of(model.rwLoc));
  const judge::Plate plate = judge::plate_of(wall_of(c));
  const judge::Box box = judge::work_box(model, f);
  const double boxWall = judge::box_plate(box, plate);
  judge::Verdict v;
  v.wall = std::min(judge::tube_plate(joint7, f.work, model.linkRadius, plate),
                    boxWall > 0 ? boxWall : -judge::box_overlap_bound(box, plate));
  v.floor = std::min(joint7.z, f.work.z) - model.linkRadius;
  v.floor = std::min(v.floor, lowest_corner(box));
  return v;
}

void read_joints(const json& pose, double q[kJointSlots]) {
  for (int k = 0; k < kJointSlots; k++) q[k] = 0;
  ASSERT_EQ(pose.at("q").size(), 7u);
  for (int i = 1; i <= 7; i++) q[i] = pose["q"][i - 1].get<double>();
}

// The judge's least clearance of pose q where it may be negative; where every body stays
// farther from the plate's plane than its radius (the plate lies in it) the floor decides, and
// the value returned is at most the judge's and below -kBand exactly when the judge's is. This
// spares the judge's searches on most samples of a motion.
double sampled_least(const RobotModel& model, const Vec3& rh, const double q[]) {
  const judge::Pose f = judge::fk(model, q);
  const double r = model.linkRadius;
  double plane = INFINITY, floor = INFINITY;
  for (int m = 1; m <= 7; m++) {
    const judge::P a = f.joint[m], b = m < 7 ? f.joint[m + 1] : f.work;
    const double ha = a.y - rh.y, hb = b.y - rh.y;
    plane = std::min(plane, (ha * hb <= 0 ? 0 : std::min(std::fabs(ha), std::fabs(hb))) - r);
    if (m != 1) floor = std::min(floor, std::min(a.z, b.z) - r);
  }
  const judge::Box box = judge::work_box(model, f);
  double reachY = 0;
  for (int i = 0; i < 3; i++) reachY += box.h[i] * std::fabs(box.axis[i].y);
  plane = std::min(plane, std::fabs(box.c.y - rh.y) - reachY);
  floor = std::min(floor, lowest_corner(box));
  if (plane > 0) return std::min(plane, floor);
  return least(judge::judge_pose(model, rh, q));
}

// The straight motion, the straight joint line from q0 to q1, sampled so that no joint moves more
// than 0.001 rad between samples and every sample judged: a sample that cuts in must make the
// motion colliding, every sample before the first collision reported must be free (that stretch
// is certified), and the pose at the first collision must lie in or beyond the band's limit.
void check_straight_motion(const RobotModel& model, const Vec3& rh, const double q0[],
                           const double q1[], const json& motion) {
  ASSERT_TRUE(motion.at("collides").is_boolean());
  const bool collides = motion["collides"].get<bool>();
  double first = 1;
  if (collides) {
    ASSERT_TRUE(motion.at("first_collision").is_number());
    first = motion["first_collision"].get<double>();
    ASSERT_GE(first, 0);
    ASSERT_LE(first, 1);
  } else {
    ASSERT_TRUE(motion.at("first_collision").is_null());
  }
  double largest = 0;
  for (int i = 1; i <= 7; i++) largest = std::max(largest, std::fabs(q1[i] - q0[i]));
  const int n = std::max(1, static_cast<int>(std::ceil(largest / 1e-3)));
  double q[kJointSlots] = {};
  auto pose_at = [&](double t) {
    for (int i = 1; i <= 7; i++) q[i] = q0[i] + t * (q1[i] - q0[i]);
    return sampled_least(model, rh, q);
  };
  for (int k = 0; k <= n; k++) {
    const double t = static_cast<double>(k) / n;
    if (collides && t >= first) break;
    const double c = pose_at(t);
    if (c < -kBand) {
      ADD_FAILURE() << "the motion cuts in at t = " << t << " (least " << c << ") before "
                    << (collides ? "its first collision " + std::to_string(first)
                                 : std::string("its end, reported free"));
      return;
    }
  }
  if (collides) {
    EXPECT_LT(pose_at(first), -kBand + 1e-6) << "at the first collision " << first;
  }
}

// One solution of the JSON against the scene and the judge. `listed`: from --solve, which lists
// only valid poses, touching first, and measures the clearance from the wall's edge over all arms.
void check_solution(const Case& c, const RobotModel& model, const json& pose, bool listed) {
  std::string keys;  // nlohmann::json keeps its keys sorted
  for (auto it = pose.begin(); it != pose.end(); ++it) keys += it.key() + " ";
  EXPECT_EQ(keys,
            "arm clearance distance_from_initial edge_clearance floor_clearance kind "
            "nearest_obstacle obstacle_clearance orientation_error position_error q "
            "straight_motion touches valid wall_clearance ");
  EXPECT_EQ(pose["edge_clearance"], pose["clearance"]);
  // These scenes have no boxes.
  EXPECT_TRUE(pose["obstacle_clearance"].is_null());
  EXPECT_TRUE(pose["nearest_obstacle"].is_null());

  double q[kJointSlots];
  read_joints(pose, q);
  const Vec3 rh = wall_of(c);
  const judge::Pose f = judge::fk(model, q);
  const judge::P goal = goal_centre(c);
  EXPECT_NEAR(f.work.x, goal.x, 1e-9);
  EXPECT_NEAR(f.work.y, goal.y, 1e-9);
  EXPECT_NEAR(f.work.z, goal.z, 1e-9);
  double positionError =
      std::fabs(f.work.x - goal.x) + std::fabs(f.work.y - goal.y) + std::fabs(f.work.z - goal.z);
  double orientationError = 0;
  for (int k = 0; k < 9; k++) orientationError += std::fabs(f.Ew.m[k] - kDown.m[k]);
  EXPECT_LE(orientationError, 1e-9);
  EXPECT_NEAR(pose["position_error"].get<double>(), positionError, 1e-12);
  EXPECT_NEAR(pose["orientation_error"].get<double>(), orientationError, 1e-12);

  const double* qInit = model.qInit;
  double distance = 0;
  for (int i = 1; i <= 7; i++) distance += std::fabs(std::remainder(q[i] - qInit[i], 2 * PI));
  EXPECT_NEAR(pose["distance_from_initial"].get<double>(), distance, 1e-12);

  // Wall and floor clearances as the judge finds them. Where the workpiece overlaps the plate
  // the judge knows only a bound on its depth, and only the sign can be compared.
  const judge::Verdict v = judge::judge_pose(model, rh, q);
  const double wall = pose["wall_clearance"].get<double>();
  if (judge::box_plate(judge::work_box(model, f), judge::plate_of(rh)) > 0)
    EXPECT_NEAR(wall, v.wall, 1e-9);
  else
    EXPECT_LE(wall, 1e-9);
  EXPECT_NEAR(pose["floor_clearance"].get<double>(), v.floor, 1e-9);
  EXPECT_EQ(pose["valid"].get<bool>(), v.valid(kBand));

  // The kind, the arm and its clearance from the wall's edge.
  const std::string kind = pose["kind"].get<std::string>();
  ASSERT_TRUE(kind == "touch" || kind == "clear") << kind;
  EXPECT_EQ(pose["touches"], kind == "touch" ? json("edge") : json(nullptr));
  const int arm = pose["arm"].get<int>();
  ASSERT_GE(arm, 1);
  ASSERT_LE(arm, 6);
  double edge[7];
  for (int m = 1; m <= 6; m++)
    edge[m] = edge_clearance(f.joint[m], f.joint[m + 1], model.linkRadius, rh);
  const double clearance = pose["clearance"].get<double>();
  if (listed) {
    const double nearest = *std::min_element(edge + 1, edge + 7);
    EXPECT_NEAR(clearance, nearest, 1e-9);
    EXPECT_NEAR(edge[arm], nearest, 1e-9) << "arm " << arm << " is not the nearest";
    if (kind == "touch")
      EXPECT_LE(std::fabs(nearest), 1e-9 + 1e-12);
    else
      EXPECT_GT(nearest, 1e-9 - 1e-12);
    EXPECT_TRUE(v.valid(kBand)) << "listed pose cuts in: wall " << v.wall << ", floor " << v.floor;
  } else if (kind == "touch") {
    // Method B's touch: the contact arm on the edge within twice its position tolerance (1e-5).
    EXPECT_LE(std::fabs(edge[arm]), 2e-5) << "arm " << arm;
  } else {
    EXPECT_GT(clearance, 0);
  }

  check_straight_motion(model, rh, qInit, q, pose["straight_motion"]);
}

// The document of --solve or --method-b: the scene as the command line gave it, and every pose.
json check_document(const Case& c, const Output& output, CommandMode mode) {
  SCOPED_TRACE(describe(c));
  const json doc = json::parse(output.out);
  EXPECT_EQ(doc.at("type").get<int>(), c.type);
  // The goal as given, the underside's height: not the centre's less half the height.
  const double* g = goal_of(c);
  EXPECT_EQ(doc.at("goal"), json({g[0], g[1], g[2]}));
  EXPECT_EQ(doc.at("wall"), json({0.0, wall_of(c).y, 0.0}));
  const json& solutions = doc.at("solutions");
  const RobotModel model = model_of(c.type);
  // Success needs a pose; Method B's final pose must also be valid by the judge.
  bool success = !solutions.empty();
  if (mode == kModeMethodB && success) {
    double q[kJointSlots];
    read_joints(solutions[0], q);
    success = judge::judge_pose(model, wall_of(c), q).valid(kBand);
  }
  EXPECT_EQ(output.status, success ? 0 : 1);
  EXPECT_EQ(doc.at("reason").is_null(), success);
  std::string lastKind = "touch";
  double lastDistance = -1;
  for (size_t k = 0; k < solutions.size(); k++) {
    SCOPED_TRACE("solution " + std::to_string(k + 1));
    const json& pose = solutions[k];
    check_solution(c, model, pose, mode == kModeSolve);
    // --solve ranks touching poses first, each kind by distance from the initial pose.
    if (mode == kModeSolve && pose["kind"].is_string()) {
      const std::string kind = pose["kind"].get<std::string>();
      const double distance = pose["distance_from_initial"].get<double>();
      EXPECT_FALSE(lastKind == "clear" && kind == "touch") << "touching pose after a clear one";
      if (kind == lastKind) {
        EXPECT_GE(distance, lastDistance - 1e-12);
      }
      lastKind = kind;
      lastDistance = distance;
    }
  }
  return doc;
}

}  // namespace

// Goals where the workpiece itself reaches through the wall plate: the solver must refuse them
// with the reason, not list poses that hold the workpiece in the wall.
TEST(WorkcellCommand, WorkpieceInTheWallIsRefused) {
  for (const Case& c :
       {given(2, -0.746, 1.697, 0.376, 1.706), given(3, -0.527, 1.531, 0.601, 1.5)}) {
    SCOPED_TRACE(describe(c));
    const Output output = run(c, kModeSolve, false);
    EXPECT_EQ(output.status, 1);
    EXPECT_NE(output.err.find("the workpiece at the goal cuts into the wall"), std::string::npos)
        << output.err;
    const RobotModel model = model_of(c.type);
    judge::Pose f;
    f.work = goal_centre(c);
    f.Ew = kDown;
    EXPECT_EQ(judge::box_plate(judge::work_box(model, f), judge::plate_of(wall_of(c))), 0);
  }
}

// A goal whose held hand and workpiece reach below the floor, far from the wall: the reason must
// name the floor, not the wall (the judge finds the held bodies clear of the plate).
TEST(WorkcellCommand, HeldBodiesBelowTheFloorNameTheFloor) {
  const Case c = given(1, -0.6, 2.2, -0.05, 1.3);
  const judge::Verdict held = held_at_goal(model_of(1), c);
  ASSERT_LT(held.floor, -kBand);
  ASSERT_GT(held.wall, 0.5);
  const Output output = run(c, kModeSolve, false);
  EXPECT_EQ(output.status, 1);
  EXPECT_NE(output.err.find("floor"), std::string::npos) << output.err;
  EXPECT_EQ(output.err.find("into the wall"), std::string::npos) << output.err;
}

// Scenes where poses that cut the wall plate or the floor were once listed: every listed pose
// must be valid by the judge (and the rest of its JSON read back).
TEST(WorkcellCommand, ListedPosesOfPastFaultsAreValid) {
  for (const Case& c :
       {given(4, 0.437, 1.068, 1.374, 1.465), given(1, -1.493, -0.51, 1.026, 1.339)}) {
    const Output output = run(c, kModeSolve, true);
    ASSERT_EQ(output.status, 0) << describe(c) << output.err;
    check_document(c, output, kModeSolve);
  }
}

// Method B ends on poses below the floor here: its JSON must call them invalid with the judge's
// floor clearance, the exit status must be 1 with the floor named on stderr, and the console
// must name the floor in one line after the trace.
TEST(WorkcellCommand, MethodBNamesAFinalPoseBelowTheFloor) {
  for (const Case& c :
       {given(1, -0.271, 1.549, 1.245, 1.037), given(1, 0.438, 1.902, 0.804, 1.303)}) {
    SCOPED_TRACE(describe(c));
    const Output asJson = run(c, kModeMethodB, true);
    ASSERT_EQ(asJson.status, 1);
    EXPECT_NE(asJson.err.find("lies below the floor"), std::string::npos) << asJson.err;
    const json doc = check_document(c, asJson, kModeMethodB);
    ASSERT_TRUE(doc["final"].get<bool>());
    ASSERT_EQ(doc["solutions"].size(), 1u);
    const json& pose = doc["solutions"][0];
    double q[kJointSlots];
    read_joints(pose, q);
    const judge::Verdict v = judge::judge_pose(model_of(c.type), wall_of(c), q);
    EXPECT_FALSE(pose["valid"].get<bool>());
    EXPECT_LT(v.floor, -kBand);
    EXPECT_NEAR(pose["floor_clearance"].get<double>(), v.floor, 1e-9);

    const Output text = run(c, kModeMethodB, false);
    ASSERT_EQ(text.status, 1);
    const size_t verdict = text.out.find("床より下");
    ASSERT_NE(verdict, std::string::npos) << text.out;
    EXPECT_EQ(text.out.find("床より下", verdict + 1), std::string::npos) << "named twice";
    EXPECT_GT(verdict, text.out.rfind("cntBa=")) << "not after the trace";
    const size_t lineEnd = text.out.find('\n', verdict);
    EXPECT_EQ(text.out.find_first_not_of('\n', lineEnd), std::string::npos) << "more after it";
    char depth[32];
    std::snprintf(depth, sizeof depth, "%.4f", -v.floor);
    EXPECT_NE(text.out.find(depth, verdict), std::string::npos) << "depth " << depth;
  }
  // A valid final pose gets no such line.
  const Case start = {1, false, {}, false, 0};
  const Output valid = run(start, kModeMethodB, false);
  ASSERT_EQ(valid.status, 0);
  EXPECT_EQ(valid.out.find("注意: この最終姿勢"), std::string::npos);
}

// The JSON of --solve read back whole on the start-up scene of every type: goal and wall, and
// each pose's fields against the judge and a dense sample of its straight motion.
TEST(WorkcellCommand, SolveJsonReadsBackWholeAtStartUp) {
  for (int type = 1; type <= 4; type++) {
    const Case c = {type, false, {}, false, 0};
    check_document(c, run(c, kModeSolve, true), kModeSolve);
  }
}

// The same on given goals and walls: the goal comes back as given (the underside's height).
TEST(WorkcellCommand, SolveJsonReadsBackWholeOnGivenScenes) {
  for (const Case& c : {given(1, -0.6, 2.2, 0.3, 1.3), given(2, -0.5, 1.8, 0.2, 1.5),
                        given(3, -0.8, 1.9, 0.45, 1.1), given(4, 0.4, 1.6, 0.7, 1.9)})
    check_document(c, run(c, kModeSolve, true), kModeSolve);
}

// The same for --method-b, on scenes whose final pose is valid, touches, stands clear or whose
// straight motion collides.
TEST(WorkcellCommand, MethodBJsonReadsBackWhole) {
  const Case cases[] = {{1, false, {}, false, 0},
                        {2, false, {}, false, 0},
                        given(2, -0.5, 1.8, 0.2, 1.5),
                        given(1, -0.3, 1.8, 0.3, 1.2),
                        given(2, -1.0, 1.5, 0.0, 1.1)};
  for (const Case& c : cases) {
    const Output output = run(c, kModeMethodB, true);
    const json doc = check_document(c, output, kModeMethodB);
    EXPECT_EQ(doc["final"].get<bool>(), output.status == 0) << describe(c);
    EXPECT_FALSE(doc["solutions"].empty())
        << describe(c) << ": the scene was chosen for a final pose";
  }
}

// Property: over seeded random scenes (goals at the work point of random poses, or anywhere in
// the box around the robot; walls anywhere the dialog takes them) every pose --solve lists puts
// the work on the goal and is valid by the judge; a goal refused for its held bodies has them cut
// in by the judge.
TEST(WorkcellCommand, RandomScenesListOnlyValidPoses) {
  const unsigned seed = 7314;
  std::mt19937 rng(seed);
  std::uniform_real_distribution<double> wall(0.8, 2.2), gx(-1.5, 1.5), gy(-1.0, 2.5), gz(0, 1.5);
  for (int type = 1; type <= 4; type++) {
    const RobotModel model = model_of(type);
    int solved = 0;
    for (int s = 0; s < 20; s++) {
      Case c = given(type, gx(rng), gy(rng), gz(rng), wall(rng));
      if (s % 2 == 0) {
        double q[kJointSlots];
        judge::P w;
        do {
          random_pose(rng, 7, q);
          w = judge::fk(model, q).work;
        } while (w.z < kHalfHeight);
        c.goal[0] = w.x;
        c.goal[1] = w.y;
        c.goal[2] = w.z - kHalfHeight;
      }
      const Output output = run(c, kModeSolve, true);
      if (output.status == 2) continue;  // out of reach, or a wall no arm reaches
      SCOPED_TRACE("seed " + std::to_string(seed) + ", scene " + std::to_string(s) + ": " +
                   describe(c));
      const json doc = json::parse(output.out);
      EXPECT_EQ(output.status, doc["solutions"].empty() ? 1 : 0);
      solved += output.status == 0;
      for (const json& pose : doc["solutions"]) {
        double q[kJointSlots];
        read_joints(pose, q);
        const judge::P work = judge::fk(model, q).work, goal = goal_centre(c);
        EXPECT_LE(judge::norm(work - goal), 1e-9);
        const judge::Verdict v = judge::judge_pose(model, wall_of(c), q);
        EXPECT_TRUE(v.valid(kBand)) << "wall " << v.wall << ", floor " << v.floor;
      }
      if (output.status == 1 && output.err.find("at the goal") != std::string::npos) {
        EXPECT_LT(least(held_at_goal(model, c)), -kBand) << output.err;
      }
    }
    EXPECT_GE(solved, 5) << "type " << type << ": too few solved scenes to judge";
  }
}
