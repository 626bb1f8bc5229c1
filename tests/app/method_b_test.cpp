#include "app/method_b.h"

#include <cmath>
#include <cstdarg>
#include <string>

#include "app/keyboard.h"
#include "app/scene_state.h"
#include "console_capture.h"
#include "contact/line_contact.h"
#include "ik/poinv.h"
#include "math/angles.h"
#include "model/forward_kinematics.h"
#include "model/robot_catalogue.h"
#include "model/state.h"
#include "support.h"

namespace {

// The shell's position tolerance, and the contact distance: link radius 0.1 plus edge radius 0.
constexpr double kTolPos = 1e-5;
constexpr double kContactDistance = 0.1;

// Keys go straight to the dispatcher: Method B needs no window.
void press(unsigned char key) {
  dispatch_key(key);
}

void open_session() {
  start_scene();
}

// L1 distance of pose q's work point from the goal, by forward kinematics.
double work_error(const double q[]) {
  forward_kinematics(robot, q, kin);
  return std::fabs(kin.rw.x - cell.rwG.x) + std::fabs(kin.rw.y - cell.rwG.y) +
         std::fabs(kin.rw.z - cell.rwG.z);
}

// Sum of the entries of |Ew - EwG| for pose q.
double orientation_error(const double q[]) {
  forward_kinematics(robot, q, kin);
  double sum = 0;
  for (int k = 0; k < 9; k++) sum += std::fabs(kin.Ew.m[k] - cell.EwG.m[k]);
  return sum;
}

Vec3 plus(const Vec3& a, const Vec3& b, double s) {
  return {a.x + s * b.x, a.y + s * b.y, a.z + s * b.z};
}

// Distance between the axis line of arm M of pose q (joint M to joint M+1) and the vertical edge
// line through rh; an arm parallel to the edge gives their horizontal distance.
double arm_axis_to_edge(const double q[], int M) {
  forward_kinematics(robot, q, kin);
  Vec3 u, n, w;
  vsub(kin.Jpos[M + 1], kin.Jpos[M], u);
  vcross(u, {0, 0, 1}, n);
  vsub(kin.Jpos[M], cell.rh, w);
  if (vnorm(n) < 1e-12) return std::hypot(w.x, w.y);
  return std::fabs(vdot(w, n)) / vnorm(n);
}

// Horizontal distance from the vertical edge line to the segment of arm M of pose q.
double arm_segment_to_edge(const double q[], int M) {
  forward_kinematics(robot, q, kin);
  const Vec3& a = kin.Jpos[M];
  const Vec3& b = kin.Jpos[M + 1];
  double best = 1e9;
  for (int k = 0; k <= 1000; k++) {
    const double f = k / 1000.0;
    best = std::fmin(
        best, std::hypot(a.x + f * (b.x - a.x) - cell.rh.x, a.y + f * (b.y - a.y) - cell.rh.y));
  }
  return best;
}

// Whether segment a-b passes through the wall rectangle (plane y = rh.y, x in [rh.x - 4, rh.x],
// z in [rh.z, rh.z + 4]).
bool crosses_wall(const Vec3& a, const Vec3& b) {
  const Vec3& rh = cell.rh;
  const double da = a.y - rh.y, db = b.y - rh.y;
  if (da * db > 0 || da == db) return false;
  Vec3 ab;
  vsub(b, a, ab);
  const Vec3 p = plus(a, ab, da / (da - db));
  return p.x <= rh.x && p.x >= rh.x - 4 && p.z >= rh.z && p.z <= rh.z + 4;
}

// Whether any link of pose q, or the stem from joint N to the work point, crosses the wall.
bool any_link_crosses_wall(const double q[]) {
  forward_kinematics(robot, q, kin);
  for (int i = 1; i <= 7; i++)
    if (crosses_wall(kin.Jpos[i - 1], kin.Jpos[i])) return true;
  return crosses_wall(kin.Jpos[7], kin.rw);
}

// Presses 'a' and 'b' as the status message asks ('a' after a failed contact step, 'b' after a
// failed position step, else the other one) until it offers a solution, says to stop, or
// maxKeys keys are spent. After every key the status must tell the truth about the position
// error. Returns the last status row; keys gets the number pressed.
int run_as_status_asks(int maxKeys, int& keys) {
  unsigned char next = 'a';
  int row = 0;
  for (keys = 0; keys < maxKeys;) {
    press(next);
    keys++;
    const double error = work_error(scene.methodB.qr);
    EXPECT_NEAR(scene.methodB.errPos, error, 1e-12);
    if (scene.methodB.solB == 2) {
      EXPECT_LE(error, kTolPos) << keys;
    }
    if (scene.methodB.solB == 1) {
      EXPECT_GE(error, kTolPos) << keys;
    }
    row = method_b_status_row(scene.methodB);
    if (row == 1 || row == 3 || row == 4) return row;
    if (row == 2)
      next = 'a';
    else if (row == 5)
      next = 'b';
    else
      next = next == 'a' ? 'b' : 'a';
  }
  return row;
}

struct SceneCase {
  const char* name;
  int type;
  const char* goal;  // as typed in the goal dialog (x, y, height of the underside)
  const char* wall;  // as typed in the wall dialog
  bool solved;       // whether a solution comes within the bound
};

// A scene's name in failure messages, instead of its bytes.
void PrintTo(const SceneCase& scene, std::ostream* os) {
  *os << scene.name;
}

// A claim of the final pose checked without the shell's code: the work at the goal in the goal
// orientation, the contact arm's axis at the contact distance from the edge (or farther, for a
// solution apart from it), no link through the wall.
void expect_valid_final_pose(const double q[], int row) {
  EXPECT_LE(work_error(q), kTolPos);
  EXPECT_LE(orientation_error(q), 1e-6);  // the position/orientation solver's tolerance
  const int M = scene.methodB.Mcont;
  if (row == 3) {
    EXPECT_NEAR(arm_axis_to_edge(q, M), kContactDistance, 1e-5);  // the contact class's band
  } else if (M >= 1 && M <= 6) {
    EXPECT_GE(arm_axis_to_edge(q, M), kContactDistance - 1e-5);
  }
  EXPECT_FALSE(any_link_crosses_wall(q));
  // No link tube lies across the edge (sampled along each arm: 1e-3 of its length).
  for (int arm = 1; arm <= 6; arm++)
    EXPECT_GE(arm_segment_to_edge(q, arm), kContactDistance - 1e-3) << "arm " << arm;
}

// Runs Method B in a scene as the user would: robot digit, goal and wall typed into their
// dialogs, 'B', then 'a' and 'b' as the status asks, at most 250 pairs. A solved scene must end
// in a pose that passes the independent checks and is the motion's goal, which 'C' and 100 's'
// reach exactly. An unsolved scene must never claim a final pose, in the status, the trace or
// the motion's goal. Catches claims that are false, a goal pose left stale (for instance when
// the solution comes from an 'a' step), and stalls reported as success.
class MethodB : public testing::TestWithParam<SceneCase> {};

TEST_P(MethodB, SolvesOrReportsHonestly) {
  const SceneCase& s = GetParam();
  open_session();
  const std::string typed = std::string(s.goal) + "\n" + s.wall + "\n";
  FILE* in = typed_input(typed.c_str());
  CapturedConsole captured(in);
  scene.setMode = 'F';
  press('0' + s.type);
  press('G');
  press('O');
  for (int i = 0; i <= 7; i++) scene.methodB.qGoal[i] = 7.0;  // no step may write it unless solved
  press('B');
  int keys;
  const int row = run_as_status_asks(500, keys);
  const std::string text = captured.text();
  const bool claimed =
      text.find("壁端直線に接触し位置決めされた解が得られた．") != std::string::npos ||
      text.find("壁端直線から離れて位置決めされた解が得られた．") != std::string::npos;
  ASSERT_EQ(row == 3 || row == 4, s.solved) << "row " << row << " after " << keys << " keys";
  EXPECT_EQ(claimed, s.solved);
  if (!s.solved) {
    for (int i = 0; i <= 7; i++) EXPECT_EQ(scene.methodB.qGoal[i], 7.0) << i;
    // Either not positioned, or positioned with an arm in the wall, and said so.
    if (work_error(scene.methodB.qr) <= kTolPos) {
      EXPECT_EQ(scene.methodB.sgnCONTACT, 1);
    }
    fclose(in);
    return;
  }

  for (int i = 1; i <= 7; i++) EXPECT_EQ(scene.methodB.qGoal[i], scene.methodB.qr[i]) << i;
  expect_valid_final_pose(scene.methodB.qGoal, row);
  double goal[kJointSlots];
  qcopy(7, scene.methodB.qGoal, goal);
  press('C');
  for (int i = 0; i <= 7; i++) EXPECT_EQ(scene.methodB.qr[i], robot.qInit[i]) << i;
  for (int k = 0; k < 100; k++) press('s');
  for (int i = 1; i <= 7; i++) EXPECT_EQ(scene.methodB.qr[i], goal[i]) << i;

  // A new start keeps the contact class but not the positioned state.
  press('B');
  EXPECT_EQ(method_b_status_row(scene.methodB), row == 3 ? 8 : 9);
  fclose(in);
}

const SceneCase kScenes[] = {
    {"Type1DefaultScene", 1, "-0.6 2.2 0", "1.3", true},
    {"Type2DefaultScene", 2, "-0.6 2.2 0", "1.3", true},
    {"Type3DefaultScene", 3, "-0.6 2.2 0", "1.3", false},
    {"Type4DefaultScene", 4, "-0.6 2.2 0", "1.3", false},
    {"Type1NearWall", 1, "-1 2 0", "1.0", false},
    {"Type2NearWall", 2, "-1 2 0", "1.0", true},
    {"Type3NearWall", 3, "-1 2 0", "1.0", false},
    {"Type4NearWall", 4, "-1 2 0", "1.0", true},
    {"Type1FarWall", 1, "-0.6 2.2 0", "1.6", false},
    {"Type2FarWall", 2, "-0.6 2.2 0", "1.6", true},
    {"Type4FarWall", 4, "-0.6 2.2 0", "1.6", false},
    {"Type1NearerGoal", 1, "-0.6 2.0 0", "1.2", true},
    {"Type1NearerWall", 1, "-1 2 0", "0.8", true},
};
INSTANTIATE_TEST_SUITE_P(Scenes, MethodB, testing::ValuesIn(kScenes),
                         [](const testing::TestParamInfo<SceneCase>& info) {
                           return std::string(info.param.name);
                         });

// printf into a string.
std::string format(const char* pattern, ...) {
  char text[400];
  va_list args;
  va_start(args, pattern);
  vsnprintf(text, sizeof text, pattern, args);
  va_end(args);
  return text;
}

std::string joints(const char* label, const double q[]) {
  return format("%s(%7.4f %7.4f %7.4f %7.4f %7.4f %7.4f %7.4f)", label, q[1], q[2], q[3], q[4],
                q[5], q[6], q[7]);
}

// Type 1 in the default scene, run to its final pose; the console text is dropped.
void solve_type_one() {
  FILE* in = typed_input("");
  CapturedConsole captured(in);
  start_scene();
  press('B');
  int keys;
  ASSERT_EQ(run_as_status_asks(500, keys), 3);
  fclose(in);
}

// The traces of 'B', of a failing and a succeeding 'a' and of a 'b', byte for byte, with the
// solvers' results computed here. The first 'a' from the initial pose of type 1 finds no
// solution (joint 1, which it holds, faces away from the goal); 'b' still works from there.
// Catches a changed text, format or order, and values printed before or after the wrong step.
TEST(MethodBTrace, StartStepsAndResults) {
  open_session();
  FILE* in = typed_input("");
  CapturedConsole captured(in);
  press('B');
  const double* q0 = robot.qInit;
  std::string expected =
      "\n------------------ B解法 -----------------------------------------------------" +
      format("\nB解法 直線接触させる関節番号Lcont=%d 接触するアーム番号Mcont=%d", 1, 4) +
      joints("\n 初期値qs[]=", q0);
  EXPECT_EQ(captured.text(), expected);
  EXPECT_EQ(scene.methodB.solB, 1);
  EXPECT_EQ(scene.methodB.lcontFlag, 5);

  press('a');
  expected +=
      format(
          "\n\n-------解法Bｰa:位置姿勢の逆運動学:位置決め関節=(%d %d %d)------------------------",
          2, 3, 4) +
      "\n B-a 位置姿勢逆運動学の解なし";
  EXPECT_EQ(captured.text(), expected);
  EXPECT_EQ(scene.methodB.solB, 0);
  EXPECT_EQ(method_b_status_row(scene.methodB), 5);

  double qc[kJointSlots], d, t;
  ASSERT_EQ(line_contact(robot, cell.rh, q0, 1, 4, kin, qc, d, t), 1);
  press('b');
  EXPECT_EQ(scene.methodB.cntBa, 1);
  EXPECT_EQ(scene.methodB.cntBb, 1);
  EXPECT_EQ(scene.methodB.sgnCONTACT, 3);
  expected +=
      format("\n\n--------------------解法Bｰb:直線接触解:Lcont=%d--------------------------------",
             1) +
      joints("\n計算前qs[]=", q0) + joints("\n計算後qr[]=", qc) +
      format("\n修正後 位置誤差=%11.3e 最近アーム番号Mcont=%d アーム直線間の隙間=%7.4f",
             scene.methodB.errPos, 4, scene.methodB.gapArm) +
      joints("\n       qr[]=", scene.methodB.qr) + format("\nアーム%dは壁から離れている", 4) +
      format("\n直線接触計算の繰り返し回数cntBb=%d\n", 1);
  EXPECT_EQ(captured.text(), expected);
  fclose(in);

  solve_type_one();
  in = typed_input("");
  CapturedConsole again(in);
  double qs[kJointSlots], qp[kJointSlots];
  qcopy(7, scene.methodB.qr, qs);
  ASSERT_EQ(poinv(robot, qs, 2, 3, 4, robot.rwLoc, cell.rwG, cell.EwG, kin, qp), 1);
  const int cntBa = scene.methodB.cntBa;
  press('a');
  expected =
      format(
          "\n\n-------解法Bｰa:位置姿勢の逆運動学:位置決め関節=(%d %d %d)------------------------",
          2, 3, 4) +
      joints("\n計算前 qs[]=", qs) + joints("\n計算後 qr[]=", qp) +
      format("\n修正後 位置誤差=%11.3e 最近アームMcont=%d アーム直線間の隙間=%7.4f",
             scene.methodB.errPos, scene.methodB.Mcont, scene.methodB.gapArm) +
      joints("\n       qr[]=", scene.methodB.qr) +
      "\n壁端直線に接触し位置決めされた解が得られた．" +
      format("\n位置姿勢逆運動学計算の繰り返し回数cntBa=%d\n", cntBa + 1);
  EXPECT_EQ(again.text(), expected);
  fclose(in);
}

// An 'a' step moves the positioning and wrist joints by the factor their total change asks:
// 1 for 0.05 rad, 0.4 for 0.25 rad, 0.04 for 0.35 rad. The starts lie that far from a solved
// pose, and the solver's result is computed here from the same start. Catches wrong limits,
// factors, or joints left out of the limit.
TEST(MethodBStepLimit, PositionStep) {
  open_session();
  solve_type_one();
  double solved[kJointSlots];
  qcopy(7, scene.methodB.qr, solved);
  FILE* in = typed_input("");
  CapturedConsole captured(in);
  const struct { double total, factor; } cases[] = {{0.05, 1.0}, {0.25, 0.4}, {0.35, 0.04}};
  for (const auto& c : cases) {
    double qs[kJointSlots], qp[kJointSlots];
    qcopy(7, solved, qs);
    for (int j : {2, 3, 4}) qs[j] -= c.total / 3;
    ASSERT_EQ(poinv(robot, qs, 2, 3, 4, robot.rwLoc, cell.rwG, cell.EwG, kin, qp), 1);
    double total = 0;
    for (int j : {2, 3, 4}) total += std::fabs(angle_diff(qp[j], qs[j]));
    ASSERT_NEAR(total, c.total, 1e-6) << "the solver went elsewhere";
    qcopy(7, qs, scene.methodB.qr);
    press('a');
    for (int i = 1; i <= 7; i++) {
      const double expected = i == 1 ? qs[1] : qs[i] + c.factor * angle_diff(qp[i], qs[i]);
      EXPECT_NEAR(scene.methodB.qr[i], expected, 1e-12) << c.total << " joint " << i;
    }
  }
  fclose(in);
}

// A 'b' step moves joint Lcont by the factor its change asks: 1 for 0.05 rad, 0.5 for 0.2 rad,
// 0.05 for 0.31 rad, for every type, from starts that far from the contact the solver finds
// from the initial pose. Catches wrong limits or factors and other joints moved.
TEST(MethodBStepLimit, ContactStep) {
  open_session();
  FILE* in = typed_input("");
  CapturedConsole captured(in);
  for (int type = 1; type <= 4; type++) {
    scene.setMode = 'F';
    press('0' + type);
    press('B');
    const int K = robot.Lcont;
    double q0[kJointSlots] = {}, qc[kJointSlots] = {}, d, t;
    qcopy(7, scene.methodB.qr, q0);
    ASSERT_EQ(line_contact(robot, cell.rh, q0, K, scene.methodB.Mcont, kin, qc, d, t), 1);
    int mc;
    ContactClass sgn;
    // The contact arm stays the nearest and nothing crosses: no second solver run.
    ASSERT_EQ(contact_check(robot, cell.rh, K, qc, kin, mc, sgn, d, t), scene.methodB.Mcont);
    ASSERT_EQ(mc, 0);
    ASSERT_GT(work_error(qc), kTolPos);
    const struct { double change, factor; } cases[] = {{0.05, 1.0}, {0.2, 0.5}, {0.31, 0.05}};
    for (const auto& c : cases) {
      double qs[kJointSlots];
      qcopy(7, q0, qs);
      qs[K] = qc[K] - c.change;
      qcopy(7, qs, scene.methodB.qr);
      press('b');
      for (int i = 1; i <= 7; i++) {
        const double expected = i == K ? qs[K] + c.factor * angle_diff(qc[K], qs[K]) : qs[i];
        EXPECT_NEAR(scene.methodB.qr[i], expected, 1e-12) << "type " << type << " joint " << i;
      }
    }
  }
  fclose(in);
}

// Contact arms the contact solver has no answer for (6 and 7 as contact-arm mode may name
// them, 8 when no arm can reach the edge) end in "no contact" without touching the pose; a
// later successful 'b' leaves that message up until 'a'. When no routine delivers a distance,
// gapArm comes from the distance kept from earlier calls. Catches out-of-range arms reaching
// the solver's tables, and a lost or reset kept distance.
TEST(MethodBContact, NoContactSolution) {
  open_session();
  FILE* in = typed_input("");
  CapturedConsole captured(in);
  press('B');
  double q0[kJointSlots];
  qcopy(7, scene.methodB.qr, q0);
  for (int arm : {6, 7, 8}) {
    scene.methodB.Mcont = arm;
    const size_t before = captured.text().size();
    press('b');
    EXPECT_EQ(scene.methodB.lcontFlag, 0);
    EXPECT_EQ(method_b_status_row(scene.methodB), 2);
    for (int i = 0; i <= 7; i++) EXPECT_EQ(scene.methodB.qr[i], q0[i]) << arm;
    const std::string text = captured.text().substr(before);
    EXPECT_NE(text.find("\nB-b 壁端直線に接触するアームなし"), std::string::npos) << text;
  }
  scene.methodB.Mcont = 4;
  press('b');
  EXPECT_NE(scene.methodB.qr[1], q0[1]);
  EXPECT_EQ(scene.methodB.lcontFlag, 0);
  EXPECT_EQ(method_b_status_row(scene.methodB), 2);
  press('a');
  EXPECT_EQ(scene.methodB.lcontFlag, 5);

  // Upright, no arm can swing to the edge and the contact solver has no solution either.
  press('B');
  for (int i = 1; i <= 7; i++) scene.methodB.qr[i] = 0;
  scene.methodB.dContact = 0.35;
  press('b');
  EXPECT_EQ(scene.methodB.lcontFlag, 0);
  EXPECT_EQ(scene.methodB.sgnCONTACT, 3);
  EXPECT_NEAR(scene.methodB.gapArm, 0.25, 1e-15);
  fclose(in);
}

// A goal out of reach: 'a' finds no solution and says so; 'b' can still be tried.
TEST(MethodBContact, NoPositionSolution) {
  open_session();
  FILE* in = typed_input("");
  CapturedConsole captured(in);
  press('B');
  press('b');
  cell.rwG = {10, 0, 0.1};
  press('a');
  EXPECT_EQ(scene.methodB.solB, 0);
  EXPECT_EQ(method_b_status_row(scene.methodB), 5);
  EXPECT_EQ(scene.methodB.cntBa, 1);
  press('b');
  EXPECT_EQ(scene.methodB.cntBb, 2);
  EXPECT_EQ(scene.methodB.lcontFlag, 5);
  fclose(in);
}

}  // namespace
