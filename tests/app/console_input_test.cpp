#include "app/console_input.h"

#include <unistd.h>

#include <clocale>
#include <cmath>
#include <string>

#include "console_capture.h"
#include "support.h"

namespace {

// Reads every word of text; results and values in order, the last result being the end.
struct Reading {
  int results[16];
  double values[16];
  int count;
};

Reading read_all(const char* text) {
  FILE* in = typed_input(text);
  console.in = in;
  Reading r = {};
  while (r.count < 16) {
    r.values[r.count] = -99;
    r.results[r.count] = read_console_number(r.values[r.count]);
    if (r.results[r.count++] == kConsoleEnded) break;
  }
  console.in = stdin;
  fclose(in);
  return r;
}

// Numbers separated by blanks and line feeds, in any notation the C runtime converts, and the
// end of input reported as such. Catches a number split or lost between lines, or an end that
// reads as a number.
TEST(ConsoleNumber, WordsAcrossLines) {
  const Reading r = read_all("  -0.6 2.2\t0\n\n1e-3 +4 0x10 .5\n7");
  const double expected[8] = {-0.6, 2.2, 0, 1e-3, 4, 16, 0.5, 7};
  ASSERT_EQ(r.count, 9);
  for (int k = 0; k < 8; k++) {
    EXPECT_EQ(r.results[k], kConsoleNumber) << k;
    EXPECT_EQ(r.values[k], expected[k]) << k;
  }
  EXPECT_EQ(r.results[8], kConsoleEnded);
  EXPECT_EQ(r.values[8], -99);
}

// A word that is not wholly a number is refused, and the rest of its line goes with it, but
// not the next line; the value is left alone. Catches the endless re-reading of the same text
// that formatted input would do, and numbers taken from a half-number such as "1,5".
TEST(ConsoleNumber, BadWordDropsTheRestOfItsLine) {
  const Reading r = read_all("abc 1 2\n1,5 3\n4 x5\n2.5e\n6");
  const int results[7] = {kConsoleNotNumber, kConsoleNotNumber, kConsoleNumber, kConsoleNotNumber,
                          kConsoleNotNumber, kConsoleNumber,    kConsoleEnded};
  ASSERT_EQ(r.count, 7);
  for (int k = 0; k < 7; k++) EXPECT_EQ(r.results[k], results[k]) << k;
  EXPECT_EQ(r.values[0], -99);
  EXPECT_EQ(r.values[2], 4);
  EXPECT_EQ(r.values[5], 6);

  // A bad word at the very end of the line leaves the next line whole.
  const Reading last = read_all("1 zz\n3\n");
  EXPECT_EQ(last.results[1], kConsoleNotNumber);
  EXPECT_EQ(last.results[2], kConsoleNumber);
  EXPECT_EQ(last.values[2], 3);

  // Words too long to be held, or with a NUL byte in them, are no numbers.
  std::string longWord(200, '1');
  const Reading longRead = read_all((longWord + " 2\n8").c_str());
  EXPECT_EQ(longRead.results[0], kConsoleNotNumber);
  EXPECT_EQ(longRead.values[1], 8);
  char withNul[] = "1\0002 5\n9";
  FILE* in = fmemopen(withNul, sizeof withNul - 1, "r");
  console.in = in;
  double value = -99;
  EXPECT_EQ(read_console_number(value), kConsoleNotNumber);
  EXPECT_EQ(read_console_number(value), kConsoleNumber);
  EXPECT_EQ(value, 9);
  console.in = stdin;
  fclose(in);
}

// "nan", "inf" and numbers beyond the double range are no numbers, each dropping its line.
// Catches a NaN reaching the dialogs, which showed it as the current goal.
TEST(ConsoleNumber, NonFiniteWordsAreNoNumbers) {
  const Reading r = read_all("nan\ninf\n-Infinity\n1e999\n7");
  for (int k = 0; k < 4; k++) EXPECT_EQ(r.results[k], kConsoleNotNumber) << k;
  EXPECT_EQ(r.results[4], kConsoleNumber);
  EXPECT_EQ(r.values[4], 7);
}

// In a locale with a decimal comma "0.5" is still one half and "0,5" no number. Catches
// conversion through the process's locale, which would refuse "0.5" or read it as 0.
TEST(ConsoleNumber, DecimalPointWhateverTheLocale) {
  const char* names[] = {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "ru_RU.UTF-8"};
  const char* chosen = nullptr;
  for (const char* name : names)
    if (setlocale(LC_ALL, name) != nullptr) {
      chosen = name;
      break;
    }
  if (chosen == nullptr) GTEST_SKIP() << "no locale with a decimal comma is installed";
  ASSERT_EQ(std::string(localeconv()->decimal_point), ",") << chosen;
  const Reading r = read_all("0.5 0,5\n-1.25");
  setlocale(LC_ALL, "C");
  EXPECT_EQ(r.results[0], kConsoleNumber);
  EXPECT_EQ(r.values[0], 0.5);
  EXPECT_EQ(r.results[1], kConsoleNotNumber);
  EXPECT_EQ(r.values[2], -1.25);
}

// The end of input stays the end, even when the stream could deliver more later (a terminal
// after Ctrl-D, a file that grows). Catches a later dialog waiting on a console that has ended.
TEST(ConsoleNumber, EndIsFinal) {
  FILE* in = tmpfile();
  ASSERT_NE(in, nullptr);
  fputs("1", in);
  rewind(in);
  console.in = in;
  double value;
  EXPECT_EQ(read_console_number(value), kConsoleNumber);
  EXPECT_EQ(read_console_number(value), kConsoleEnded);
  FILE* writer = fdopen(dup(fileno(in)), "a");
  fputs(" 2\n", writer);
  fclose(writer);
  EXPECT_EQ(read_console_number(value), kConsoleEnded);
  EXPECT_EQ(value, 1);
  console.in = stdin;
  fclose(in);
}

}  // namespace
