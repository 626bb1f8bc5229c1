// The progress bar: its line, silence off a terminal, at most ten drawings a second, the final
// line, and updates from several threads.
#include "app/progress_bar.h"

#include <pty.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <thread>
#include <vector>

#include "console_capture.h"
#include "support.h"

namespace {

// A clock the test moves by hand.
double fakeNow = 100;
double fake_clock() {
  return fakeNow;
}

long count_of(const std::string& text, char c) {
  return std::count(text.begin(), text.end(), c);
}

// The line: the bar filled by the share, done of total, the share, the rate and time left; no
// rate before anything is done.
TEST(ProgressLine, ShowsCountShareRateAndTimeLeft) {
  EXPECT_EQ(progress_line(1234, 4225, 2.41, "cells"),
            "[########----------------------]  1234/4225 cells  29%  512.0 cells/s  0:06 left");
  EXPECT_EQ(progress_line(0, 4225, 0, "cells"),
            "[------------------------------]  0/4225 cells  0%  - cells/s  -:-- left");
  EXPECT_EQ(progress_line(4225, 4225, 8.25, "cells"),
            "[##############################]  4225/4225 cells  100%  512.1 cells/s  0:00 left");
  // Slow work: a rate below 10 with two decimals, hours in the time left.
  EXPECT_EQ(progress_line(3, 12000, 4.0, "cells"),
            "[------------------------------]  3/12000 cells  0%  0.75 cells/s  4:26:36 left");
  // Out-of-range counts are clamped; an empty total is complete.
  EXPECT_EQ(progress_line(9, 5, 1.0, "x").substr(0, 41),
            "[##############################]  5/5 x  ");
  EXPECT_EQ(progress_line(0, 0, 1.0, "x").substr(0, 41),
            "[##############################]  0/0 x  ");
}

// Not a terminal: nothing at all, whatever is updated.
TEST(ProgressBar, SilentWhenNotATerminal) {
  CapturedStream out;
  {
    ProgressBar bar(100, out.stream());
    EXPECT_FALSE(bar.shown());
    for (long k = 0; k <= 100; k++) bar.update(k);
    bar.finish();
  }
  EXPECT_EQ(out.text(), "");
  FILE* file = tmpfile();
  ProgressBar toFile(10, file);
  EXPECT_FALSE(toFile.shown());
  fclose(file);
}

// A terminal: shown (a pseudo-terminal stands in for one).
TEST(ProgressBar, ShownOnATerminal) {
  int master, slave;
  ASSERT_EQ(openpty(&master, &slave, nullptr, nullptr, nullptr), 0);
  FILE* terminal = fdopen(slave, "w");
  {
    ProgressBar bar(10, terminal);
    EXPECT_TRUE(bar.shown());
    bar.update(10);
    bar.finish();
    EXPECT_EQ(bar.drawings(), 2);
  }
  char buffer[512] = {};
  const ssize_t n = read(master, buffer, sizeof buffer - 1);
  EXPECT_GT(n, 0);
  EXPECT_NE(std::string(buffer).find("10/10 cells"), std::string::npos);
  fclose(terminal);
  close(master);
}

// At most one drawing per 0.1 s, the first update drawing at once; the final line always, once,
// ending the line; nothing after it.
TEST(ProgressBar, RedrawsAtMostTenTimesASecond) {
  CapturedStream out;
  fakeNow = 100;
  ProgressBar bar(1000, out.stream(), "cells", true, fake_clock);
  for (long k = 1; k <= 500; k++) bar.update(k);
  EXPECT_EQ(bar.drawings(), 1);
  fakeNow += 0.05;
  for (long k = 501; k <= 600; k++) bar.update(k);
  EXPECT_EQ(bar.drawings(), 1);
  fakeNow += 0.06;
  bar.update(601);
  EXPECT_EQ(bar.drawings(), 2);
  bar.update(602);
  EXPECT_EQ(bar.drawings(), 2);
  // A smaller count arriving late from another thread does not move the bar back.
  fakeNow += 1;
  bar.update(10);
  EXPECT_EQ(bar.drawings(), 3);
  std::string text = out.text();
  EXPECT_EQ(text.substr(text.rfind('\r') + 1).find("602/1000"), 34u) << text;
  bar.update(1000);
  fakeNow += 1;
  bar.finish();
  bar.finish();
  bar.update(1000);
  text = out.text();
  EXPECT_EQ(bar.drawings(), 4);  // the update to 1000 came too soon; the final line shows it
  EXPECT_EQ(count_of(text, '\r'), 4);
  EXPECT_EQ(count_of(text, '\n'), 1);
  EXPECT_EQ(text.back(), '\n');
  const std::string last = text.substr(text.rfind('\r') + 1);
  EXPECT_EQ(last.find("[##############################]  1000/1000 cells  100%"), 0u) << last;
}

// The feasibility map's callback form sets the total; the destructor ends a started line.
TEST(ProgressBar, CallbackAndDestructor) {
  CapturedStream out;
  fakeNow = 5;
  {
    ProgressBar bar(0, out.stream(), "cells", true, fake_clock);
    ProgressBar::callback(&bar, 0, 40);
    fakeNow += 1;
    ProgressBar::callback(&bar, 40, 40);
  }
  const std::string text = out.text();
  EXPECT_EQ(count_of(text, '\n'), 1);
  EXPECT_NE(text.find("40/40 cells  100%"), std::string::npos) << text;
  EXPECT_EQ(text.find("0/0"), std::string::npos);
}

// Many threads updating at once: no torn lines, the final line shows the total.
TEST(ProgressBar, UpdatesFromManyThreads) {
  CapturedStream out;
  const long total = 40000;
  ProgressBar bar(total, out.stream(), "cells", true, ProgressBar::steady_seconds);
  std::atomic<long> next{0};
  std::vector<std::thread> workers;
  for (int t = 0; t < 4; t++)
    workers.emplace_back([&] {
      for (long k; (k = ++next) <= total;) bar.update(k);
    });
  for (std::thread& worker : workers) worker.join();
  bar.finish();
  const std::string text = out.text();
  EXPECT_EQ(count_of(text, '\r'), bar.drawings());
  EXPECT_EQ(count_of(text, '\n'), 1);
  EXPECT_NE(text.find("40000/40000 cells  100%"), std::string::npos);
  // Each drawing is one whole line: "\r", the text, the clear-to-end sequence.
  EXPECT_EQ(count_of(text, '\033'), bar.drawings());
}

}  // namespace
