#include "app/console_key.h"

#include <errno.h>
#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include "app/console.h"

namespace {

// The signals that may end the program while the terminal is in single-key mode.
const int kEndingSignals[4] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};

// The terminal in single-key mode, its settings to put back, the single-key settings, and the
// signal actions replaced meanwhile. Static so that the signal handlers can reach them.
int rawFd = -1;
struct termios savedSettings;
struct termios singleKeySettings;
struct sigaction savedActions[4];
struct sigaction savedStopAction;
struct sigaction savedContinueAction;

// Puts the terminal back, then lets the signal take its former course.
void restore_and_reraise(int signal) {
  tcsetattr(rawFd, TCSANOW, &savedSettings);
  for (int k = 0; k < 4; k++)
    if (kEndingSignals[k] == signal) sigaction(signal, &savedActions[k], nullptr);
  raise(signal);
}

// The stop key (SIGTSTP): puts the terminal back for the shell, stops as the signal's default
// action would, and once continued ('fg') takes single-key mode again.
void stop_with_terminal_restored(int) {
  const int savedErrno = errno;
  tcsetattr(rawFd, TCSANOW, &savedSettings);
  struct sigaction stop = {}, mine;
  stop.sa_handler = SIG_DFL;
  sigemptyset(&stop.sa_mask);
  sigaction(SIGTSTP, &stop, &mine);
  sigset_t tstp;
  sigemptyset(&tstp);
  sigaddset(&tstp, SIGTSTP);
  sigprocmask(SIG_UNBLOCK, &tstp, nullptr);
  raise(SIGTSTP);  // stopped here until continued
  sigprocmask(SIG_BLOCK, &tstp, nullptr);
  sigaction(SIGTSTP, &mine, nullptr);
  tcsetattr(rawFd, TCSANOW, &singleKeySettings);
  errno = savedErrno;
}

// Continued after any stop (also one that could not be caught): single-key mode again, since
// the shell may have set its own modes meanwhile.
void resume_single_key(int) {
  const int savedErrno = errno;
  tcsetattr(rawFd, TCSANOW, &singleKeySettings);
  errno = savedErrno;
}

// Installs handler for signal unless the signal is ignored, keeping the former action.
void guard(int signal, void (*handler)(int), struct sigaction& saved) {
  struct sigaction action = {};
  action.sa_handler = handler;
  action.sa_flags = SA_RESTART;
  sigemptyset(&action.sa_mask);
  sigaction(signal, nullptr, &saved);
  if (saved.sa_handler != SIG_IGN) sigaction(signal, &action, nullptr);
}

// Installs the restoring handlers for every ending signal, the stop key and continuing.
void guard_signals() {
  for (int k = 0; k < 4; k++) guard(kEndingSignals[k], restore_and_reraise, savedActions[k]);
  guard(SIGTSTP, stop_with_terminal_restored, savedStopAction);
  guard(SIGCONT, resume_single_key, savedContinueAction);
}

void unguard_signals() {
  sigaction(SIGCONT, &savedContinueAction, nullptr);
  sigaction(SIGTSTP, &savedStopAction, nullptr);
  for (int k = 0; k < 4; k++) sigaction(kEndingSignals[k], &savedActions[k], nullptr);
}

}  // namespace

int read_console_key() {
  const int fd = fileno(console.in);
  if (fd < 0 || !isatty(fd) || tcgetattr(fd, &savedSettings) != 0) return getc(console.in);

  singleKeySettings = savedSettings;
  singleKeySettings.c_lflag &= ~(ICANON | ECHO);
  singleKeySettings.c_cc[VMIN] = 1;
  singleKeySettings.c_cc[VTIME] = 0;
  rawFd = fd;
  guard_signals();
  tcsetattr(fd, TCSANOW, &singleKeySettings);
  int key = getc(console.in);
  tcsetattr(fd, TCSANOW, &savedSettings);
  unguard_signals();
  // The terminal's end-of-input key (Ctrl-D), which line mode would have taken as such.
  const cc_t endKey = savedSettings.c_cc[VEOF];
  if (key >= 0 && endKey != _POSIX_VDISABLE && key == endKey) key = -1;
  return key;
}
