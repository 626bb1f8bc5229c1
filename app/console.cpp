#include "app/console.h"

#include <cstdarg>

#include "task/flushed_print.h"

Console console = {stdin, stdout};

void console_printf(const char* format, ...) {
  va_list args;
  va_start(args, format);
  flushed_vprintf(console.out, format, args);
  va_end(args);
}
