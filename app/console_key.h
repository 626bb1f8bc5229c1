// One key read at the console, as the help screen waits for it.
#pragma once

// Reads one key from console.in and returns it (0..255), or -1 at end of input or on a read
// error, without waiting. On a terminal the key is taken at once, without echo and without
// Enter, and the terminal's end-of-input key (Ctrl-D) is the end of input; the terminal's
// settings are put back afterwards, also when SIGINT, SIGTERM, SIGHUP or SIGQUIT ends the
// program meanwhile, and while the stop key (Ctrl-Z, SIGTSTP) holds it stopped: once continued
// ('fg', SIGCONT) the wait goes on in single-key mode. From a pipe or file it is the next byte.
int read_console_key();
