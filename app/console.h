// The console seam: every console message and every number typed at the console goes through
// these streams, so tests can type into dialogs and read the traces.
#pragma once

#include <cstdio>

struct Console {
  FILE* in;   // stdin unless a test or the shell redirects it
  FILE* out;  // stdout unless a test or the shell redirects it
};

extern Console console;

// printf to the console output, flushed at once so a pipe sees each message when it happens.
void console_printf(const char* format, ...) __attribute__((format(printf, 1, 2)));
