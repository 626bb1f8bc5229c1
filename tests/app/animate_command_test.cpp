// --animate on the command line: a film of the planned motion written whole, bad input refused
// with status 2 and one line, and a scene without a motion refused with status 1; in every
// refusal nothing is left in the output's directory.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "app/command_line.h"
#include "app/command_modes.h"
#include "console_capture.h"
#include "support.h"

namespace {

struct Output {
  int status;
  std::string out, err;
};

// Parses and runs "armsim --animate FILE" with the arguments, as main does, with no display
// named (the window tests' DISPLAY is put back after). It runs on a thread of its own, as the
// program's main thread has no other context: the window tests of this process keep a GLX context
// current on theirs, and a thread holds contexts of one window system at a time.
Output animate(const std::string& file, const std::vector<const char*>& arguments) {
  Output o;
  const char* display = getenv("DISPLAY");
  const std::string named = display != nullptr ? display : "";
  unsetenv("DISPLAY");
  std::thread run([&] {
    std::vector<const char*> argv = {"armsim", "--animate", file.c_str()};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    CommandLine command;
    const int parsed = parse_command_line(static_cast<int>(argv.size()), argv.data(), command);
    CapturedStream out, err;
    o.status = parsed == kCommandLineRun
                   ? run_command(command, out.stream(), err.stream())
                   : finish_command_line(parsed, command, out.stream(), err.stream());
    o.out = out.text();
    o.err = err.text();
  });
  run.join();
  if (display != nullptr) setenv("DISPLAY", named.c_str(), 1);
  return o;
}

std::string scratch_directory() {
  char path[] = "/tmp/armsim-animate-XXXXXX";
  return mkdtemp(path);
}

long lines(const std::string& text) {
  return std::count(text.begin(), text.end(), '\n');
}

// Bad input: an unknown or missing extension, a directory that does not exist, a rate outside
// 1..120 or not whole, a size not WxH or with a side outside 16..4096, an MP4 of odd sides, and
// an option of another mode. Status 2, one line naming the option, no file.
TEST(AnimateCommand, BadInputWritesNothing) {
  const std::string dir = scratch_directory();
  struct Case {
    std::string file;
    std::vector<const char*> arguments;
    const char* named;
  };
  const std::vector<Case> cases = {
      {dir + "/motion.avi", {}, "--animate"},
      {dir + "/motion", {}, "--animate"},
      {dir + "/missing/motion.gif", {}, "--animate"},
      {dir + "/motion.gif", {"--fps", "0"}, "--fps"},
      {dir + "/motion.gif", {"--fps", "121"}, "--fps"},
      {dir + "/motion.gif", {"--fps", "2.5"}, "--fps"},
      {dir + "/motion.gif", {"--size", "15x600"}, "--size"},
      {dir + "/motion.gif", {"--size", "600x4097"}, "--size"},
      {dir + "/motion.gif", {"--size", "600"}, "--size"},
      {dir + "/motion.gif", {"--size", "600x600x3"}, "--size"},
      {dir + "/motion.gif", {"--size", "x600"}, "--size"},
      {dir + "/motion.mp4", {"--size", "601x600"}, "--size"},
      {dir + "/motion.gif", {"--csv", "m.csv"}, "--csv"},
      {dir + "/motion.gif", {"--fps", "25", "--plan"}, "--plan"},
  };
  for (const Case& c : cases) {
    const Output o = animate(c.file, c.arguments);
    const std::string label =
        c.file + (c.arguments.empty() ? "" : " " + std::string(c.arguments[0]));
    EXPECT_EQ(o.status, 2) << label;
    EXPECT_EQ(lines(o.err), 1) << label << ": " << o.err;
    EXPECT_NE(o.err.find(c.named), std::string::npos) << label << ": " << o.err;
    EXPECT_TRUE(o.out.empty()) << label;
    EXPECT_TRUE(directory_entries(dir).empty()) << label;
  }
  rmdir(dir.c_str());
}

// Method B's final pose below the floor is no goal: no motion to film, status 1 with the reason
// and no file.
TEST(AnimateCommand, NoMotionWritesNothing) {
  const std::string dir = scratch_directory();
  const Output o = animate(dir + "/motion.gif", {"--type", "1", "--goal", "0.438", "1.902", "0.804",
                                                 "--wall", "1.303", "--to", "method-b"});
  EXPECT_EQ(o.status, 1);
  EXPECT_EQ(lines(o.err), 1) << o.err;
  EXPECT_NE(o.err.find("no motion to film"), std::string::npos) << o.err;
  EXPECT_TRUE(directory_entries(dir).empty());
  rmdir(dir.c_str());
}

// The default scene's still at a small size: status 0, the plan's text and the film's line on
// stdout, nothing on stderr (not a terminal: no progress), the file alone in its directory (no
// temporary left) and a PNG of the size asked.
TEST(AnimateCommand, StillIsWrittenWhole) {
  const std::string dir = scratch_directory(), file = dir + "/goal.png";
  const Output o = animate(file, {"--size", "64x48"});
  ASSERT_EQ(o.status, 0) << o.err;
  EXPECT_TRUE(o.err.empty()) << o.err;
  EXPECT_NE(o.out.find("goal pose:"), std::string::npos) << o.out;
  EXPECT_NE(o.out.find("film: " + file), std::string::npos) << o.out;
  EXPECT_EQ(directory_entries(dir), std::vector<std::string>{"goal.png"});
  FILE* png = std::fopen(file.c_str(), "rb");
  ASSERT_NE(png, nullptr);
  unsigned char header[24];
  ASSERT_EQ(std::fread(header, 1, sizeof header, png), sizeof header);
  std::fclose(png);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(header + 1), 3), "PNG");
  // Width and height, big-endian, in the IHDR chunk.
  EXPECT_EQ(header[16] << 24 | header[17] << 16 | header[18] << 8 | header[19], 64);
  EXPECT_EQ(header[20] << 24 | header[21] << 16 | header[22] << 8 | header[23], 48);
  unlink(file.c_str());
  rmdir(dir.c_str());
}

// Starts the program on "--animate file --size size --fps fps" with no display named and its
// output silenced; returns its process id (or -1).
pid_t start_film(const std::string& file, const char* size, const char* fps) {
  const pid_t child = fork();
  if (child == 0) {
    unsetenv("DISPLAY");
    std::freopen("/dev/null", "w", stdout);
    std::freopen("/dev/null", "w", stderr);
    execl(ARMSIM_BINARY, "armsim", "--animate", file.c_str(), "--size", size, "--fps", fps,
          static_cast<char*>(nullptr));
    _exit(127);
  }
  return child;
}

// An interrupted render leaves nothing: the program, started on a long film with no display,
// is sent SIGINT (and in a second run SIGTERM) once its temporary file exists; it ends by that
// signal and its directory is empty.
TEST(AnimateCommand, InterruptedRenderLeavesNothing) {
  for (int signal : {SIGINT, SIGTERM}) {
    const std::string dir = scratch_directory(), file = dir + "/long.mp4";
    const pid_t child = start_film(file, "1600x1600", "120");
    ASSERT_GE(child, 0);
    bool pending = false;
    for (int k = 0; k < 2000 && !pending; k++) {
      for (const std::string& name : directory_entries(dir))
        pending = pending || name.find(".tmp") != std::string::npos;
      if (!pending) usleep(5000);
    }
    EXPECT_TRUE(pending) << "no temporary file appeared";
    kill(child, signal);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal) << status;
    EXPECT_TRUE(directory_entries(dir).empty());
    for (const std::string& name : directory_entries(dir)) unlink((dir + "/" + name).c_str());
    rmdir(dir.c_str());
  }
}

// The same command gives the same bytes: the program run twice, as a user would, writes the same
// GIF and the same MP4.
TEST(AnimateCommand, SameCommandSameBytes) {
  for (const char* extension : {".gif", ".mp4"}) {
    const std::string dir = scratch_directory();
    std::string bytes[2];
    for (int run = 0; run < 2; run++) {
      const std::string file = dir + "/film" + std::to_string(run) + extension;
      const pid_t child = start_film(file, "320x240", "30");
      ASSERT_GE(child, 0);
      int status = 0;
      ASSERT_EQ(waitpid(child, &status, 0), child);
      ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << extension << " " << status;
      std::ifstream in(file, std::ios::binary);
      bytes[run].assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
      unlink(file.c_str());
    }
    EXPECT_GT(bytes[0].size(), 1000u) << extension;
    EXPECT_TRUE(bytes[0] == bytes[1]) << extension;
    rmdir(dir.c_str());
  }
}

}  // namespace
