#include "app/method_b.h"

#include <cmath>

#include "app/display.h"
#include "app/scene_state.h"
#include "contact/line_contact.h"
#include "ik/poinv.h"
#include "model/console.h"
#include "model/robot_catalogue.h"
#include "model/state.h"

namespace {

// Prints label and joints 1..7 of q in the trace's format.
void print_joints(const char* label, const double q[]) {
  console_printf("%s(%7.4f %7.4f %7.4f %7.4f %7.4f %7.4f %7.4f)", label, q[1], q[2], q[3], q[4],
                 q[5], q[6], q[7]);
}

// Distance d of an arm's axis from the edge line, less the link and edge radii.
double gap_of(double d) {
  return d - (robot.linkRadius + robot.edgeRadius);
}

// Classifies q against the wall: writes scene.sgnCONTACT, the kept distance d and
// scene.gapArm; returns the nearest arm m0 and writes the crossing arm mc.
int classify(double q[], double& d, int& mc) {
  double t;
  const int m0 = contact_check(robot.Lcont, q, mc, scene.sgnCONTACT, d, t);
  scene.gapArm = gap_of(d);
  return m0;
}

// The arm to bring against the edge next: one crossing the wall, else the nearest one.
void choose_arm(int m0, int mc) {
  if (mc != 0)
    cell.Mcont = mc;
  else if (m0 != cell.Mcont)
    cell.Mcont = m0;
}

// Runs the contact solver on arm Mcont from qin into qout (which may be qin); refreshes the
// kept distance and gapArm. Returns its result.
int contact_step(const double qin[], double qout[]) {
  double t;
  const int found = line_contact(qin, robot.Lcont, cell.Mcont, qout, scene.dContact, t);
  scene.gapArm = gap_of(scene.dContact);
  return found;
}

bool touches_or_clears() {
  return scene.sgnCONTACT == 2 || scene.sgnCONTACT == 3;
}

// Moves qr back toward qs (an 'a' step): the positioning joints' total change s decides the
// factor, 1 up to 0.1 rad, 0.4 up to 0.3 rad, 0.04 beyond; the wrist joints take the same.
void limit_position_step(const double qs[], double qr[]) {
  const int* j = robot.posJoints;
  double d[3], s = 0;
  for (int k = 0; k < 3; k++) {
    d[k] = angle_diff(qr[j[k]], qs[j[k]]);
    s += std::fabs(d[k]);
  }
  double f = 1.0;
  if (s > 0.1) f = 0.4;
  if (s > 0.3) f = 0.04;
  for (int k = 0; k < 3; k++) qr[j[k]] = qs[j[k]] + f * d[k];
  const int N = robot.N;
  for (int i = N; i >= N - 2; i--) qr[i] = qs[i] + f * angle_diff(qr[i], qs[i]);
}

// Moves joint Lcont of qr back toward qs (a 'b' step): 1 up to 0.1 rad, 0.5 up to 0.3 rad,
// 0.05 beyond.
void limit_contact_step(const double qs[], double qr[]) {
  const int K = robot.Lcont;
  const double d = angle_diff(qr[K], qs[K]);
  double f = 1.0;
  if (std::fabs(d) > 0.1) f = 0.5;
  if (std::fabs(d) > 0.3) f = 0.05;
  qr[K] = qs[K] + f * d;
}

// The lines that say how the pose stands against the wall.
void print_contact_trace() {
  const int sgn = scene.sgnCONTACT, solB = scene.solB, Mcont = cell.Mcont;
  if (sgn == 1) console_printf("\n sgnCONTACT=%d アーム%dは壁に喰い込んでいる", sgn, Mcont);
  if (solB == 1 && sgn == 2) console_printf("\nアーム%dは壁に接触", Mcont);
  if (solB == 1 && sgn == 3) console_printf("\nアーム%dは壁から離れている", Mcont);
  if (solB == 2 && sgn == 2) console_printf("\n壁端直線に接触し位置決めされた解が得られた．");
  if (solB == 2 && sgn == 3) console_printf("\n壁端直線から離れて位置決めされた解が得られた．");
}

}  // namespace

void method_b_start() {
  const int N = robot.N;
  robot_setup(scene.JRTYPE);
  scene.cntBb = 0;
  scene.cntBa = 0;
  scene.calcMode = 'B';
  qcopy(N, robot.qInit[scene.JRTYPE], scene.qs);
  qcopy(N, robot.qInit[scene.JRTYPE], scene.qr);
  scene.errPos = pos_error(scene.qs);
  scene.solB = 1;
  scene.lcontFlag = 5;
  console_printf(
      "\n------------------ B解法 -----------------------------------------------------");
  console_printf("\nB解法 直線接触させる関節番号Lcont=%d 接触するアーム番号Mcont=%d", robot.Lcont,
                 cell.Mcont);
  print_joints("\n 初期値qs[]=", scene.qs);
  display();
}

void method_b_step_a() {
  const int N = robot.N;
  const int* j = robot.posJoints;
  console_printf(
      "\n\n-------解法Bｰa:位置姿勢の逆運動学:位置決め関節=(%d %d %d)------------------------", j[0],
      j[1], j[2]);
  scene.lcontFlag = 5;
  scene.cntBa += 1;
  qcopy(N, scene.qr, scene.qs);
  if (poinv(scene.qs, j[0], j[1], j[2], robot.rwLoc, cell.rwG, cell.EwG, scene.qr) == 0) {
    scene.solB = 0;
    console_printf("\n B-a 位置姿勢逆運動学の解なし");
    display();
    return;
  }
  int mc;
  const int m0 = classify(scene.qr, scene.dContact, mc);
  print_joints("\n計算前 qs[]=", scene.qs);
  print_joints("\n計算後 qr[]=", scene.qr);
  choose_arm(m0, mc);
  limit_position_step(scene.qs, scene.qr);
  classify(scene.qr, scene.dContact, mc);
  scene.errPos = pos_error(scene.qr);
  scene.solB = scene.errPos < scene.tolPos ? 2 : 1;
  // A positioned pose touching or clearing the edge is a solution the screen offers for the
  // motion ("Hit 'C'"), so it becomes the motion's goal as an accepted 'b' result does.
  if (scene.solB == 2 && touches_or_clears()) qcopy(N, scene.qr, scene.qGoal);
  console_printf("\n修正後 位置誤差=%11.3e 最近アームMcont=%d アーム直線間の隙間=%7.4f",
                 scene.errPos, cell.Mcont, scene.gapArm);
  print_joints("\n       qr[]=", scene.qr);
  print_contact_trace();
  console_printf("\n位置姿勢逆運動学計算の繰り返し回数cntBa=%d\n", scene.cntBa);
  display();
}

void method_b_step_b() {
  const int N = robot.N;
  console_printf(
      "\n\n--------------------解法Bｰb:直線接触解:Lcont=%d--------------------------------",
      robot.Lcont);
  scene.cntBb += 1;
  qcopy(N, scene.qr, scene.qs);
  int mc;
  if (contact_step(scene.qs, scene.qr) == 0) {
    scene.lcontFlag = 0;
    classify(scene.qr, scene.dContact, mc);
    console_printf("\nB-b 壁端直線に接触するアームなし");
    display();
    return;
  }
  print_joints("\n計算前qs[]=", scene.qs);
  print_joints("\n計算後qr[]=", scene.qr);
  int m0 = classify(scene.qr, scene.dContact, mc);
  // Another arm crosses the wall or is nearer the edge: bring that one against it instead.
  if (mc != 0 || m0 != cell.Mcont) {
    cell.Mcont = mc != 0 ? mc : m0;
    contact_step(scene.qr, scene.qr);
  }
  scene.errPos = pos_error(scene.qr);
  scene.solB = scene.errPos <= scene.tolPos ? 2 : 1;
  if (touches_or_clears() && scene.solB == 2) {
    qcopy(N, scene.qr, scene.qGoal);
  } else {
    limit_contact_step(scene.qs, scene.qr);
    m0 = classify(scene.qr, scene.dLimited, mc);
    choose_arm(m0, mc);
    scene.errPos = pos_error(scene.qr);
    if (scene.errPos > scene.tolPos) scene.solB = 1;
    if (scene.errPos < scene.tolPos) scene.solB = 2;
  }
  console_printf("\n修正後 位置誤差=%11.3e 最近アーム番号Mcont=%d アーム直線間の隙間=%7.4f",
                 scene.errPos, cell.Mcont, scene.gapArm);
  print_joints("\n       qr[]=", scene.qr);
  print_contact_trace();
  console_printf("\n直線接触計算の繰り返し回数cntBb=%d\n", scene.cntBb);
  display();
}
