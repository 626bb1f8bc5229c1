// A progress bar on one line of a terminal (stderr by default) for a long computation such as
// the feasibility map: units done of the total, the share, the rate and the time left, e.g.
//   [##########--------------------]  1234/4225 cells  29%  512.3 cells/s  0:06 left
// redrawn in place at most ten times a second, and silent when the stream is not a terminal (a
// pipe or a file gets nothing). Updates may come from several threads at once.
#pragma once

#include <atomic>
#include <cstdio>
#include <mutex>
#include <string>

// The bar's text (without the carriage return) for done of total units after `elapsed`
// seconds; unit names what is counted ("cells"). The rate and time left need done > 0 and
// elapsed > 0, else they show as "-". Numbers in the C locale.
std::string progress_line(long done, long total, double elapsed, const char* unit);

class ProgressBar {
 public:
  // Seconds on a monotonic clock; replaceable for tests.
  typedef double (*Clock)();
  static double steady_seconds();

  // A bar counting `total` units on `stream`, shown only when the stream is a terminal.
  explicit ProgressBar(long total, FILE* stream = stderr, const char* unit = "cells");
  // The same, shown when `shown` whatever the stream, timed by `clock`.
  ProgressBar(long total, FILE* stream, const char* unit, bool shown, Clock clock);
  // Finishes the line if it was started and not finished.
  ~ProgressBar();
  ProgressBar(const ProgressBar&) = delete;
  ProgressBar& operator=(const ProgressBar&) = delete;

  // Whether anything is drawn.
  bool shown() const { return shown_; }
  // Records that `done` units are finished (the largest value reported counts) and redraws
  // when 0.1 s or more passed since the last drawing. Thread-safe and cheap when not drawing;
  // never waits for another thread's drawing (that update is then skipped).
  void update(long done);
  // Draws the final state and ends the line; later updates draw nothing. Call it once the work
  // is over, from one thread.
  void finish();
  // Lines drawn so far (each drawing rewrites the same terminal line).
  long drawings() const { return drawings_; }

  // For MapProgressCallback (app/feasibility_map.h): context is the ProgressBar; the total
  // given replaces the bar's.
  static void callback(void* context, long done, long total);

 private:
  void draw(long done, double now);

  FILE* stream_;
  std::string unit_;
  bool shown_;
  Clock clock_;
  double start_;
  std::atomic<long> total_;
  std::atomic<long> done_{0};
  std::atomic<double> lastDraw_;
  std::atomic<bool> finished_{false};
  std::atomic<long> drawings_{0};
  std::mutex drawing_;
};
