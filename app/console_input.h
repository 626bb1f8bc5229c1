// Numbers typed at the console for the dialogs: one word at a time from console.in, converted in
// the C locale whatever the environment says, so "0.5" always means one half.
#pragma once

// Results of read_console_number.
constexpr int kConsoleNumber = 1;     // a number was read
constexpr int kConsoleNotNumber = 0;  // the word was not a number; the rest of its line is gone
constexpr int kConsoleEnded = -1;     // end of input or a read error before any word

// Reads the next word (blanks and line feeds before it are skipped) and converts all of it as a
// finite number into value. A word that is not entirely a number, or one that is not finite
// ("nan", "inf", 1e999), is discarded with the rest of its line, and value is left alone; so is
// it at the end of input.
int read_console_number(double& value);
