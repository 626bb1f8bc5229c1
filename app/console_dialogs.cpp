#include "app/console_dialogs.h"

#include <cmath>

#include "app/console.h"
#include "app/console_input.h"
#include "app/console_key.h"
#include "app/scene_state.h"
#include "task/contact_arm_rules.h"
#include "task/workcell_setup.h"

namespace {

// Help items before the settings block, then the closing line.
const char* const kHelpItems[15] = {
    "\nロボットの障害物回避運動アニメーション",
    "\n//--------キーによる操作(1)設定-----------------------//",
    "\n'F'：ロボットの選択：4種から選択",
    "\n'O'：薄壁障害物の端下位置設定：壁は垂直でX軸負方向に広がっている",
    "\n'G'：ワークの目標位置設定：姿勢はワークを上から置くように指定不変",
    "\n'D'：上記設定後に，壁端に接触するアーム番号を確認・指定のために関節を回転",
    "\n//--------キーによる操作(2)計算-----------------------//",
    "\n'B'：壁衝突回避・位置決めを満たす最終解を得る計算",
    "\n'C'：解を得た後，初期ポーズから目標までの運動アニメーション",
    "\n//-------キーによる操作(3)画面の移動------------------//",
    "\n'P','p','Q','q','R','r'：X,Y,Z軸回り座標左右回転",
    "\n'X','x','Y','y','Z','z'：X,Y,Z軸正負方向座標移動",
    "\n'0'：初期状態にリセット",
    "\n ESCキー：終了\n",
    "\n\n//--------------仮の設定------------------------------//",
};
const char kHelpClosing[] = "\n\n  ・・・・・・・・任意キーで描画画面へ・・・・・・・\n";

// Dialog replies to input that cannot be used.
const char kNotNumber[] = "\n数値でない入力．その行を捨てて入力し直し";
const char kGoalKept[] = "\n入力が終わった．ワーク位置は前の値のまま";
const char kWallKept[] = "\n入力が終わった．薄壁位置は前の値のまま";

// Reads count numbers into values. Returns kConsoleNumber when all were read,
// kConsoleNotNumber after reporting a word that is no number (its line is dropped), or
// kConsoleEnded; values is complete only in the first case.
int read_numbers(int count, double values[]) {
  for (int k = 0; k < count; k++) {
    const int result = read_console_number(values[k]);
    if (result == kConsoleNotNumber) console_printf("%s", kNotNumber);
    if (result != kConsoleNumber) return result;
  }
  return kConsoleNumber;
}

}  // namespace

void help_screen() {
  for (const char* item : kHelpItems) console_printf("%s", item);
  print_settings();
  console_printf("%s", kHelpClosing);
  read_console_key();
}

void print_settings() {
  const char* letter = robot.jointAxisLetter;
  console_printf("\n(F) ロボットの自由度N=%d   関節構造 JRTYPE%d='%c%c-%c%c-%c%c%c'", robot.N,
                 robot.type, letter[1], letter[2], letter[3], letter[4], letter[5], letter[6],
                 letter[7]);
  console_printf("\n(G) 目標位置 rwG[]=(%6.2f %6.2f %6.2f)", cell.rwG.x, cell.rwG.y,
                 goal_underside(robot, cell.rwG));
  console_printf("\n    目標姿勢：ワークを下向きに置く：変えない");
  console_printf("\n(O) 薄壁の垂直端下位置 rh[]=(%6.2f %6.2f %6.2f)", cell.rh.x, cell.rh.y,
                 cell.rh.z);
  console_printf("\n");
}

void goal_dialog() {
  const Vec3 previous = cell.rwG;
  for (;;) {
    console_printf("\n\n現在のワーク位置 rwG[]=(%6.3f %6.3f %6.3f) 目標姿勢は変えない", cell.rwG.x,
                   cell.rwG.y, goal_underside(robot, cell.rwG));
    console_printf("\n新しいワーク位置(コンマ無しの3数値) rwG[]= ");
    double typed[3];
    const int result = read_numbers(3, typed);
    if (result == kConsoleEnded) {
      cell.rwG = previous;
      console_printf("%s", kGoalKept);
      return;
    }
    if (result == kConsoleNotNumber) continue;
    const Vec3 goal = goal_centre(robot, typed[0], typed[1], typed[2]);
    double LL1, LL2;
    if (goal_reach(robot, cell.EwG, goal, LL1, LL2)) {
      cell.rwG = goal;
      return;
    }
    console_printf("\nワーク位置遠すぎる．(LL1=%6.3f)>(LL2=J1,2-Jn=%6.3f)  設定し直し", LL1, LL2);
  }
}

void wall_dialog() {
  const Vec3 previous = cell.rh;
  for (;;) {
    console_printf("\n現在の薄壁左端位置 rh[]=(%6.3f %6.3f %6.3f)", cell.rh.x, cell.rh.y,
                   cell.rh.z);
    console_printf("\n新しい端位置(Ｙ座標値のみ入力) rh[]= ");
    double y;
    const int result = read_numbers(1, &y);
    if (result == kConsoleEnded) {
      cell.rh = previous;
      wall_corners(cell.rh, scene.wallCorner);
      console_printf("%s", kWallKept);
      return;
    }
    if (result == kConsoleNotNumber) continue;
    cell.rh.y = y;
    if (wall_accepted(robot, cell.rh, scene.methodB.Mcont)) {
      wall_corners(cell.rh, scene.wallCorner);
      return;
    }
    // Refused: the wall stays the last accepted one.
    cell.rh = previous;
    console_printf("\n壁遠すぎる．設定し直し");
  }
}
