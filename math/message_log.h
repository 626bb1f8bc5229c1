// The diagnostic lines a solver reports on its way ("no solution" notes of its branches), kept
// in order for the caller to print or drop. Solvers never print themselves, so they can run on
// several threads and without a console.
#pragma once

constexpr int kMessageLogCapacity = 16384;

// Text appended so far (NUL-terminated); what would overflow the capacity is dropped whole.
struct MessageLog {
  int length;
  char text[kMessageLogCapacity];
};

// Empties log.
void log_clear(MessageLog& log);

// printf-style append to log; a null log discards the message.
void log_printf(MessageLog* log, const char* format, ...) __attribute__((format(printf, 2, 3)));
