#include "app/console.h"

#include <cstdarg>

Console console = {stdin, stdout};

void console_printf(const char* format, ...) {
  va_list args;
  va_start(args, format);
  vfprintf(console.out, format, args);
  va_end(args);
  fflush(console.out);
}
