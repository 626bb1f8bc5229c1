#include "app/console_input.h"

#include <locale.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "app/console.h"

namespace {

// Longest word taken as a number.
constexpr int kMaxWord = 127;

bool is_blank(int c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

// The C locale as an object, so that conversion never depends on the process's locale.
// glibc hands out its built-in C locale here without allocating.
locale_t c_locale() {
  static locale_t locale = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(0));
  return locale;
}

// Whether word (NUL-terminated) converts entirely as a finite number in the C locale; "nan",
// "inf" and numbers beyond the double range are no numbers a dialog can use.
bool convert_word(const char* word, double& value) {
  char* end = nullptr;
  const double converted = strtod_l(word, &end, c_locale());
  if (end == word || *end != '\0' || !std::isfinite(converted)) return false;
  value = converted;
  return true;
}

}  // namespace

int read_console_number(double& value) {
  FILE* in = console.in;
  // End of input stays the end: a later dialog must not wait on a console that has gone.
  if (feof(in) || ferror(in)) return kConsoleEnded;
  int c = getc(in);
  while (is_blank(c)) c = getc(in);
  if (c == EOF) return kConsoleEnded;

  char word[kMaxWord + 1];
  int length = 0;
  // A word too long to hold, or with a NUL byte in it, is no number.
  bool refused = false;
  for (; c != EOF && !is_blank(c); c = getc(in)) {
    if (length < kMaxWord && c != '\0')
      word[length++] = static_cast<char>(c);
    else
      refused = true;
  }
  word[length] = '\0';

  if (!refused && convert_word(word, value)) {
    // The blank after the number stays unread, as formatted input leaves it.
    if (c != EOF) ungetc(c, in);
    return kConsoleNumber;
  }
  while (c != '\n' && c != EOF) c = getc(in);
  return kConsoleNotNumber;
}
