#include "app/map_job.h"

#include <atomic>
#include <cstdlib>
#include <thread>

#include "app/console.h"
#include "app/scene_state.h"
#include "task/feasibility_map.h"
#include "task/motion/map_evaluation.h"

namespace {

// The map being computed. The main thread starts and ends it; the worker thread writes the map,
// the progress and the result until it sets `finished`.
struct MapJob {
  std::thread worker;
  FeasibilityMap map;
  bool running = false;  // main thread only: started and not yet ended
  int result = 0;        // evaluate_maps's result, written before `finished`
  int ignoredKey = -1;   // main thread only
  std::atomic<bool> finished{false};
  std::atomic<bool> cancel{false};
  std::atomic<long> done{0};
  std::atomic<long> total{0};
  std::atomic<long> lastTenth{-1};
  MapCellEvaluator evaluate = evaluate_map_cell;  // set while no worker runs
};
MapJob job;

// The map's evaluator, which leaves its cell pending once the computation is cancelled (so the
// remaining cells pass in no time and evaluate_maps reports the map incomplete).
void evaluate_unless_cancelled(int type, const Workcell& scene, double x, double y, MapCell& cell) {
  if (!job.cancel.load(std::memory_order_relaxed)) job.evaluate(type, scene, x, y, cell);
}

// Progress from the worker threads: the largest count for the window, and a console line at
// every tenth of the cells, printed by the thread that first gets there.
void record_progress(void*, long done, long total) {
  long seen = job.done.load();
  while (done > seen && !job.done.compare_exchange_weak(seen, done)) {
  }
  if (job.cancel.load(std::memory_order_relaxed)) return;
  const long tenth = total > 0 ? 10 * done / total : 10;
  seen = job.lastTenth.load();
  while (tenth > seen)
    if (job.lastTenth.compare_exchange_weak(seen, tenth)) {
      console_printf("\n実行可能性マップ計算中 %ld/%ld", done, total);
      return;
    }
}

void run_job() {
  job.result = evaluate_maps(&job.map, 1, evaluate_unless_cancelled, 0, record_progress, nullptr);
  job.finished.store(true, std::memory_order_release);
}

// Joins the worker and shows the map when it is complete and was not cancelled.
void end_job() {
  if (job.worker.joinable()) job.worker.join();
  job.running = false;
  job.done = job.total = 0;
  if (job.result && !job.cancel.load()) {
    scene.floorMap = std::move(job.map);
    console_printf("\n実行可能性マップ完了\n");
    scene.floorMapShown = true;
  }
  job.map = FeasibilityMap{};
}

void cancel_at_exit() {
  floor_map_cancel();
}

}  // namespace

void floor_map_key() {
  if (job.running) return;
  if (scene.floorMapShown) return hide_floor_map();
  console_printf("\n\n//--------------実行可能性マップ: ロボット%d 壁端y=%.3f---------------//",
                 robot.type, cell.rh.y);
  if (!map_grid(robot.type, cell.rh.y, kMapDefaultStep, job.map)) return;
  job.map.boxes.assign(cell.obstacles, cell.obstacles + cell.obstacleCount);
  job.result = 0;
  job.ignoredKey = -1;
  job.finished = false;
  job.cancel = false;
  job.done = 0;
  job.total = map_pending_cells(&job.map, 1);
  job.lastTenth = -1;
  job.running = true;
  // Registered after `job` was built, so it runs before `job` is destroyed.
  static const bool joinedAtExit = std::atexit(cancel_at_exit) == 0;
  (void)joinedAtExit;
  try {
    job.worker = std::thread(run_job);
  } catch (...) {
    run_job();  // no thread to be had: computed here, the window waits
  }
}

void hide_floor_map() {
  scene.floorMapShown = false;
}

bool floor_map_computing() {
  return job.running;
}

void floor_map_progress(long& done, long& total) {
  done = job.running ? job.done.load() : 0;
  total = job.running ? job.total.load() : 0;
}

bool floor_map_poll() {
  if (!job.running || !job.finished.load(std::memory_order_acquire)) return false;
  end_job();
  return true;
}

void floor_map_wait() {
  if (job.running) end_job();
}

void floor_map_cancel() {
  if (!job.running) return;
  job.cancel = true;
  end_job();
}

void floor_map_use_evaluator(MapCellEvaluator evaluate) {
  if (!job.running) job.evaluate = evaluate != nullptr ? evaluate : evaluate_map_cell;
}

void floor_map_note_ignored_key(unsigned char key) {
  if (job.running) job.ignoredKey = key;
}

int floor_map_ignored_key() {
  return job.running ? job.ignoredKey : -1;
}
