#include "math/number_text.h"

#include <charconv>

void append_number(std::string& text, double value, int digits) {
  char buffer[40];
  if (value == 0) value = 0;
  const std::to_chars_result result =
      std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general, digits);
  text.append(buffer, result.ptr);
}

void append_fixed(std::string& text, double value, int decimals) {
  char buffer[64];
  const std::to_chars_result result =
      std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, decimals);
  // A value that rounds to zero shows no sign.
  bool zero = true;
  for (const char* c = buffer; c < result.ptr; c++) zero = zero && (*c < '1' || *c > '9');
  text.append(buffer + (zero && buffer[0] == '-'), result.ptr);
}
