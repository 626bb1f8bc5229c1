// Numbers as text for files other programs read: the C locale whatever the process's locale.
#pragma once

#include <string>

// Appends value with up to `digits` significant digits (17 round-trips a double), shortest
// form, a negative zero as 0.
void append_number(std::string& text, double value, int digits);

// Appends value in fixed notation with `decimals` digits after the point; a value that rounds
// to zero shows no sign.
void append_fixed(std::string& text, double value, int decimals);
