#include "platform/posix/terminal_keeper.h"

#include "platform/terminal.h"

#include <unistd.h>

#include <csignal>
#include <cstdlib>

namespace joywire {

namespace {

struct KeptTerminal {
  int fd = -1;
  termios found{};
  termios own{};
  volatile std::sig_atomic_t usingOwn = 0;
  volatile std::sig_atomic_t resumed = 0;
  bool handlersInstalled = false;
};

KeptTerminal g_kept;

constexpr int kFatalSignals[] = {SIGHUP,    SIGINT,  SIGQUIT, SIGILL,  SIGTRAP, SIGABRT, SIGBUS,
                                 SIGFPE,    SIGUSR1, SIGSEGV, SIGUSR2, SIGPIPE, SIGALRM, SIGTERM,
                                 SIGVTALRM, SIGPROF, SIGXCPU, SIGXFSZ, SIGSYS};
constexpr int kStopSignals[] = {SIGTSTP, SIGTTIN, SIGTTOU};

// Whether changing the settings is ours to do now. A terminal that is not our controlling one
// has no foreground to be in, and changing it cannot stop us.
bool InForeground() {
  const pid_t foreground = tcgetpgrp(g_kept.fd);
  return foreground == -1 || foreground == getpgrp();
}

// Async-signal-safe: tcsetattr with SIGTTOU held, so a background call cannot stop us.
void Apply(const termios& settings) {
  if (g_kept.fd < 0 || !InForeground()) {
    return;
  }
  sigset_t hold;
  sigset_t before;
  sigemptyset(&hold);
  sigaddset(&hold, SIGTTOU);
  sigprocmask(SIG_BLOCK, &hold, &before);
  tcsetattr(g_kept.fd, TCSADRAIN, &settings);
  sigprocmask(SIG_SETMASK, &before, nullptr);
}

void PutBack() {
  if (g_kept.usingOwn != 0) {
    Apply(g_kept.found);
  }
}

// The terminal as found, then what the signal does by default (ends or stops the process).
void PutBackAndActAsDefault(int signal) {
  PutBack();
  std::signal(signal, SIG_DFL);
  sigset_t unblock;
  sigemptyset(&unblock);
  sigaddset(&unblock, signal);
  sigprocmask(SIG_UNBLOCK, &unblock, nullptr);
  std::raise(signal);
}

void EndBySignal(int signal) {
  PutBackAndActAsDefault(signal);
}

void StopBySignal(int signal);

void InstallStopHandler(int signal) {
  struct sigaction action {};
  action.sa_handler = StopBySignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  sigaction(signal, &action, nullptr);
}

// The terminal as found while stopped; ours again once continued in the foreground.
void StopBySignal(int signal) {
  PutBackAndActAsDefault(signal);  // stops here until SIGCONT
  InstallStopHandler(signal);
  g_kept.resumed = 1;
  if (g_kept.usingOwn != 0) {
    Apply(g_kept.own);
  }
}

// A continue after a plain SIGSTOP, or from the background into the foreground.
void Continued(int) {
  g_kept.resumed = 1;
  if (g_kept.usingOwn != 0) {
    Apply(g_kept.own);
  }
}

void InstallHandlers() {
  if (g_kept.handlersInstalled) {
    return;
  }
  g_kept.handlersInstalled = true;
  for (const int signal : kFatalSignals) {
    struct sigaction current {};
    sigaction(signal, nullptr, &current);
    if (current.sa_handler == SIG_IGN) {
      continue;  // ignored by whoever started us (nohup, a shell's background job): keep it so
    }
    struct sigaction action {};
    action.sa_handler = EndBySignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESETHAND;
    sigaction(signal, &action, nullptr);
  }
  for (const int signal : kStopSignals) {
    InstallStopHandler(signal);
  }
  struct sigaction action {};
  action.sa_handler = Continued;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  sigaction(SIGCONT, &action, nullptr);
  std::atexit(ReleaseTerminal);
}

}  // namespace

bool KeepTerminal(int fd, void (*adjust)(termios& settings)) {
  if (isatty(fd) != 1 || tcgetattr(fd, &g_kept.found) != 0) {
    return false;
  }
  g_kept.fd = fd;
  g_kept.own = g_kept.found;
  adjust(g_kept.own);
  InstallHandlers();
  UseOwnTerminalSettings(true);
  return true;
}

void UseOwnTerminalSettings(bool own) {
  if (g_kept.fd < 0 || (g_kept.usingOwn != 0) == own) {
    return;
  }
  g_kept.usingOwn = own ? 1 : 0;
  Apply(own ? g_kept.own : g_kept.found);
}

void ReleaseTerminal() {
  PutBack();
  g_kept.usingOwn = 0;
}

bool TerminalWasResumed() {
  const bool resumed = g_kept.resumed != 0;
  g_kept.resumed = 0;
  return resumed;
}

}  // namespace joywire
