#include "platform/user_files.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/secure_random.h"

namespace joywire {

namespace {

// Why a file or folder is no place for joywire-send's own files; empty when it is one.
std::string Unfit(const struct stat& status, const std::string& path, bool secret) {
  if (status.st_uid != geteuid()) {
    return path + " belongs to another user: remove it, and start again";
  }
  if ((status.st_mode & (S_IWGRP | S_IWOTH)) != 0) {
    return path + " may be changed by other users: chmod go-w " + path + ", and start again";
  }
  if (secret && (status.st_mode & (S_IRWXG | S_IRWXO)) != 0) {
    return path + " may be read by other users: chmod 600 " + path + ", and start again";
  }
  return {};
}

// A name for a file being written, of its own and next to where it goes: ".NAME.<random>".
std::string TemporaryName(const char* name) {
  unsigned char random[6] = {};
  SecureRandomBytes(random, sizeof random);
  char suffix[16];
  std::snprintf(suffix, sizeof suffix, "%02x%02x%02x%02x%02x%02x", random[0], random[1], random[2],
                random[3], random[4], random[5]);
  return std::string(".") + name + "." + suffix;
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

KeptFolder::~KeptFolder() {
  if (handle_ >= 0) {
    close(static_cast<int>(handle_));  // and with it the lock
  }
}

KeptFolder::Found KeptFolder::Open(const std::string& path, bool make, std::string& error) {
  path_ = path;
  while (path_.size() > 1 && path_.back() == '/') {
    path_.pop_back();  // a trailing slash would follow a link
  }
  if (make) {
    for (std::size_t slash = path_.find('/', 1); slash != std::string::npos;
         slash = path_.find('/', slash + 1)) {
      mkdir(path_.substr(0, slash).c_str(), 0755);  // the parents, as usual
    }
    mkdir(path_.c_str(), 0700);
  }
  const int fd = open(path_.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) {
    if (errno == ENOENT && !make) {
      return Found::kMissing;
    }
    error = errno == ELOOP || errno == ENOTDIR
                ? path_ + " is a link or no folder: joywire-send keeps its files only in a " +
                      "folder of your own; remove it, and start again"
                : "cannot open " + path_ + ": " + std::strerror(errno);
    return Found::kRefused;
  }
  struct stat status {};
  fstat(fd, &status);
  error = Unfit(status, path_, false);
  if (!error.empty()) {
    close(fd);
    return Found::kRefused;
  }
  handle_ = fd;
  return Found::kYes;
}

bool KeptFolder::Lock() {
  int locked = -1;
  do {
    locked = flock(static_cast<int>(handle_), LOCK_EX);
  } while (locked != 0 && errno == EINTR);
  return locked == 0;
}

KeptFolder::Found KeptFolder::Read(const char* name, bool secret, std::string& bytes,
                                   std::string& error) {
  const std::string path = path_ + "/" + name;
  const int fd =
      openat(static_cast<int>(handle_), name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    if (errno == ENOENT) {
      return Found::kMissing;
    }
    error = errno == ELOOP ? path + " is a link: remove it, and start again"
                           : "cannot read " + path + ": " + std::strerror(errno);
    return Found::kRefused;
  }
  struct stat status {};
  fstat(fd, &status);
  error = S_ISREG(status.st_mode) ? Unfit(status, path, secret)
                                  : path + " is no regular file: remove it, and start again";
  bytes.clear();
  char chunk[4096];
  ssize_t got = 0;
  while (error.empty() && (got = read(fd, chunk, sizeof chunk)) != 0) {
    if (got > 0) {
      bytes.append(chunk, static_cast<std::size_t>(got));
    } else if (errno != EINTR) {
      error = "cannot read " + path + ": " + std::strerror(errno);
    }
  }
  close(fd);
  return error.empty() ? Found::kYes : Found::kRefused;
}

bool KeptFolder::Write(const char* name, const std::string& bytes, bool secret) {
  const int folder = static_cast<int>(handle_);
  const mode_t mode = secret ? 0600 : 0644;
  const std::string fresh = TemporaryName(name);
  const int fd =
      openat(folder, fresh.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
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
      break;
    }
    written += static_cast<std::size_t>(got);
  }
  const bool whole = written == bytes.size() && fchmod(fd, mode) == 0 && fsync(fd) == 0;
  if (close(fd) != 0 || !whole || renameat(folder, fresh.c_str(), folder, name) != 0) {
    unlinkat(folder, fresh.c_str(), 0);
    return false;
  }
  fsync(folder);
  return true;
}

bool KeptFolder::Remove(const char* name) {
  const int folder = static_cast<int>(handle_);
  const bool removed = unlinkat(folder, name, 0) == 0;
  // What a write cut short left: ".NAME.<random>", and "NAME.new" of earlier versions.
  const std::string leftover = std::string(".") + name + ".";
  const std::string earlier = std::string(name) + ".new";
  DIR* listing = fdopendir(dup(folder));
  for (const dirent* entry = listing != nullptr ? readdir(listing) : nullptr; entry != nullptr;
       entry = readdir(listing)) {
    if (std::strncmp(entry->d_name, leftover.c_str(), leftover.size()) == 0 ||
        earlier == entry->d_name) {
      unlinkat(folder, entry->d_name, 0);
    }
  }
  if (listing != nullptr) {
    closedir(listing);
  }
  return removed;
}

std::string MachineName() {
  char name[256] = "";
  if (gethostname(name, sizeof name - 1) != 0 || name[0] == '\0') {
    return "this machine";
  }
  return name;
}

}  // namespace joywire
