#include "app/floor_map.h"

#include <atomic>

#include "app/console.h"
#include "app/feasibility_map.h"
#include "app/map_evaluation.h"
#include "app/scene_state.h"

namespace {

// Console progress from the worker threads: a line at every tenth of the cells, printed by the
// thread that first gets there.
void console_progress(void* context, long done, long total) {
  std::atomic<long>& lastTenth = *static_cast<std::atomic<long>*>(context);
  const long tenth = total > 0 ? 10 * done / total : 10;
  long seen = lastTenth.load();
  while (tenth > seen)
    if (lastTenth.compare_exchange_weak(seen, tenth)) {
      console_printf("\n実行可能性マップ計算中 %ld/%ld", done, total);
      return;
    }
}

}  // namespace

void floor_map_key() {
  if (scene.floorMapShown) return hide_floor_map();
  console_printf("\n\n//--------------実行可能性マップ: ロボット%d 壁端y=%.3f---------------//",
                 scene.JRTYPE, cell.rh.y);
  std::atomic<long> lastTenth(-1);
  if (!compute_feasibility_map(scene.JRTYPE, cell.rh.y, kMapDefaultStep, evaluate_map_cell, 0,
                               console_progress, &lastTenth, scene.floorMap))
    return;
  console_printf("\n実行可能性マップ完了\n");
  scene.floorMapShown = true;
}

void hide_floor_map() {
  scene.floorMapShown = false;
}
