#include "app/progress_bar.h"

#include <unistd.h>

#include <chrono>
#include <cmath>

#include "math/number_text.h"

namespace {

constexpr int kBarWidth = 30;
constexpr double kRedrawInterval = 0.1;  // seconds

// h:mm:ss or m:ss.
std::string duration(double seconds) {
  const long total = std::lround(seconds);
  const long h = total / 3600, m = total / 60 % 60, s = total % 60;
  char buffer[48];
  if (h > 0)
    snprintf(buffer, sizeof buffer, "%ld:%02ld:%02ld", h, m, s);
  else
    snprintf(buffer, sizeof buffer, "%ld:%02ld", m, s);
  return buffer;
}

}  // namespace

std::string progress_line(long done, long total, double elapsed, const char* unit) {
  if (total < 0) total = 0;
  if (done < 0) done = 0;
  if (done > total) done = total;
  const double share = total > 0 ? static_cast<double>(done) / total : 1.0;
  const int filled = static_cast<int>(share * kBarWidth);
  std::string line = "[" + std::string(filled, '#') + std::string(kBarWidth - filled, '-') + "]  ";
  line += std::to_string(done) + "/" + std::to_string(total) + " " + unit + "  ";
  line += std::to_string(static_cast<int>(share * 100)) + "%  ";
  if (done > 0 && elapsed > 0) {
    const double rate = done / elapsed;
    append_fixed(line, rate, rate < 10 ? 2 : 1);
    line += std::string(" ") + unit + "/s  ";
    line += duration((total - done) / rate) + " left";
  } else {
    line += std::string("- ") + unit + "/s  -:-- left";
  }
  return line;
}

double ProgressBar::steady_seconds() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

ProgressBar::ProgressBar(long total, FILE* stream, const char* unit)
    : ProgressBar(total, stream, unit, stream != nullptr && isatty(fileno(stream)) == 1,
                  steady_seconds) {}

ProgressBar::ProgressBar(long total, FILE* stream, const char* unit, bool shown, Clock clock)
    : stream_(stream),
      unit_(unit != nullptr ? unit : ""),
      shown_(shown && stream != nullptr),
      clock_(clock != nullptr ? clock : steady_seconds),
      start_(clock_()),
      total_(total),
      // So that the first update draws.
      lastDraw_(start_ - 2 * kRedrawInterval) {}

ProgressBar::~ProgressBar() {
  if (drawings_ > 0) finish();
}

void ProgressBar::update(long done) {
  long seen = done_.load();
  while (done > seen && !done_.compare_exchange_weak(seen, done)) {
  }
  if (!shown_ || finished_) return;
  const double now = clock_();
  if (now - lastDraw_.load() < kRedrawInterval) return;
  std::unique_lock<std::mutex> lock(drawing_, std::try_to_lock);
  if (!lock.owns_lock() || finished_) return;
  if (now - lastDraw_.load() < kRedrawInterval) return;  // another thread drew meanwhile
  draw(done_.load(), now);
}

void ProgressBar::finish() {
  if (finished_.exchange(true)) return;
  if (!shown_) return;
  std::lock_guard<std::mutex> lock(drawing_);
  draw(done_.load(), clock_());
  fputc('\n', stream_);
  fflush(stream_);
}

void ProgressBar::callback(void* context, long done, long total) {
  ProgressBar* bar = static_cast<ProgressBar*>(context);
  bar->total_ = total;
  bar->update(done);
}

void ProgressBar::draw(long done, double now) {
  lastDraw_ = now;
  const std::string line = progress_line(done, total_, now - start_, unit_.c_str());
  // Back to the line's start, the text, then clear what a longer earlier text left.
  fprintf(stream_, "\r%s\033[K", line.c_str());
  fflush(stream_);
  drawings_++;
}
