// Console capture for the shell's tests: output read back from memory, input typed from text.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "app/console.h"

// Console output captured in memory while a routine runs, input read from a given stream; the
// console is back on stdin and stdout afterwards.
class CapturedConsole {
 public:
  explicit CapturedConsole(FILE* in) : out_(open_memstream(&text_, &size_)) {
    console = {in, out_};
  }
  ~CapturedConsole() {
    console = {stdin, stdout};
    fclose(out_);
    free(text_);
  }
  std::string text() {
    fflush(out_);
    return std::string(text_, size_);
  }

 private:
  char* text_ = nullptr;
  size_t size_ = 0;
  FILE* out_;
};

// A console input stream holding text, as if typed, and then ending (text may be empty).
inline FILE* typed_input(const char* text) {
  if (text[0] == '\0') return fopen("/dev/null", "r");
  return fmemopen(const_cast<char*>(text), strlen(text), "r");
}
