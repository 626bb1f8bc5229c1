// printf to a given stream, flushed at once, so a pipe sees each message when it happens: the
// traces print through it to the console or to the command line's output.
#pragma once

#include <cstdarg>
#include <cstdio>

void flushed_printf(FILE* out, const char* format, ...) __attribute__((format(printf, 2, 3)));

// The same with the arguments as a va_list.
void flushed_vprintf(FILE* out, const char* format, va_list args);
