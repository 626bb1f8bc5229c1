#include "task/flushed_print.h"

void flushed_printf(FILE* out, const char* format, ...) {
  va_list args;
  va_start(args, format);
  flushed_vprintf(out, format, args);
  va_end(args);
}

void flushed_vprintf(FILE* out, const char* format, va_list args) {
  vfprintf(out, format, args);
  fflush(out);
}
