#include "math/number_text.h"

#include <charconv>

void append_number(std::string& text, double value, int digits) {
  char buffer[40];
  if (value == 0) value = 0;
  const std::to_chars_result result =
      std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general, digits);
  text.append(buffer, result.ptr);
}
