#include "app/console_key.h"

#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include "app/console.h"

namespace {

// The signals that may end the program while the terminal is in single-key mode.
const int kEndingSignals[4] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};

// The terminal in single-key mode, its settings to put back, and the signal actions replaced
// meanwhile. Static so that the signal handler can reach them.
int rawFd = -1;
struct termios savedSettings;
struct sigaction savedActions[4];

// Puts the terminal back, then lets the signal take its former course.
void restore_and_reraise(int signal) {
  tcsetattr(rawFd, TCSANOW, &savedSettings);
  for (int k = 0; k < 4; k++)
    if (kEndingSignals[k] == signal) sigaction(signal, &savedActions[k], nullptr);
  raise(signal);
}

// Installs the restoring handler for every ending signal that is not ignored.
void guard_signals() {
  struct sigaction action = {};
  action.sa_handler = restore_and_reraise;
  action.sa_flags = SA_RESTART;
  sigemptyset(&action.sa_mask);
  for (int k = 0; k < 4; k++) {
    sigaction(kEndingSignals[k], nullptr, &savedActions[k]);
    if (savedActions[k].sa_handler != SIG_IGN) sigaction(kEndingSignals[k], &action, nullptr);
  }
}

void unguard_signals() {
  for (int k = 0; k < 4; k++) sigaction(kEndingSignals[k], &savedActions[k], nullptr);
}

}  // namespace

int read_console_key() {
  const int fd = fileno(console.in);
  if (fd < 0 || !isatty(fd) || tcgetattr(fd, &savedSettings) != 0) return getc(console.in);

  struct termios single = savedSettings;
  single.c_lflag &= ~(ICANON | ECHO);
  single.c_cc[VMIN] = 1;
  single.c_cc[VTIME] = 0;
  rawFd = fd;
  guard_signals();
  tcsetattr(fd, TCSANOW, &single);
  const int key = getc(console.in);
  tcsetattr(fd, TCSANOW, &savedSettings);
  unguard_signals();
  return key;
}
