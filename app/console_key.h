// One key read at the console, as the help screen waits for it.
#pragma once

// Reads one key from console.in and returns it (0..255), or -1 at end of input or on a read
// error, without waiting. On a terminal the key is taken at once, without echo and without
// Enter; the terminal's settings are put back afterwards, also when SIGINT, SIGTERM, SIGHUP or
// SIGQUIT ends the program meanwhile. From a pipe or file it is the next byte.
int read_console_key();
