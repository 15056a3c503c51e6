#include "platform/user_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

namespace joywire {

namespace {

bool WriteWithMode(const std::string& path, const std::string& bytes, mode_t mode) {
  // A new file, made with its mode from the start: never readable by others, not even briefly.
  const std::string fresh = path + ".new";
  unlink(fresh.c_str());
  const int fd = open(fresh.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
  if (fd < 0) {
    return false;
  }
  std::size_t written = 0;
  while (written < bytes.size()) {
    const ssize_t got = write(fd, bytes.data() + written, bytes.size() - written);
    if (got < 0 && errno == EINTR) {
      continue;
    }
    if (got <= 0) {
      close(fd);
      unlink(fresh.c_str());
      return false;
    }
    written += static_cast<std::size_t>(got);
  }
  const bool ok = fchmod(fd, mode) == 0 && fsync(fd) == 0 && close(fd) == 0;
  return ok && rename(fresh.c_str(), path.c_str()) == 0;
}

}  // namespace

std::string UserConfigFolder() {
  const char* config = std::getenv("XDG_CONFIG_HOME");
  if (config != nullptr && config[0] == '/') {
    return std::string(config) + "/joywire";
  }
  const char* home = std::getenv("HOME");
  if (home != nullptr && home[0] == '/') {
    return std::string(home) + "/.config/joywire";
  }
  return {};
}

bool MakePrivateFolder(const std::string& path) {
  for (std::size_t slash = path.find('/', 1); slash != std::string::npos;
       slash = path.find('/', slash + 1)) {
    mkdir(path.substr(0, slash).c_str(), 0755);  // the parents, as usual
  }
  struct stat status {};
  if (mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) {
    return false;
  }
  return stat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode);
}

bool WritePrivateFile(const std::string& path, const std::string& bytes) {
  return WriteWithMode(path, bytes, 0600);
}

bool WriteUserFile(const std::string& path, const std::string& bytes) {
  return WriteWithMode(path, bytes, 0644);
}

bool ReadUserFile(const std::string& path, std::string& bytes) {
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    return false;
  }
  bytes.clear();
  char chunk[4096];
  for (;;) {
    const ssize_t got = read(fd, chunk, sizeof chunk);
    if (got < 0 && errno == EINTR) {
      continue;
    }
    if (got <= 0) {
      close(fd);
      return got == 0;
    }
    bytes.append(chunk, static_cast<std::size_t>(got));
  }
}

bool DeleteUserFile(const std::string& path) {
  return unlink(path.c_str()) == 0;
}

std::string MachineName() {
  char name[256] = "";
  if (gethostname(name, sizeof name - 1) != 0 || name[0] == '\0') {
    return "this machine";
  }
  return name;
}

}  // namespace joywire
