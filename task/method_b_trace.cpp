#include "task/method_b_trace.h"

#include "task/flushed_print.h"

namespace {

// Prints label and joints 1..7 of q in the trace's format.
void print_joints(const char* label, const double q[], FILE* out) {
  flushed_printf(out, "%s(%7.4f %7.4f %7.4f %7.4f %7.4f %7.4f %7.4f)", label, q[1], q[2], q[3],
                 q[4], q[5], q[6], q[7]);
}

// The lines that say how the pose stands against the wall.
void print_contact_trace(const MethodBReport& report, FILE* out) {
  const ContactClass sgn = report.sgnCONTACT;
  const PositionStatus solB = report.solB;
  const int Mcont = report.Mcont;
  if (sgn == kContactCuts)
    flushed_printf(out, "\n sgnCONTACT=%d アーム%dは壁に喰い込んでいる", static_cast<int>(sgn),
                   Mcont);
  if (solB == kPositionOutside && sgn == kContactTouches)
    flushed_printf(out, "\nアーム%dは壁に接触", Mcont);
  if (solB == kPositionOutside && sgn == kContactApart)
    flushed_printf(out, "\nアーム%dは壁から離れている", Mcont);
  if (solB == kPositionReached && sgn == kContactTouches)
    flushed_printf(out, "\n壁端直線に接触し位置決めされた解が得られた．");
  if (solB == kPositionReached && sgn == kContactApart)
    flushed_printf(out, "\n壁端直線から離れて位置決めされた解が得られた．");
}

void print_log(const MessageLog& log, FILE* out) {
  if (log.length > 0) flushed_printf(out, "%s", log.text);
}

}  // namespace

void print_method_b_start(const MethodBReport& report, FILE* out) {
  flushed_printf(
      out, "\n------------------ B解法 -----------------------------------------------------");
  flushed_printf(out, "\nB解法 直線接触させる関節番号Lcont=%d 接触するアーム番号Mcont=%d",
                 report.Lcont, report.Mcont);
  print_joints("\n 初期値qs[]=", report.qs, out);
}

void print_method_b_step_a(const MethodBReport& report, FILE* out) {
  const int* j = report.posJoints;
  flushed_printf(
      out, "\n\n-------解法Bｰa:位置姿勢の逆運動学:位置決め関節=(%d %d %d)------------------------",
      j[0], j[1], j[2]);
  print_log(report.solveLog, out);
  if (report.outcome == kMethodBNoSolution) {
    flushed_printf(out, "\n B-a 位置姿勢逆運動学の解なし");
    return;
  }
  print_joints("\n計算前 qs[]=", report.qs, out);
  print_joints("\n計算後 qr[]=", report.qSolved, out);
  flushed_printf(out, "\n修正後 位置誤差=%11.3e 最近アームMcont=%d アーム直線間の隙間=%7.4f",
                 report.errPos, report.Mcont, report.gapArm);
  print_joints("\n       qr[]=", report.qr, out);
  print_contact_trace(report, out);
  flushed_printf(out, "\n位置姿勢逆運動学計算の繰り返し回数cntBa=%d\n", report.count);
}

void print_method_b_step_b(const MethodBReport& report, FILE* out) {
  flushed_printf(
      out, "\n\n--------------------解法Bｰb:直線接触解:Lcont=%d--------------------------------",
      report.Lcont);
  print_log(report.solveLog, out);
  if (report.outcome == kMethodBNoSolution) {
    flushed_printf(out, "\nB-b 壁端直線に接触するアームなし");
    return;
  }
  print_joints("\n計算前qs[]=", report.qs, out);
  print_joints("\n計算後qr[]=", report.qSolved, out);
  print_log(report.rerunLog, out);
  flushed_printf(out, "\n修正後 位置誤差=%11.3e 最近アーム番号Mcont=%d アーム直線間の隙間=%7.4f",
                 report.errPos, report.Mcont, report.gapArm);
  print_joints("\n       qr[]=", report.qr, out);
  print_contact_trace(report, out);
  flushed_printf(out, "\n直線接触計算の繰り返し回数cntBb=%d\n", report.count);
}
