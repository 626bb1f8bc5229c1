#include "app/console_dialogs.h"

#include "app/console_key.h"
#include "app/scene_state.h"
#include "model/console.h"
#include "model/state.h"

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

}  // namespace

void help_screen() {
  for (const char* item : kHelpItems) console_printf("%s", item);
  print_settings();
  console_printf("%s", kHelpClosing);
  read_console_key();
}

void print_settings() {
  const char* letter = robot.jointAxisLetter;
  const double halfHeight = robot.workSize[2] / 2;
  console_printf("\n(F) ロボットの自由度N=%d   関節構造 JRTYPE%d='%c%c-%c%c-%c%c%c'", robot.N,
                 scene.JRTYPE, letter[1], letter[2], letter[3], letter[4], letter[5], letter[6],
                 letter[7]);
  console_printf("\n(G) 目標位置 rwG[]=(%6.2f %6.2f %6.2f)", cell.rwG.x, cell.rwG.y,
                 cell.rwG.z - halfHeight);
  console_printf("\n    目標姿勢：ワークを下向きに置く：変えない");
  console_printf("\n(O) 薄壁の垂直端下位置 rh[]=(%6.2f %6.2f %6.2f)", cell.rh.x, cell.rh.y,
                 cell.rh.z);
  console_printf("\n");
}
