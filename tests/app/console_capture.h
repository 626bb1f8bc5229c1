// Console capture for the shell's tests: output read back from memory, input typed from text.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "app/console.h"

// A stream whose output is kept in memory and read back as text.
class CapturedStream {
 public:
  CapturedStream() : stream_(open_memstream(&text_, &size_)) {}
  ~CapturedStream() {
    fclose(stream_);
    free(text_);
  }
  FILE* stream() { return stream_; }
  std::string text() {
    fflush(stream_);
    return std::string(text_, size_);
  }

 private:
  char* text_ = nullptr;
  size_t size_ = 0;
  FILE* stream_;
};

// Console output captured in memory while a routine runs, input read from a given stream; the
// console is back on stdin and stdout afterwards.
class CapturedConsole {
 public:
  explicit CapturedConsole(FILE* in) { console = {in, out_.stream()}; }
  ~CapturedConsole() { console = {stdin, stdout}; }
  std::string text() { return out_.text(); }

 private:
  CapturedStream out_;
};

// A console input stream holding text, as if typed, and then ending (text may be empty).
inline FILE* typed_input(const char* text) {
  if (text[0] == '\0') return fopen("/dev/null", "r");
  return fmemopen(const_cast<char*>(text), strlen(text), "r");
}
