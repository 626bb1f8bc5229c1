#include "app/console.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "app/console_dialogs.h"
#include "app/console_key.h"
#include "app/scene_state.h"
#include "app/startup.h"
#include "console_capture.h"
#include "model/robot_catalogue.h"
#include "model/state.h"
#include "support.h"

namespace {

// A stream that holds the given bytes and then ends, as a pipe does when its writer is done.
FILE* pipe_with(const char* bytes) {
  int ends[2];
  if (pipe(ends) != 0) return nullptr;
  if (write(ends[1], bytes, strlen(bytes)) < 0) return nullptr;
  close(ends[1]);
  return fdopen(ends[0], "r");
}

std::string golden(const char* name) {
  std::ifstream file(std::string(ARMSIM_GOLDEN_DIR) + "/" + name, std::ios::binary);
  std::stringstream text;
  text << file.rdbuf();
  return text.str();
}

// A pseudo-terminal: the program's side (slave) and the user's side (master).
struct Terminal {
  int master = -1, slave = -1;
};

Terminal open_terminal() {
  Terminal t;
  t.master = posix_openpt(O_RDWR | O_NOCTTY);
  if (t.master < 0 || grantpt(t.master) != 0 || unlockpt(t.master) != 0) return t;
  t.slave = open(ptsname(t.master), O_RDWR | O_NOCTTY);
  return t;
}

bool line_mode_with_echo(int fd) {
  struct termios settings;
  tcgetattr(fd, &settings);
  return (settings.c_lflag & ICANON) && (settings.c_lflag & ECHO);
}

// The help screen at start-up, byte for byte, with the default settings; it then takes exactly
// one key, and at the end of input it goes on at once.
TEST(HelpScreen, PrintsHelpAndSettingsThenTakesOneKey) {
  start_scene();
  FILE* in = pipe_with("xy");
  {
    CapturedConsole captured(in);
    help_screen();
    EXPECT_EQ(captured.text(), golden("help_screen.txt"));
  }
  EXPECT_EQ(getc(in), 'y');
  EXPECT_EQ(getc(in), EOF);
  {
    CapturedConsole captured(in);
    help_screen();  // would hang here if end of input were waited on
    EXPECT_EQ(captured.text(), golden("help_screen.txt"));
  }
  fclose(in);
}

// The settings follow the current type, goal (its z shown less half the workpiece height) and
// wall edge.
TEST(PrintSettings, ShowsCurrentTypeGoalAndWall) {
  start_scene();
  robot_setup(3, robot);
  cell.rwG = {1.5, -2.25, 0.6};
  cell.rh = {0, 2.5, 0};
  CapturedConsole captured(stdin);
  print_settings();
  const std::string text = captured.text();
  EXPECT_NE(text.find("N=7   "), std::string::npos) << text;
  EXPECT_NE(text.find(" JRTYPE3='QP-RP-RPR'\n"), std::string::npos) << text;
  EXPECT_NE(text.find(" rwG[]=(  1.50  -2.25   0.50)\n"), std::string::npos) << text;
  EXPECT_NE(text.find(" rh[]=(  0.00   2.50   0.00)\n"), std::string::npos) << text;
  EXPECT_EQ(text.back(), '\n');
}

// On a terminal one key is taken at once (no Enter), not echoed, and the terminal's line mode
// and echo are back afterwards.
TEST(ConsoleKey, TerminalKeyWithoutEchoOrEnter) {
  Terminal t = open_terminal();
  ASSERT_GE(t.slave, 0);
  const pid_t child = fork();
  if (child == 0) {
    alarm(10);  // in line mode the read would wait for Enter forever
    console.in = fdopen(t.slave, "r");
    _exit(read_console_key());
  }
  // The key is typed once the child waits in single-key mode, as a user would.
  for (int k = 0; k < 500 && line_mode_with_echo(t.slave); k++) usleep(10000);
  ASSERT_EQ(write(t.master, "q", 1), 1);
  int status = 0;
  waitpid(child, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 'q') << status;
  struct pollfd echo = {t.master, POLLIN, 0};
  EXPECT_EQ(poll(&echo, 1, 100), 0) << "the key was echoed";
  EXPECT_TRUE(line_mode_with_echo(t.slave));
  close(t.slave);
  close(t.master);
}

// A signal that ends the program while it waits for the key still leaves the terminal in line
// mode with echo, as the user's shell expects it.
TEST(ConsoleKey, TerminalRestoredWhenSignalEndsTheWait) {
  Terminal t = open_terminal();
  ASSERT_GE(t.slave, 0);
  const pid_t child = fork();
  if (child == 0) {
    console.in = fdopen(t.slave, "r");
    read_console_key();
    _exit(0);
  }
  // Wait until the child has switched to single-key mode, then end it.
  for (int k = 0; k < 500 && line_mode_with_echo(t.slave); k++) usleep(10000);
  EXPECT_FALSE(line_mode_with_echo(t.slave));
  kill(child, SIGTERM);
  int status = 0;
  waitpid(child, &status, 0);
  EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM);
  EXPECT_TRUE(line_mode_with_echo(t.slave));
  close(t.slave);
  close(t.master);
}

// Waits up to 5 s until the terminal is in single-key mode (the child waits for its key).
void wait_for_single_key_mode(int fd) {
  for (int k = 0; k < 500 && line_mode_with_echo(fd); k++) usleep(10000);
}

// The terminal's end-of-input key (Ctrl-D) ends the input as in line mode: -1, and the
// terminal is back in line mode with echo.
TEST(ConsoleKey, TerminalEndOfInputKey) {
  Terminal t = open_terminal();
  ASSERT_GE(t.slave, 0);
  const pid_t child = fork();
  if (child == 0) {
    alarm(10);
    console.in = fdopen(t.slave, "r");
    _exit(read_console_key() == -1 ? 0 : 1);
  }
  wait_for_single_key_mode(t.slave);
  ASSERT_EQ(write(t.master, "\x04", 1), 1);
  int status = 0;
  waitpid(child, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  EXPECT_TRUE(line_mode_with_echo(t.slave));
  close(t.slave);
  close(t.master);
}

// The stop key while the program waits for its key: the terminal is back in line mode with
// echo while the program is stopped (the user's shell gets it as it was), and once the program
// is continued it waits in single-key mode again and takes one key without Enter. Catches a
// terminal left in single-key mode under the shell, and a wait that goes on in line mode.
TEST(ConsoleKey, TerminalRestoredWhileStoppedAndSingleKeyAfter) {
  Terminal t = open_terminal();
  ASSERT_GE(t.slave, 0);
  const pid_t child = fork();
  if (child == 0) {
    // A process group of its own in this session, as a shell's job: the stop is not discarded.
    setpgid(0, 0);
    alarm(20);
    console.in = fdopen(t.slave, "r");
    _exit(read_console_key());
  }
  // Expectations only from here on, so the child is always continued and reaped.
  wait_for_single_key_mode(t.slave);
  EXPECT_FALSE(line_mode_with_echo(t.slave));
  kill(child, SIGTSTP);
  int status = 0;
  EXPECT_EQ(waitpid(child, &status, WUNTRACED), child);
  EXPECT_TRUE(WIFSTOPPED(status)) << status;
  EXPECT_TRUE(line_mode_with_echo(t.slave)) << "single-key mode while stopped";
  kill(child, SIGCONT);
  wait_for_single_key_mode(t.slave);
  EXPECT_FALSE(line_mode_with_echo(t.slave)) << "line mode after continuing";
  EXPECT_EQ(write(t.master, "q", 1), 1);
  waitpid(child, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 'q') << status;
  struct pollfd echo = {t.master, POLLIN, 0};
  EXPECT_EQ(poll(&echo, 1, 100), 0) << "the key was echoed";
  EXPECT_TRUE(line_mode_with_echo(t.slave));
  close(t.slave);
  close(t.master);
}

// From a pipe the key is one byte; at its end the read returns at once.
TEST(ConsoleKey, PipeGivesOneByteAndEndDoesNotWait) {
  FILE* in = pipe_with("ab");
  console.in = in;
  EXPECT_EQ(read_console_key(), 'a');
  EXPECT_EQ(read_console_key(), 'b');
  EXPECT_EQ(read_console_key(), -1);
  console.in = stdin;
  fclose(in);
}

}  // namespace
