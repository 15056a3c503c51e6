#include "platform/feeder_process.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#ifdef __linux__
#include <sys/prctl.h>
#endif

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

namespace joywire {

bool StartFeeder(const char* path, const char* device, const char* address, FeederProcess& feeder,
                 char* error, std::size_t errorCapacity) {
  int input[2];
  int output[2];
  int execFailure[2];  // closed by a successful exec; carries errno when it fails
  if (pipe2(input, O_CLOEXEC) != 0) {
    std::snprintf(error, errorCapacity, "cannot start %s: %s", path, std::strerror(errno));
    return false;
  }
  if (pipe2(output, O_CLOEXEC) != 0) {
    std::snprintf(error, errorCapacity, "cannot start %s: %s", path, std::strerror(errno));
    close(input[0]);
    close(input[1]);
    return false;
  }
  fcntl(output[0], F_SETFL, O_NONBLOCK);
  if (pipe2(execFailure, O_CLOEXEC) != 0) {
    std::snprintf(error, errorCapacity, "cannot start %s: %s", path, std::strerror(errno));
    close(input[0]);
    close(input[1]);
    close(output[0]);
    close(output[1]);
    return false;
  }
  const pid_t pid = fork();
  if (pid == 0) {
#ifdef __linux__
    prctl(PR_SET_PDEATHSIG, SIGTERM);  // ends with us, even when we are killed
#endif
    const int nothing = open("/dev/null", O_WRONLY);
    dup2(input[0], STDIN_FILENO);
    dup2(output[1], STDOUT_FILENO);
    dup2(nothing, STDERR_FILENO);
    execl(path, path, device, static_cast<char*>(nullptr));
    const int why = errno;
    [[maybe_unused]] const ssize_t told = write(execFailure[1], &why, sizeof why);
    _exit(127);
  }
  close(input[0]);
  close(output[1]);
  close(execFailure[1]);
  if (pid < 0) {
    close(input[1]);
    close(output[0]);
    close(execFailure[0]);
    std::snprintf(error, errorCapacity, "cannot start %s: %s", path, std::strerror(errno));
    return false;
  }
  int why = 0;
  ssize_t told = 0;
  do {
    told = read(execFailure[0], &why, sizeof why);
  } while (told < 0 && errno == EINTR);
  close(execFailure[0]);
  if (told == static_cast<ssize_t>(sizeof why)) {  // no program to run: nothing was started
    waitpid(pid, nullptr, 0);
    close(input[1]);
    close(output[0]);
    std::snprintf(error, errorCapacity, "cannot start the feeder %s: %s", path, std::strerror(why));
    return false;
  }
  const std::string line = std::string(address) + "\n";
  if (write(input[1], line.data(), line.size()) != static_cast<ssize_t>(line.size())) {
    // It ended at once (no such program, a device in use): FeederEnded tells.
  }
  feeder.process = pid;
  feeder.input = input[1];
  feeder.output = output[0];
  return true;
}

std::size_t ReadFeederOutput(FeederProcess& feeder, char* buffer, std::size_t capacity) {
  if (feeder.output < 0) {
    return 0;
  }
  const ssize_t got = read(static_cast<int>(feeder.output), buffer, capacity);
  return got > 0 ? static_cast<std::size_t>(got) : 0;
}

bool FeederEnded(FeederProcess& feeder, int& status) {
  int raw = 0;
  if (feeder.process < 0 || waitpid(static_cast<pid_t>(feeder.process), &raw, WNOHANG) <= 0) {
    return false;
  }
  feeder.process = -1;
  status = WIFEXITED(raw) ? static_cast<signed char>(WEXITSTATUS(raw)) : 128 + WTERMSIG(raw);
  return true;
}

void StopFeeder(FeederProcess& feeder) {
  if (feeder.process >= 0) {
    kill(static_cast<pid_t>(feeder.process), SIGTERM);
    waitpid(static_cast<pid_t>(feeder.process), nullptr, 0);
    feeder.process = -1;
  }
  for (std::intptr_t* end : {&feeder.input, &feeder.output}) {
    if (*end >= 0) {
      close(static_cast<int>(*end));
      *end = -1;
    }
  }
}

}  // namespace joywire
