// The program's command line run in this process as main runs it: parsed, then run or finished,
// with stdout and stderr captured.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "app/command_line.h"
#include "app/command_modes.h"
#include "console_capture.h"

struct Output {
  int status;
  std::string out, err;
};

// Runs "armsim" with the arguments; stdout goes to `out` instead when it is given (and is then
// not captured).
inline Output run_as_main(std::vector<const char*> arguments, FILE* out = nullptr) {
  arguments.insert(arguments.begin(), "armsim");
  arguments.push_back(nullptr);
  CommandLine command;
  CapturedStream captured, err;
  FILE* stream = out != nullptr ? out : captured.stream();
  int status =
      parse_command_line(static_cast<int>(arguments.size()) - 1, arguments.data(), command);
  status = status == kCommandLineRun ? run_command(command, stream, err.stream())
                                     : finish_command_line(status, command, stream, err.stream());
  return {status, out != nullptr ? "" : captured.text(), err.text()};
}
