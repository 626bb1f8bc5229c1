// Output files that appear whole or not at all: the text is written to a temporary file in the
// target's own directory (".NAME.tmp-PID-N", created exclusively, permissions 0666 less the
// umask) and renamed onto the target only once everything was written and closed. Any failure
// removes the temporary file and leaves the target as it was (absent or the old contents).
// Used by the picture and table writers of the feasibility map, the URDF and the motion table,
// and by the command line's early check of its output paths.
#pragma once

#include <cstdio>
#include <string>

struct AtomicFile {
  FILE* stream = nullptr;  // open for writing while the file is pending, else nullptr
  std::string target;      // the path the file will have
  std::string temporary;   // the temporary path, empty when none exists
};

// Creates the temporary file next to path and opens it in file.stream. Returns 1, or 0 with
// why = one line naming the path and the system's reason (nothing is left behind).
int atomic_file_open(const char* path, AtomicFile& file, std::string& why);

// Closes the stream and renames the temporary file onto the target. Returns 1 when the target
// now holds everything written; 0 with why set when a write, the close or the rename failed,
// and the temporary file is then removed.
int atomic_file_commit(AtomicFile& file, std::string& why);

// Writes text to path whole or not at all (open, write, commit). Returns 1, or 0 with why set
// (one line naming the path and the system's reason) and the target as it was.
int atomic_file_write(const char* path, const std::string& text, std::string& why);

// Closes and removes the temporary file, if any: the target stays as it was.
void atomic_file_abandon(AtomicFile& file);

// Whether a file could be written at path: its directory exists and is writable, and path does
// not name a directory. Creates nothing. Returns 1, or 0 with why set (one line).
int output_path_writable(const char* path, std::string& why);
