#include "math/message_log.h"

#include <cstdarg>
#include <cstdio>

void log_clear(MessageLog& log) {
  log.length = 0;
  log.text[0] = '\0';
}

void log_printf(MessageLog* log, const char* format, ...) {
  if (log == nullptr) return;
  const int room = kMessageLogCapacity - log->length;
  va_list args;
  va_start(args, format);
  const int n = std::vsnprintf(log->text + log->length, room, format, args);
  va_end(args);
  if (n >= 0 && n < room)
    log->length += n;
  else
    log->text[log->length] = '\0';
}
